#include "imaging/AdjustmentChain.h"

#include "imaging/Catalogue.h"

namespace karto {

TBitmap RunAdjustmentChain(const TBitmap& source, const TAdjustmentStages& stages) {
  TBitmap result;
  bool applied = false;
  auto stage = [&](TFilter* filter, bool use) {
    if (!use || !filter) return;
    filter->SetInput(applied ? result : source);
    result = filter->Output();
    applied = true;
  };
  stage(stages.contrast, stages.useContrast);
  stage(stages.sharpen, stages.useSharpen);
  stage(stages.sketch, stages.useSketch);
  if (!applied) result.Assign(source);
  return result;
}

TBitmap ApplyAdjustmentOptions(const TBitmap& source, const TAdjustmentOptions& o) {
  RegisterCatalogue();
  std::unique_ptr<TFilter> contrast = FilterManager::CreateFilter("Contrast");
  std::unique_ptr<TFilter> sharpen = FilterManager::CreateFilter("Sharpen");
  std::unique_ptr<TFilter> sketch = FilterManager::CreateFilter("PaperSketch");
  TAdjustmentStages stages;
  stages.contrast = contrast.get();
  stages.sharpen = sharpen.get();
  stages.sketch = sketch.get();
  stages.useContrast = o.brightness.has_value() || o.contrast.has_value();
  stages.useSharpen = o.sharpen.has_value();
  stages.useSketch = o.sketch || o.penSize.has_value();
  if (contrast && o.brightness) contrast->SetFloat("Brightness", *o.brightness);
  if (contrast && o.contrast) contrast->SetFloat("Contrast", *o.contrast);
  if (sharpen && o.sharpen) sharpen->SetFloat("Amount", *o.sharpen);
  if (sketch && o.penSize) sketch->SetFloat("BrushSize", *o.penSize);
  return RunAdjustmentChain(source, stages);
}

}  // namespace karto
