// The adjustment panel: track bars bound to filter parameters, the paper
// sketch switch, the greyscale limit, and the chain that rebuilds the
// destination image from the active slot.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/FloatTrackBar.h"
#include "app/KartoWindow.h"
#include "app/Utils.h"
#include "imaging/AdjustmentChain.h"

namespace karto {

namespace {
QString F2(double v) { return QString::number(v, 'f', 2); }
QString F0(double v) { return QString::number(v, 'f', 0); }

// The name of the parameter a track bar is bound to, by its position in the
// filter's description; empty when the filter is missing.
std::string ParamName(const TFilterRec& rec, size_t index) {
  return index < rec.Values.size() ? rec.Values[index].Name : std::string();
}
}  // namespace

void TfrmKarto::ResetAdjustmentControls(bool onlyValues) {
  m_lWithUpdate = false;
  struct Binding {
    TFloatTrackBar* bar;
    QLabel* desc;
    QLabel* value;
    const TFilterRec* rec;
    size_t index;
  };
  const Binding rows[] = {
      {TrackBarSharpen, lbSharpenDesc, lbSharpenValue, &FilterRecSharpe, 0},
      {TrackBarBrightness, lbBrightnessDesc, lbBrightnessValue, &FilterRecContrast, 0},
      {TrackBarContrast, lbContrastDesc, lbContrastValue, &FilterRecContrast, 1},
      {TrackBarPenSize, lbPenSizeDesc, lbPenSizeValue, &FilterRecPaperSketch, 0},
  };
  for (const Binding& b : rows) {
    if (b.index >= b.rec->Values.size()) continue;  // a missing filter keeps its controls
    const TShaderValueRec& v = b.rec->Values[b.index];
    if (!onlyValues) {
      b.desc->setText(QString::fromStdString(v.Name) + " (" + F2(v.Min) + " ... " + F2(v.Max) + ")");
      b.bar->SetRange(v.Min, v.Max);
    }
    b.bar->SetValue(v.Default);
    b.value->setText(F2(b.bar->Value()));
  }
  chbxPageSketchActive->setChecked(false);
  m_lChngSharpe = m_lChngBrightness = m_lChngContrast = false;
  m_lWithUpdate = true;
}

void TfrmKarto::TrackBarBrightnessChange() {
  if (!m_lWithUpdate) return;
  const double v = TrackBarBrightness->Value();
  if (FilterContrast) FilterContrast->SetFloat(ParamName(FilterRecContrast, 0), float(v));
  lbBrightnessValue->setText(F2(v));
  m_lChngBrightness = true;
  ApplyAdjustments();
}

void TfrmKarto::TrackBarContrastChange() {
  if (!m_lWithUpdate) return;
  const double v = TrackBarContrast->Value();
  if (FilterContrast) FilterContrast->SetFloat(ParamName(FilterRecContrast, 1), float(v));
  lbContrastValue->setText(F2(v));
  m_lChngContrast = true;
  ApplyAdjustments();
}

void TfrmKarto::TrackBarSharpenChange() {
  if (!m_lWithUpdate) return;
  const double v = TrackBarSharpen->Value();
  if (FilterSharpe) FilterSharpe->SetFloat(ParamName(FilterRecSharpe, 0), float(v));
  lbSharpenValue->setText(F2(v));
  m_lChngSharpe = true;
  ApplyAdjustments();
}

void TfrmKarto::TrackBarPenSizeChange() {
  if (!m_lWithUpdate) return;
  const double v = TrackBarPenSize->Value();
  if (FilterPaperSketch) FilterPaperSketch->SetFloat(ParamName(FilterRecPaperSketch, 0), float(v));
  lbPenSizeValue->setText(F2(v));
  // Moving the pen size switches the paper sketch on.
  chbxPageSketchActive->setChecked(true);
  ApplyAdjustments();
}

void TfrmKarto::chbxPageSketchActiveChange() { ApplyAdjustments(); }

void TfrmKarto::TrackBarGreyscaleChange() { lbGreyscaleValue->setText(F0(TrackBarGreyscale->Value())); }

void TfrmKarto::ApplyAdjustments() {
  if (btnVectorize->isEnabled()) EnableControl(false, btnVectorize);
  ReleaseTrace();
  if (!m_lWithUpdate || m_iActImage < 0) return;
  TAdjustmentStages stages;
  stages.contrast = FilterContrast.get();
  stages.useContrast = m_lChngBrightness || m_lChngContrast;
  stages.sharpen = FilterSharpe.get();
  stages.useSharpen = m_lChngSharpe;
  stages.sketch = FilterPaperSketch.get();
  stages.useSketch = chbxPageSketchActive->isChecked();
  m_oImageDest->Bitmap = RunAdjustmentChain(m_oImages[size_t(m_iActImage)]->Bitmap, stages);
  m_oImageDest->Repaint();
}

}  // namespace karto
