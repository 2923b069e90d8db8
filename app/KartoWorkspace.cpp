// The 2D workspace's handlers: pointer gestures on the view, the selection
// list, the toolbar commands, the Normalize dialog, undo, zoom and panning,
// and reading a saved view back. Each reads its controls, calls the
// workspace and shows what it reports.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWheelEvent>
#include <cmath>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "platform/ObjectStream.h"
#include "workspace/ShapeWorkspace.h"

namespace karto {

namespace {

// Numbers in the dialog's fields: whole units in the user's locale.
QString Units(float v) { return QLocale().toString(double(v), 'f', 0); }

bool ParseUnits(const QString& text, float& v) {
  bool ok = false;
  double d = QLocale().toDouble(text.trimmed(), &ok);
  if (!ok) d = QLocale::c().toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(d)) return false;
  v = float(d);
  return true;
}

TStrokeDash DashOfItem(int index) {
  switch (index) {
    case 1: return TStrokeDash::sdDashDot;
    case 2: return TStrokeDash::sdDash;
    case 3: return TStrokeDash::sdDot;
    default: return TStrokeDash::sdSolid;
  }
}

}  // namespace

TFloatAnimation* TfrmKarto::ShapeFloatAnimation() const { return m_workspace ? &m_workspace->Highlight() : nullptr; }

template <class F>
void TfrmKarto::Guarded(F&& action) {
  try {
    action();
  } catch (const EAssertionFailed& e) {
    m_dialogs->MessageDlg(QString::fromStdString(e.what()), TMsgDlgType::mtError, mbOK);
  }
}

void TfrmKarto::WireWorkspace() {
  m_workspace->OnSelectionChanged = [this] { ShowSelection(); };
  m_oPaintBox2D->OnMouseDown = [this](TControl*, TMouseButton b, TShiftState s, float x, float y) {
    PaintBox2DMouseDown(b, s, x, y);
  };
  m_oPaintBox2D->OnMouseMove = [this](TControl*, TShiftState s, float x, float y) { PaintBox2DMouseMove(s, x, y); };
  m_oPaintBox2D->OnMouseUp = [this](TControl*, TMouseButton b, TShiftState s, float x, float y) {
    PaintBox2DMouseUp(b, s, x, y);
  };
  connect(btnSetLineProps, &QPushButton::clicked, this, &TfrmKarto::btnSetLinePropsClick);
  connect(btnDeleteSel, &QToolButton::clicked, this, &TfrmKarto::btnDeleteSelClick);
  connect(btnSelAddition, &QToolButton::clicked, this, &TfrmKarto::btnSelAdditionClick);
  connect(btnNormalize, &QPushButton::clicked, this, &TfrmKarto::btnNormalizeClick);
  connect(btnShapeOk, &QToolButton::clicked, this, &TfrmKarto::btnShapeOkClick);
  connect(btnShapeCancel, &QToolButton::clicked, this, &TfrmKarto::btnShapeCancelClick);
  connect(btnShapeNormalizeSnap, &QPushButton::clicked, this, &TfrmKarto::btnShapeNormalizeSnapClick);
  // Only the user's own edits move or size the frame; the window's writes
  // to these fields come from the frame already.
  connect(txfShapeNormalizeXCoord, &QLineEdit::textEdited, this, &TfrmKarto::txfShapeNormalizeXCoordChange);
  connect(txfShapeNormalizeYCoord, &QLineEdit::textEdited, this, &TfrmKarto::txfShapeNormalizeYCoordChange);
  for (QLineEdit* e : {txfShapeNormalizeRefWidth, txfShapeNormalizeNewWidth, txfShapeNormalizeNewHeight})
    connect(e, &QLineEdit::textEdited, this, &TfrmKarto::txfShapeNormalizeRefWidthChange);
  connect(txfShapeNormalizeRefHeight, &QLineEdit::textEdited, this, &TfrmKarto::txfShapeNormalizeRefHeightChange);
  connect(btnNewShape, &QPushButton::clicked, this, &TfrmKarto::btnNewShapeClick);
  connect(btnNewLineH, &QPushButton::clicked, this, &TfrmKarto::btnNewLineHClick);
  connect(btnNewLineV, &QPushButton::clicked, this, &TfrmKarto::btnNewLineVClick);
  connect(btnNewRect, &QPushButton::clicked, this, &TfrmKarto::btnNewRectClick);
  connect(btnNewCircle, &QPushButton::clicked, this, &TfrmKarto::btnNewCircleClick);
  connect(btnNewText, &QPushButton::clicked, this, &TfrmKarto::btnNewTextClick);
  connect(btnSelSetText, &QPushButton::clicked, this, &TfrmKarto::btnSelSetTextClick);
  connect(btnSelSetArrow, &QPushButton::clicked, this, &TfrmKarto::btnSelSetArrowClick);
  connect(MenuItemUndo, &QAction::triggered, this, &TfrmKarto::MenuItemUndoClick);
  connect(MenuItemRedo, &QAction::triggered, this, &TfrmKarto::MenuItemRedoClick);
  connect(MenuItemSelectAll, &QAction::triggered, this, &TfrmKarto::MenuItemSelectAllClick);
  connect(MenuItemDeleteSel, &QAction::triggered, this, &TfrmKarto::btnDeleteSelClick);
  connect(MenuItemCancel, &QAction::triggered, this, [this] {
    if (!View2DVisible()) return;
    if (m_workspace->CancelGesture()) return;
    if (m_enShapeActionMode == ShapeActionMode::SHAPE_NORMALIZE) btnShapeCancelClick();
  });
  connect(MenuItemLoadFMXImage, &QAction::triggered, this, &TfrmKarto::MenuItemLoadFMXImageClick);
  connect(MenuItemEdit, &QMenu::aboutToShow, this, &TfrmKarto::ShowSelection);
  // A click gives the view the keyboard, so Space held there pans.
  PaintBox2DHost->setFocusPolicy(Qt::ClickFocus);
  PaintBox2DHost->installEventFilter(this);
  ScrollBox2D->viewport()->installEventFilter(this);
  ShowSelection();
}

// --- selection ------------------------------------------------------------------------

void TfrmKarto::ShowSelection() {
  if (!m_workspace) return;
  TreeViewShapeSelections->setUpdatesEnabled(false);
  TreeViewShapeSelections->clear();
  QList<QTreeWidgetItem*> items;
  for (const TSelTreeItem& t : m_workspace->Tree()) {
    auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(t.Text)));
    for (const std::string& child : t.Children) new QTreeWidgetItem(item, QStringList(QString::fromStdString(child)));
    items.append(item);
  }
  TreeViewShapeSelections->addTopLevelItems(items);
  TreeViewShapeSelections->expandAll();
  TreeViewShapeSelections->setUpdatesEnabled(true);

  const TViewHistory& h = m_workspace->History();
  const bool view = View2DVisible();
  MenuItemUndo->setEnabled(view && h.CanUndo());
  MenuItemUndo->setText(h.CanUndo() ? QString("Undo %1").arg(QString::fromStdString(h.UndoCaption())) : "Undo");
  MenuItemRedo->setEnabled(view && h.CanRedo());
  MenuItemRedo->setText(h.CanRedo() ? QString("Redo %1").arg(QString::fromStdString(h.RedoCaption())) : "Redo");
  MenuItemSelectAll->setEnabled(view);
  MenuItemDeleteSel->setEnabled(view && !m_workspace->Selection().empty());
  m_oPaintBox2D->Repaint();
}

void TfrmKarto::ClearAllShapeSelection() {
  if (m_workspace) m_workspace->ClearAllShapeSelection();
}

void TfrmKarto::btnClearAllShapeSelectionClick() { ClearAllShapeSelection(); }

void TfrmKarto::MenuItemSelectAllClick() {
  if (!View2DVisible() || m_enShapeActionMode != ShapeActionMode::SHAPE_NONE) return;
  m_workspace->SelectAll();
}

void TfrmKarto::Reset2DView(bool keepHistory) {
  if (keepHistory) m_workspace->BeginOutsideChange("Import");
  else {
    ClearAllShapeSelection();
    m_workspace->History().Clear();
  }
  m_oPaintBox2D->DeleteChildren();
  m_oPaintBox2D->SetClipChildren(true);
  m_oPaintBox2D->SetPosition({0, 0});
  const QSize vp = ScrollBox2D->viewport()->size();
  m_oPaintBox2D->SetSize(float(vp.width()), float(vp.height()));
  ScaleTrackX->SetValue(1.0);
  ScaleTrackY->SetValue(1.0);
  m_oPaintBox2D->SetScale({1, 1});
  m_oPaintBox2D->Repaint();
  ShowSelection();
}

// --- pointer ---------------------------------------------------------------------------

void TfrmKarto::PaintBox2DMouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  if (m_spaceHeld) return;  // a pan, not a pick
  m_workspace->MouseDown(button, shift, x, y);
}

void TfrmKarto::PaintBox2DMouseMove(TShiftState shift, float x, float y) { m_workspace->MouseMove(shift, x, y); }

void TfrmKarto::PaintBox2DMouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  Guarded([&] {
    TPointF p;
    if (m_workspace->MouseUp(button, shift, x, y, &p)) {
      txfXCoord->setText(Units(p.X));
      txfYCoord->setText(Units(p.Y));
    }
  });
}

// --- commands ----------------------------------------------------------------------------

void TfrmKarto::btnSetLinePropsClick() {
  if (m_dialogs->MessageDlg("The selected objects will be changed!\nIs this ok?", TMsgDlgType::mtConfirmation,
                            mbYesNoCancel) != TModalResult::mrYes)
    return;
  const TAlphaColor color = TAlphaColor(cobxLineColor->currentData().toUInt());
  m_workspace->SetLineProps(color, DashOfItem(cobxLineType->currentIndex()), float(SpinBoxLineWidth->value()));
}

void TfrmKarto::btnDeleteSelClick() {
  if (!View2DVisible() || m_enShapeActionMode != ShapeActionMode::SHAPE_NONE) return;
  if (m_dialogs->MessageDlg("The selected objects will be deleted!\nIs this ok?", TMsgDlgType::mtConfirmation,
                            mbYesNoCancel) != TModalResult::mrYes)
    return;
  m_workspace->DeleteSelection();
}

void TfrmKarto::btnSelAdditionClick() { m_workspace->JoinSelection(); }

void TfrmKarto::MenuItemUndoClick() {
  if (!View2DVisible()) return;
  if (m_enShapeActionMode != ShapeActionMode::SHAPE_NONE) Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
  m_workspace->Undo();
  ScaleTrackX->SetValue(m_oPaintBox2D->Scale().X);
  ScaleTrackY->SetValue(m_oPaintBox2D->Scale().Y);
}

void TfrmKarto::MenuItemRedoClick() {
  if (!View2DVisible()) return;
  if (m_enShapeActionMode != ShapeActionMode::SHAPE_NONE) Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
  m_workspace->Redo();
  ScaleTrackX->SetValue(m_oPaintBox2D->Scale().X);
  ScaleTrackY->SetValue(m_oPaintBox2D->Scale().Y);
}

// --- normalise ----------------------------------------------------------------------------

void TfrmKarto::Set2DShapeActionPanel(ShapeActionMode mode) {
  if (mode == ShapeActionMode::SHAPE_NONE) {
    EnablePanel(true, PanelShapeSelections, 1);
    btnShapeOk->setVisible(false);
    btnShapeCancel->setVisible(false);
    PanelShapeDialogs->setVisible(false);
    PanelShapeNormalize->setVisible(false);
    if (m_workspace) m_workspace->CloseCoordSystem();
    lbHeaderShapeDialogs->setText("");
    lbStatus->setText("");
    m_enShapeActionMode = mode;
    return;
  }
  EnablePanel(false, PanelShapeSelections, 0.8f);
  btnShapeOk->setVisible(true);
  btnShapeCancel->setVisible(true);
  PanelShapeDialogs->setVisible(true);
  PanelShapeNormalize->setVisible(true);
  lbHeaderShapeDialogs->setText("Normalize Dialog");
  lbStatus->setText("Please set coordinate system origin, reference width and height!");
  const TPointF sc = m_oPaintBox2D->Scale();
  txfShapeNormalizeOrgWidth->setText(Units(m_oPaintBox2D->Width() / sc.X));
  txfShapeNormalizeOrgHeight->setText(Units(m_oPaintBox2D->Height() / sc.Y));
  EnableControl(false, txfShapeNormalizeOrgWidth);
  EnableControl(false, txfShapeNormalizeOrgHeight);
  m_workspace->OpenCoordSystem();
  m_workspace->CoordSystemSelection()->OnTrack = [this](TControl*) { CoordSystemTrack(); };
  CoordSystemTrack();
  m_enShapeActionMode = mode;
}

void TfrmKarto::btnNormalizeClick() {
  if (!View2DVisible()) return;
  m_workspace->CancelGesture();
  Set2DShapeActionPanel(ShapeActionMode::SHAPE_NORMALIZE);
}

void TfrmKarto::btnShapeCancelClick() {
  Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
  lbStatus->setText("");
}

void TfrmKarto::ShowCoordFrame(const TCoordFrame& f) {
  txfXCoord->setText(Units(f.Origin.X));
  txfYCoord->setText(Units(f.Origin.Y));
  txfShapeNormalizeXCoord->setText(Units(f.Origin.X));
  txfShapeNormalizeYCoord->setText(Units(f.Origin.Y));
  txfShapeNormalizeRefWidth->setText(Units(f.RefWidth()));
  txfShapeNormalizeRefHeight->setText(Units(f.RefHeight()));
}

void TfrmKarto::CoordSystemTrack() {
  TCoordFrame f;
  if (m_workspace->CoordFrame(f)) ShowCoordFrame(f);
}

bool TfrmKarto::ReadFrameField(QLineEdit* field, const char* error, TCoordFrame& frame, float& value) {
  if (!m_workspace->CoordFrame(frame)) return false;
  if (ParseUnits(field->text(), value)) return true;
  m_dialogs->MessageDlg(error, TMsgDlgType::mtError, mbOKCancel);
  return false;
}

void TfrmKarto::txfShapeNormalizeXCoordChange() {
  TCoordFrame f;
  float v = 0;
  if (ReadFrameField(txfShapeNormalizeXCoord, "Wrong x coordinate!", f, v)) m_workspace->SetCoordOrigin(v, f.Origin.Y);
}

void TfrmKarto::txfShapeNormalizeYCoordChange() {
  TCoordFrame f;
  float v = 0;
  if (ReadFrameField(txfShapeNormalizeYCoord, "Wrong y coordinate!", f, v)) m_workspace->SetCoordOrigin(f.Origin.X, v);
}

void TfrmKarto::txfShapeNormalizeRefWidthChange() {
  TCoordFrame f;
  float v = 0;
  if (ReadFrameField(txfShapeNormalizeRefWidth, "Wrong width value!", f, v)) m_workspace->SetCoordRefSize(v, f.RefHeight());
}

void TfrmKarto::txfShapeNormalizeRefHeightChange() {
  TCoordFrame f;
  float v = 0;
  if (ReadFrameField(txfShapeNormalizeRefHeight, "Wrong height value!", f, v)) m_workspace->SetCoordRefSize(f.RefWidth(), v);
}

void TfrmKarto::btnShapeOkClick() {
  if (m_dialogs->MessageDlg("Now normalizing. Is this ok?", TMsgDlgType::mtConfirmation, mbYesNoCancel) !=
      TModalResult::mrYes)
    return;
  float refW = 0, refH = 0, newW = 0, newH = 0;
  const bool parsed = ParseUnits(txfShapeNormalizeRefWidth->text(), refW) &&
                      ParseUnits(txfShapeNormalizeRefHeight->text(), refH) &&
                      ParseUnits(txfShapeNormalizeNewWidth->text(), newW) &&
                      ParseUnits(txfShapeNormalizeNewHeight->text(), newH);
  if (!parsed || !m_workspace->Normalize(refW, refH, newW, newH))
    m_dialogs->MessageDlg("Wrong width or height value!", TMsgDlgType::mtError, mbOKCancel);
  Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
  lbStatus->setText("");
}

void TfrmKarto::btnShapeNormalizeSnapClick() {
  Guarded([&] {
    if (!m_workspace->CoordSystemSelection()) {
      m_workspace->Snap();
      return;
    }
    ShowCoordFrame(m_workspace->Snap());
  });
}

// --- saved views ---------------------------------------------------------------------------

void TfrmKarto::MenuItemLoadFMXImageClick() {
  UpdateFileMenu();
  if (!MenuItemLoadFMXImage->isEnabled()) return;
  const QString file = RunOpenDialog("FMX File (*.fmx)|*.fmx", 1, {".FMX"});
  if (!file.isEmpty()) LoadViewFile(file);
}

bool TfrmKarto::LoadViewFile(const QString& fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const auto refuse = [&](const QString& reason) {
    m_dialogs->MessageDlg(QString("The view %1 could not be loaded.\n%2").arg(name, reason), TMsgDlgType::mtError,
                          mbOK);
    return false;
  };
  QFile f(fileName);
  if (!f.open(QIODevice::ReadOnly)) return refuse(f.errorString());
  const QByteArray bytes = f.readAll();
  std::unique_ptr<TControl> root;
  try {
    root = ReadComponent(bytes.toStdString());
  } catch (const EStreamError& e) {
    return refuse(QString::fromStdString(e.what()));
  } catch (const EComponentError& e) {
    return refuse(QString::fromStdString(e.what()));
  }
  if (std::string(root->ClassName()) != "TPaintBox") return refuse("It holds no 2D view (line 1).");

  if (m_enShapeActionMode != ShapeActionMode::SHAPE_NONE) Set2DShapeActionPanel(ShapeActionMode::SHAPE_NONE);
  Reset2DView(true);
  // The file's shapes move into the view; unnamed ones get names, so every
  // shape can be selected.
  const std::vector<TControl*> shapes(root->ChildList());
  root->SetChildList({});
  root->ReleaseComponents(shapes);
  for (TControl* c : shapes) {
    if (c->Owner()) c->SetOwner(nullptr);
    if (c->Name().empty() || m_oPaintBox2D->FindComponent(c->Name())) c->SetName(m_workspace->FreeName("Shape_"));
    c->SetOwner(m_oPaintBox2D);
  }
  m_oPaintBox2D->SetChildList(shapes);
  m_oPaintBox2D->SetSize(std::max(1.0f, root->Width()), std::max(1.0f, root->Height()));
  m_workspace->EndOutsideChange();
  m_oPaintBox2D->Repaint();
  RememberFile(fileName);
  return true;
}

// --- zoom and pan --------------------------------------------------------------------------

void TfrmKarto::ZoomView2D(double factor, QPoint viewportPoint) {
  QScrollBar* hs = ScrollBox2D->horizontalScrollBar();
  QScrollBar* vs = ScrollBox2D->verticalScrollBar();
  const double oldX = ScaleTrackX->Value(), oldY = ScaleTrackY->Value();
  // The drawing point under the pointer, in unscaled units.
  const double px = (hs->value() + viewportPoint.x()) / oldX, py = (vs->value() + viewportPoint.y()) / oldY;
  ScaleTrackX->SetValue(oldX * factor);
  ScaleTrackY->SetValue(oldY * factor);
  QApplication::processEvents();  // let the scroll area take the new size
  hs->setValue(int(std::lround(px * ScaleTrackX->Value() - viewportPoint.x())));
  vs->setValue(int(std::lround(py * ScaleTrackY->Value() - viewportPoint.y())));
}

bool TfrmKarto::eventFilter(QObject* watched, QEvent* e) {
  if (watched != PaintBox2DHost && watched != ScrollBox2D->viewport()) return QMainWindow::eventFilter(watched, e);
  switch (e->type()) {
    case QEvent::Wheel: {
      auto* w = static_cast<QWheelEvent*>(e);
      if (!(w->modifiers() & Qt::ControlModifier) || w->angleDelta().y() == 0) break;
      const QPoint at = ScrollBox2D->viewport()->mapFromGlobal(w->globalPosition().toPoint());
      ZoomView2D(std::pow(1.25, w->angleDelta().y() / 120.0), at);
      return true;
    }
    case QEvent::MouseButtonPress: {
      auto* m = static_cast<QMouseEvent*>(e);
      if (m->button() != Qt::MiddleButton && !(m_spaceHeld && m->button() == Qt::LeftButton)) break;
      m_panning = true;
      m_panStart = m->globalPosition().toPoint();
      m_panScroll = {ScrollBox2D->horizontalScrollBar()->value(), ScrollBox2D->verticalScrollBar()->value()};
      return true;
    }
    case QEvent::MouseMove: {
      if (!m_panning) break;
      const QPoint d = static_cast<QMouseEvent*>(e)->globalPosition().toPoint() - m_panStart;
      ScrollBox2D->horizontalScrollBar()->setValue(m_panScroll.x() - d.x());
      ScrollBox2D->verticalScrollBar()->setValue(m_panScroll.y() - d.y());
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (!m_panning) break;
      m_panning = false;
      return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->key() == Qt::Key_Space && !k->isAutoRepeat()) m_spaceHeld = e->type() == QEvent::KeyPress;
      break;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace karto
