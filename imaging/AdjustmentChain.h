#pragma once
// The adjustment chain that prepares a picture for tracing: brightness and
// contrast, then sharpen, then the paper sketch, each stage reading the
// result of the one before. The window and karto-cli run the same code.

#include <memory>
#include <optional>

#include "platform/Filters.h"

namespace karto {

// The filters of the chain with their parameters already set, and which
// stages take part. A stage whose filter is missing is skipped.
struct TAdjustmentStages {
  TFilter* contrast = nullptr;
  bool useContrast = false;
  TFilter* sharpen = nullptr;
  bool useSharpen = false;
  TFilter* sketch = nullptr;
  bool useSketch = false;
};

// Runs the stages on source in the order contrast -> sharpen -> paper
// sketch. With no stage taking part the result is a copy of source. The
// source itself is never changed, so each run starts from the untouched
// picture.
TBitmap RunAdjustmentChain(const TBitmap& source, const TAdjustmentStages& stages);

// The chain as karto-cli offers it: a stage joins when one of its values is
// given (brightness and contrast share a stage); the paper sketch joins with
// sketch or a pen size. Values not given keep the filter's default.
struct TAdjustmentOptions {
  std::optional<float> brightness;
  std::optional<float> contrast;
  std::optional<float> sharpen;
  std::optional<float> penSize;
  bool sketch = false;
};

// Creates the chain's filters by name, sets the given values and runs the
// chain on source.
TBitmap ApplyAdjustmentOptions(const TBitmap& source, const TAdjustmentOptions& options);

}  // namespace karto
