// The effect catalogue in the imaging mode: a category, a filter, one editor
// per parameter (a track bar for a number, a colour box for a colour, a grip
// on the destination picture for a point), and the active slot filtered into
// the destination after every change. Filtering runs off the window's
// thread, so a large picture does not freeze the window while a track bar
// is dragged.

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "app/CatalogRun.h"
#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "platform/Animation.h"
#include "platform/Selection.h"

namespace karto {

namespace {

QString F2(double v) { return QString::number(v, 'f', 2); }

// An editor row: the caption (bold for colours) with its control on the
// right, the description under them, centred and dimmed.
QWidget* EditorItem(const QString& caption, bool bold, QWidget* control, int controlWidth, const QString& desc) {
  auto* item = new QWidget;
  auto* col = new QVBoxLayout(item);
  col->setContentsMargins(4, 2, 4, 2);
  auto* top = new QHBoxLayout;
  auto* text = new QLabel(caption);
  text->setObjectName("text");
  // A long caption ("Angle (-720.00-720.00)") wraps at its space instead of
  // being cut off by the control beside it.
  text->setWordWrap(true);
  if (bold) {
    QFont f = text->font();
    f.setBold(true);
    text->setFont(f);
  }
  control->setFixedWidth(controlWidth);
  top->addWidget(text, 1);
  top->addWidget(control);
  auto* description = new QLabel(desc);
  description->setObjectName("desc");
  description->setAlignment(Qt::AlignCenter);
  description->setWordWrap(true);
  SetWidgetOpacity(description, 0.6);
  col->addLayout(top);
  col->addWidget(description);
  return item;
}

}  // namespace

void TfrmKarto::listCatClick() {
  QListWidgetItem* cat = listCat->currentItem();
  if (!cat) return;
  listFX->clearSelection();
  listFX->clear();
  for (const std::string& name : FilterManager::FiltersOfCategory(cat->text().toStdString()))
    listFX->addItem(QString::fromStdString(name));
}

void TfrmKarto::RemoveCatalogGrips() {
  for (const TControlRef& g : m_catalogGrips) delete g.Get();
  m_catalogGrips.clear();
}

std::vector<TSelectionPoint*> TfrmKarto::CatalogGrips() const {
  std::vector<TSelectionPoint*> out;
  for (const TControlRef& g : m_catalogGrips)
    if (auto* p = dynamic_cast<TSelectionPoint*>(g.Get())) out.push_back(p);
  return out;
}

void TfrmKarto::listFXClick() {
  QListWidgetItem* fx = listFX->currentItem();
  if (!fx) return;
  lbxFilterSettings->clear();
  // The grips of the filter chosen before go with it.
  RemoveCatalogGrips();
  Filter = FilterManager::CreateFilter(fx->text().toStdString());
  if (!Filter) return;
  Rec = Filter->FilterRec();
  const TRectF picture = m_oImageDest->BitmapRect();
  int row = 0;
  for (size_t i = 0; i < Rec.Values.size(); ++i) {
    const TShaderValueRec& v = Rec.Values[i];
    QWidget* editor = nullptr;
    if (v.ValueType == TShaderValueType::vtFloat) {
      auto* track = new TFloatTrackBar;
      track->setObjectName("track");
      track->SetFrequency((v.Max - v.Min) / 1000);
      track->SetRange(v.Min, v.Max);
      track->SetValue(v.Default);
      track->setProperty("tag", int(i));
      connect(track, &TFloatTrackBar::changed, this, [this, track] { OnTrackParamChange(track); });
      editor = EditorItem(QString("%1 (%2-%3)").arg(QString::fromStdString(v.Name), F2(v.Min), F2(v.Max)), false,
                          track, 123, QString::fromStdString(v.Desc));
    } else if (v.ValueType == TShaderValueType::vtColor) {
      auto* box = new QComboBox;
      box->setObjectName("color");
      FillColorBox(box, v.DefaultColor);
      box->setProperty("tag", int(i));
      connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this, box] { OnColorParamChange(box); });
      editor = EditorItem(QString::fromStdString(v.Name), true, box, 88, QString::fromStdString(v.Desc));
    } else if (v.ValueType == TShaderValueType::vtPoint) {
      auto* grip = new TSelectionPoint(m_oImageDest);
      grip->SetParent(m_oImageDest);
      grip->SetGripSize(7);
      grip->SetPosition({picture.Left + v.DefaultPoint.X * picture.Width(), picture.Top + v.DefaultPoint.Y * picture.Height()});
      grip->SetTag(intptr_t(i));
      grip->SetName("Grip" + v.Name);
      grip->OnTrack = [this](TControl* c) { OnPointParamTrack(static_cast<TSelectionPoint*>(c)); };
      m_catalogGrips.emplace_back(grip);
    }
    if (!editor) continue;
    auto* item = new QListWidgetItem(lbxFilterSettings);
    item->setSizeHint(QSize(0, 64));
    lbxFilterSettings->setItemWidget(item, editor);
    // Each editor fades in, a tenth of a second after the one above.
    SetWidgetOpacity(editor, 0);
    AnimateFloatDelay(editor, 0, 1, 0.5, row / 10.0, [editor](float o) { SetWidgetOpacity(editor, o); });
    ++row;
  }
  m_oImageDest->Repaint();
  ApplyCatalogFilter();
}

void TfrmKarto::OnTrackParamChange(TFloatTrackBar* track) {
  const int i = track->property("tag").toInt();
  if (!Filter || i < 0 || size_t(i) >= Rec.Values.size()) return;
  Filter->SetFloat(Rec.Values[size_t(i)].Name, float(track->Value()));
  ApplyCatalogFilter();
}

void TfrmKarto::OnColorParamChange(QComboBox* box) {
  const int i = box->property("tag").toInt();
  if (!Filter || i < 0 || size_t(i) >= Rec.Values.size()) return;
  Filter->SetColor(Rec.Values[size_t(i)].Name, ColorBoxColor(box));
  ApplyCatalogFilter();
}

void TfrmKarto::OnPointParamTrack(TSelectionPoint* grip) {
  const auto i = size_t(grip->Tag());
  // A grip whose parameter the chosen filter does not have does nothing.
  if (!Filter || i >= Rec.Values.size() || Rec.Values[i].ValueType != TShaderValueType::vtPoint) return;
  const TRectF picture = m_oImageDest->BitmapRect();
  if (picture.IsEmpty()) return;
  const TPointF at = grip->Position();
  Filter->SetPoint(Rec.Values[i].Name,
                   {(at.X - picture.Left) / picture.Width(), (at.Y - picture.Top) / picture.Height()});
  ApplyCatalogFilter();
}

void TfrmKarto::ApplyCatalogFilter() {
  if (m_enWorkingMode != WorkMode::IMAGING_MODE) return;
  if (m_iActImage < 0 || m_iActImage > 2) return;
  if (!Filter) return;
  if (!m_catalogRun) {
    m_catalogRun = std::make_unique<TCatalogRun>();
    connect(&m_catalogRun->watcher, &QFutureWatcher<TBitmap>::finished, this, [this] {
      TCatalogRun& run = *m_catalogRun;
      TBitmap result = run.watcher.result();
      // Shown only when no request came after this one, and only while the
      // catalogue still applies.
      if (run.running == run.generation && m_enWorkingMode == WorkMode::IMAGING_MODE) {
        if (!result.IsEmpty()) {
          m_oImageDest->Bitmap.Assign(result);
          m_oImageDest->Repaint();
        } else if (Filter) {
          // The filter ran out of memory: the picture stays as it was.
          lbStatus->setText(QString("Not enough memory to apply %1 to this picture.")
                                .arg(QString::fromStdString(Rec.Name)));
        }
      }
      if (run.pending) {
        run.pending = false;
        StartCatalogJob();
      }
    });
  }
  ++m_catalogRun->generation;
  if (m_catalogRun->watcher.isRunning()) {
    m_catalogRun->pending = true;
    return;
  }
  StartCatalogJob();
}

void TfrmKarto::StartCatalogJob() {
  if (!Filter || m_iActImage < 0 || m_iActImage > 2) return;
  if (m_oImages[size_t(m_iActImage)]->Bitmap.IsEmpty()) return;
  // The job runs on its own copy of the filter and shares the pictures'
  // pixels (read only), so the window may change both meanwhile.
  auto job = std::make_shared<TFilter>(*Filter);
  job->SetInput(m_oImages[size_t(m_iActImage)]->Bitmap);
  job->SetTarget(m_oImages[3]->Bitmap);
  m_catalogRun->running = m_catalogRun->generation;
  m_catalogRun->watcher.setFuture(QtConcurrent::run([job]() -> TBitmap {
    try {
      return job->Output();
    } catch (const std::bad_alloc&) {
      return TBitmap();
    }
  }));
}

bool TfrmKarto::CatalogFilterBusy() const {
  return m_catalogRun && (m_catalogRun->watcher.isRunning() || m_catalogRun->pending);
}

void TfrmKarto::WaitForCatalogFilter() {
  while (CatalogFilterBusy()) {
    m_catalogRun->watcher.waitForFinished();
    QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
}

}  // namespace karto
