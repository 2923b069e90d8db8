// A walk through the 2D workspace in the window: import, pick by click and
// band, restyle, join, delete, undo, Normalize, save and read the view back,
// zoom; the keys and menu items a drawing tool offers.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <cmath>

#include "app/DisplayHost.h"
#include "app/FloatTrackBar.h"
#include "platform/NamedColors.h"
#include "tests/app/WindowFixture.h"
#include "workspace/ShapeWorkspace.h"

using namespace karto;

namespace {

// Three horizontal lines and a circle in a 400 x 300 drawing.
const char* const kLines =
    "<svg xmlns='http://www.w3.org/2000/svg' width='400' height='300'>"
    "<path id='a' d='M50 50 L350 50' stroke='blue' stroke-width='2'/>"
    "<path id='b' d='M50 150 L350 150' stroke='blue' stroke-width='2'/>"
    "<path id='c' d='M50 250 L350 250' stroke='blue' stroke-width='2' stroke-dasharray='4 2'/>"
    "<circle cx='200' cy='100' r='20' fill='none' stroke='green'/></svg>";

class WorkspaceWindowTest : public WindowTest {
 protected:
  void Import(const char* svg = kLines) {
    const QString file = dir.filePath("lines.svg");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(svg);
    f.close();
    ASSERT_TRUE(w->LoadSvgDrawing(file));
    box = w->PaintBox2D();
  }
  // Where a point of the drawing (paint-box units) lies on the view widget.
  QPoint At(TPointF p) const {
    const TPointF q = box->LocalMatrix().Transform(p);
    return QPoint(int(std::lround(q.X)), int(std::lround(q.Y)));
  }
  // The middle of a shape's top edge: on a horizontal line.
  TPointF OnShape(const std::string& name) const {
    const TControl* c = box->FindComponent(name);
    EXPECT_NE(c, nullptr) << name;
    return {c->Position().X + c->Width() / 2, c->Position().Y + c->Height() / 2};
  }
  void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QWidget* host = w->PaintBox2DHost;
    QMouseEvent e(type, QPointF(at), host->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(host, &e);
  }
  void Click(TPointF p) {
    Send(QEvent::MouseButtonPress, At(p), Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, At(p), Qt::LeftButton, Qt::NoButton);
  }
  void Band(TPointF from, TPointF to) {
    Send(QEvent::MouseButtonPress, At(from), Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, At({(from.X + to.X) / 2, (from.Y + to.Y) / 2}), Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseMove, At(to), Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, At(to), Qt::LeftButton, Qt::NoButton);
  }
  QStringList TreeTexts() {
    QStringList out;
    auto* tree = Find<QTreeWidget>("TreeViewShapeSelections");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      out << tree->topLevelItem(i)->text(0);
      for (int k = 0; k < tree->topLevelItem(i)->childCount(); ++k)
        out << "  " + tree->topLevelItem(i)->child(k)->text(0);
    }
    return out;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (TControl* c : box->ChildList()) out.push_back(c->Name());
    return out;
  }
  TPaintBox* box = nullptr;
};

TEST_F(WorkspaceWindowTest, PickRestyleDeleteUndoAndJoin) {
  Import();
  ASSERT_EQ(Names(), (std::vector<std::string>{"Pth1_1", "Pth1_2", "Pth1_3", "Elp_4"}));
  // A click on the first line selects it and shows where it was clicked.
  Click(OnShape("Pth1_1"));
  EXPECT_EQ(TreeTexts(), QStringList{"Pth1_1"});
  EXPECT_FALSE(w->txfXCoord->text().isEmpty());
  // A band around the lower two lines and the circle: one group.
  Band({10, 90}, {box->Width() - 10, box->Height() - 5});
  EXPECT_EQ(TreeTexts(), (QStringList{"Pth1_1", "Inbox_1", "  Pth1_2", "  Pth1_3", "  Elp_4"}));

  // Line properties: confirmed, applied, selection ended.
  Find<QComboBox>("cobxLineType")->setCurrentIndex(2);
  Find<QComboBox>("cobxLineColor")->setCurrentIndex(NamedColorIndex("red"));
  Find<QDoubleSpinBox>("SpinBoxLineWidth")->setValue(2.4);
  dialogs->PushAnswer(TModalResult::mrYes);
  QTest::mouseClick(Find<QPushButton>("btnSetLineProps"), Qt::LeftButton);
  EXPECT_EQ(dialogs->LastMessage()->text, "The selected objects will be changed!\nIs this ok?");
  auto* b = As<TPath>(box->FindComponent("Pth1_2"));
  EXPECT_EQ(b->StrokeDash, TStrokeDash::sdDash);
  // 2.4 as the view draws it, through the imported path's own matrix.
  const TMatrix& m = b->DataMatrix;
  EXPECT_NEAR(b->StrokeThickness * std::sqrt(std::fabs(m.m11 * m.m22 - m.m12 * m.m21)), 2.4, 1e-4);
  EXPECT_TRUE(TreeTexts().isEmpty());

  // The Delete key (the Edit menu's item) asks, then deletes; "No" keeps all.
  Click(OnShape("Pth1_2"));
  dialogs->PushAnswer(TModalResult::mrNo);
  Find<QAction>("MenuItemDeleteSel")->trigger();
  EXPECT_EQ(dialogs->LastMessage()->text, "The selected objects will be deleted!\nIs this ok?");
  EXPECT_EQ(box->ChildrenCount(), 4);
  dialogs->PushAnswer(TModalResult::mrYes);
  Find<QAction>("MenuItemDeleteSel")->trigger();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Pth1_1", "Pth1_3", "Elp_4"}));
  // Undo and redo from the menu.
  auto* undo = Find<QAction>("MenuItemUndo");
  w->ShowSelection();
  EXPECT_TRUE(undo->isEnabled());
  EXPECT_EQ(undo->text(), "Undo Delete");
  undo->trigger();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Pth1_1", "Pth1_2", "Pth1_3", "Elp_4"}));
  Find<QAction>("MenuItemRedo")->trigger();
  EXPECT_EQ(box->ChildrenCount(), 3);
  undo->trigger();

  // Join the first and third line (clicked one after the other).
  Click(OnShape("Pth1_1"));
  Click(OnShape("Pth1_3"));
  QTest::mouseClick(Find<QToolButton>("btnSelAddition"), Qt::LeftButton);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Pth1_2", "Elp_4", "Pth1_1"}));
  undo->trigger();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Pth1_1", "Pth1_2", "Pth1_3", "Elp_4"}));
  // Undoing the import too gives the empty view back.
  undo->trigger();
  undo->trigger();
  undo->trigger();
  EXPECT_EQ(box->ChildrenCount(), 0);
  EXPECT_FALSE(w->Workspace().History().CanUndo());
}

TEST_F(WorkspaceWindowTest, SelectAllAndEscape) {
  Import();
  Find<QAction>("MenuItemSelectAll")->trigger();
  EXPECT_EQ(TreeTexts().size(), 4);
  // Esc takes back a band in progress.
  Send(QEvent::MouseButtonPress, At({5, 5}), Qt::LeftButton, Qt::LeftButton);
  Send(QEvent::MouseMove, At({100, 100}), Qt::NoButton, Qt::LeftButton);
  ASSERT_NE(w->Workspace().InBoxSelection(), nullptr);
  Find<QAction>("MenuItemCancel")->trigger();
  EXPECT_EQ(w->Workspace().InBoxSelection(), nullptr);
  Send(QEvent::MouseButtonRelease, At({100, 100}), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(TreeTexts().size(), 4);
  // ... and closes the Normalize dialog.
  QTest::mouseClick(Find<QPushButton>("btnNormalize"), Qt::LeftButton);
  EXPECT_EQ(w->ShapeActionModeValue(), ShapeActionMode::SHAPE_NORMALIZE);
  Find<QAction>("MenuItemCancel")->trigger();
  EXPECT_EQ(w->ShapeActionModeValue(), ShapeActionMode::SHAPE_NONE);
  EXPECT_EQ(w->Workspace().CoordSystemSelection(), nullptr);
}

TEST_F(WorkspaceWindowTest, NormalizeFromTheDialog) {
  Import();
  QTest::mouseClick(Find<QPushButton>("btnNormalize"), Qt::LeftButton);
  EXPECT_EQ(Find<QLabel>("lbHeaderShapeDialogs")->text(), "Normalize Dialog");
  EXPECT_EQ(Find<QLabel>("lbStatus")->text(), "Please set coordinate system origin, reference width and height!");
  EXPECT_EQ(Find<QLineEdit>("txfShapeNormalizeOrgWidth")->text(), QLocale().toString(double(box->Width()), 'f', 0));
  EXPECT_FALSE(Find<QLineEdit>("txfShapeNormalizeOrgWidth")->isEnabled());
  auto* refW = Find<QLineEdit>("txfShapeNormalizeRefWidth");
  EXPECT_EQ(refW->text(), QLocale().toString(double(box->Width() / 4), 'f', 0));
  // Typing a reference size sizes the frame; a wrong number says so.
  refW->clear();
  QTest::keyClicks(refW, "400");
  TCoordFrame f;
  ASSERT_TRUE(w->Workspace().CoordFrame(f));
  EXPECT_FLOAT_EQ(f.RefWidth(), 400);
  refW->clear();
  QTest::keyClicks(refW, "x");
  EXPECT_EQ(dialogs->LastMessage()->text, "Wrong width value!");
  refW->setText("400");
  Find<QLineEdit>("txfShapeNormalizeRefHeight")->setText("200");
  const TPointF before = box->FindComponent("Pth1_2")->Position();
  // "No" changes nothing and keeps the dialog; "Yes" halves everything.
  dialogs->PushAnswer(TModalResult::mrNo);
  QTest::mouseClick(Find<QToolButton>("btnShapeOk"), Qt::LeftButton);
  EXPECT_EQ(w->ShapeActionModeValue(), ShapeActionMode::SHAPE_NORMALIZE);
  EXPECT_EQ(box->FindComponent("Pth1_2")->Position(), before);
  dialogs->PushAnswer(TModalResult::mrYes);
  QTest::mouseClick(Find<QToolButton>("btnShapeOk"), Qt::LeftButton);
  EXPECT_EQ(w->ShapeActionModeValue(), ShapeActionMode::SHAPE_NONE);
  EXPECT_FLOAT_EQ(box->FindComponent("Pth1_2")->Position().X, before.X / 2);
  EXPECT_EQ(w->Workspace().CoordSystemSelection(), nullptr);
  // A reference of 0: the message, nothing changed, the dialog closed.
  QTest::mouseClick(Find<QPushButton>("btnNormalize"), Qt::LeftButton);
  Find<QLineEdit>("txfShapeNormalizeRefWidth")->setText("0");
  dialogs->PushAnswer(TModalResult::mrYes);
  QTest::mouseClick(Find<QToolButton>("btnShapeOk"), Qt::LeftButton);
  EXPECT_EQ(dialogs->LastMessage()->text, "Wrong width or height value!");
  EXPECT_FLOAT_EQ(box->FindComponent("Pth1_2")->Position().X, before.X / 2);
  EXPECT_EQ(w->ShapeActionModeValue(), ShapeActionMode::SHAPE_NONE);
}

TEST_F(WorkspaceWindowTest, TheViewIsSavedAndReadBack) {
  Import();
  Click(OnShape("Pth1_1"));
  // Saved under a .js name: written as .fmx, without the selection's marks.
  dialogs->PushFile(dir.filePath("drawing.js"));
  w->MenuItemSaveImageClick();
  ASSERT_TRUE(QFile::exists(dir.filePath("drawing.fmx")));
  QFile saved(dir.filePath("drawing.fmx"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray text = saved.readAll();
  EXPECT_FALSE(text.contains("FFFF0000")) << text.left(400).constData();

  // Offered in the SVG mode with the 2D view showing.
  w->UpdateFileMenu();
  EXPECT_TRUE(Find<QAction>("MenuItemLoadFMXImage")->isEnabled());
  QFile bad(dir.filePath("bad.fmx"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(text.left(text.size() / 2));
  bad.close();
  QFile other(dir.filePath("other.fmx"));
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write("object Form1: TPath\nend\n");
  other.close();
  for (const char* name : {"bad.fmx", "other.fmx"}) {
    dialogs->PushFile(dir.filePath(name));
    w->MenuItemLoadFMXImageClick();
    EXPECT_TRUE(dialogs->LastMessage()->text.contains("could not be loaded")) << name;
    EXPECT_TRUE(dialogs->LastMessage()->text.contains("line", Qt::CaseInsensitive)) << dialogs->LastMessage()->text.toStdString();
    EXPECT_EQ(box->ChildrenCount(), 4) << "the view stays as it was";
  }

  dialogs->PushFile(dir.filePath("drawing.fmx"));
  w->MenuItemLoadFMXImageClick();
  EXPECT_EQ(Names(), (std::vector<std::string>{"Pth1_1", "Pth1_2", "Pth1_3", "Elp_4"}));
  EXPECT_EQ(As<TShape>(box->FindComponent("Pth1_1"))->Stroke.Color, 0xFF0000FFu);
  // What was read is selectable and editable, and new names do not clash.
  Click(OnShape("Pth1_1"));
  Click(OnShape("Pth1_2"));
  QTest::mouseClick(Find<QToolButton>("btnSelAddition"), Qt::LeftButton);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Pth1_3", "Elp_4", "Pth1_1"}));
  // The load itself can be undone.
  Find<QAction>("MenuItemUndo")->trigger();
  Find<QAction>("MenuItemUndo")->trigger();
  EXPECT_EQ(box->ChildrenCount(), 4);
}

TEST_F(WorkspaceWindowTest, SavedViewsAreNamedFmxAndWrittenWholeOrNotAtAll) {
  Import();
  struct Case {
    const char* chosen;
    const char* written;
  };
  const Case cases[] = {{"drawing.js", "drawing.fmx"}, {"plain", "plain.fmx"}, {"DRAWING.FMX", "DRAWING.FMX"}};
  for (const Case& c : cases) {
    dialogs->PushFile(dir.filePath(c.chosen));
    w->MenuItemSaveImageClick();
    EXPECT_TRUE(QFile::exists(dir.filePath(c.written))) << c.chosen;
  }
  EXPECT_FALSE(QFile::exists(dir.filePath("drawing.js")));
  // A folder that does not exist: the reason is shown, nothing is left.
  const int before = dialogs->MessageCount();
  dialogs->PushFile(dir.filePath("missing/view.fmx"));
  w->MenuItemSaveImageClick();
  ASSERT_EQ(dialogs->MessageCount(), before + 1);
  EXPECT_TRUE(dialogs->LastMessage()->text.startsWith("The drawing could not be saved to"));
  EXPECT_GT(dialogs->LastMessage()->text.count('\n'), 0) << "with the reason";
  EXPECT_FALSE(QFile::exists(dir.filePath("missing/view.fmx")));
}

TEST_F(WorkspaceWindowTest, CtrlWheelZoomsAndKeepsTheTrackBarsInStep) {
  Import();
  auto* sx = Find<TFloatTrackBar>("ScaleTrackX");
  QWidget* host = w->PaintBox2DHost;
  const QPointF at(50, 40);
  QWheelEvent in(at, host->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                 Qt::NoScrollPhase, false);
  QApplication::sendEvent(host, &in);
  EXPECT_NEAR(sx->Value(), 1.25, 0.05);
  EXPECT_NEAR(box->Scale().X, sx->Value(), 1e-6);
  EXPECT_NEAR(Find<TFloatTrackBar>("ScaleTrackY")->Value(), sx->Value(), 1e-6);
  // Picking follows the zoom.
  Click(OnShape("Pth1_2"));
  EXPECT_EQ(TreeTexts(), QStringList{"Pth1_2"});
  // A middle-button drag pans the zoomed view and selects nothing.
  for (int i = 0; i < 4; ++i) QApplication::sendEvent(host, &in);
  QApplication::processEvents();
  QScrollBar* hs = w->ScrollBox2D->horizontalScrollBar();
  ASSERT_GT(hs->maximum(), 100);
  hs->setValue(0);
  Send(QEvent::MouseButtonPress, QPoint(300, 200), Qt::MiddleButton, Qt::MiddleButton);
  Send(QEvent::MouseMove, QPoint(240, 200), Qt::NoButton, Qt::MiddleButton);
  Send(QEvent::MouseButtonRelease, QPoint(240, 200), Qt::MiddleButton, Qt::NoButton);
  EXPECT_EQ(hs->value(), 60);
  EXPECT_EQ(TreeTexts(), QStringList{"Pth1_2"});
}

}  // namespace
