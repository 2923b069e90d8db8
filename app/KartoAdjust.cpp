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
    TFilter* filter;
    const TFilterRec* rec;
    size_t index;
  };
  const Binding rows[] = {
      {TrackBarSharpen, lbSharpenDesc, lbSharpenValue, FilterSharpe.get(), &FilterRecSharpe, 0},
      {TrackBarBrightness, lbBrightnessDesc, lbBrightnessValue, FilterContrast.get(), &FilterRecContrast, 0},
      {TrackBarContrast, lbContrastDesc, lbContrastValue, FilterContrast.get(), &FilterRecContrast, 1},
      {TrackBarPenSize, lbPenSizeDesc, lbPenSizeValue, FilterPaperSketch.get(), &FilterRecPaperSketch, 0},
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
    // The change handler is off meanwhile: the filter follows the bar here,
    // or it would go on with the value the user set before.
    if (b.filter) b.filter->SetFloat(ParamName(*b.rec, b.index), float(b.bar->Value()));
  }
  chbxPageSketchActive->setChecked(false);
  m_lChngSharpe = m_lChngBrightness = m_lChngContrast = false;
  m_lWithUpdate = true;
}

// What every filter track bar does: set its parameter, show the value, mark
// its stage (the pen size has none: it switches the paper sketch on), and
// run the chain.
void TfrmKarto::FilterTrackBarChanged(TFloatTrackBar* bar, TFilter* filter, const TFilterRec& rec, size_t index,
                                      QLabel* valueLabel, bool* stageFlag) {
  if (!m_lWithUpdate) return;
  const double v = bar->Value();
  if (filter) filter->SetFloat(ParamName(rec, index), float(v));
  valueLabel->setText(F2(v));
  if (stageFlag) *stageFlag = true;
  else chbxPageSketchActive->setChecked(true);
  ApplyAdjustments();
}

void TfrmKarto::TrackBarBrightnessChange() {
  FilterTrackBarChanged(TrackBarBrightness, FilterContrast.get(), FilterRecContrast, 0, lbBrightnessValue,
                        &m_lChngBrightness);
}

void TfrmKarto::TrackBarContrastChange() {
  FilterTrackBarChanged(TrackBarContrast, FilterContrast.get(), FilterRecContrast, 1, lbContrastValue,
                        &m_lChngContrast);
}

void TfrmKarto::TrackBarSharpenChange() {
  FilterTrackBarChanged(TrackBarSharpen, FilterSharpe.get(), FilterRecSharpe, 0, lbSharpenValue, &m_lChngSharpe);
}

void TfrmKarto::TrackBarPenSizeChange() {
  FilterTrackBarChanged(TrackBarPenSize, FilterPaperSketch.get(), FilterRecPaperSketch, 0, lbPenSizeValue, nullptr);
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
  TBitmap adjusted;
  try {
    adjusted = RunAdjustmentChain(m_oImages[size_t(m_iActImage)]->Bitmap, stages);
  } catch (const std::bad_alloc&) {
    // The pictures stay as they were.
    m_dialogs->MessageDlg("There is not enough memory to adjust this picture.", TMsgDlgType::mtError, mbOK);
    return;
  }
  m_oImageDest->Bitmap = adjusted;
  m_oImageDest->Repaint();
}

}  // namespace karto
