#pragma once
// The built-in filter kernels and their descriptions. Each kernel works on
// contiguous rows, split across the cores; blurs cost the same whatever
// their radius (box cascades).

#include <cstdint>
#include <vector>

#include "platform/Filters.h"

namespace karto {

struct TFilterRegistration {
  const char* category;
  TFilterRec rec;
  TFilterKernel kernel;
};

// Every built-in filter, in registration order.
std::vector<TFilterRegistration> BuiltinFilters();

// Blurs a plane of w x h floats in place with three box passes per axis,
// approximating a Gaussian of the given sigma (in pixels). Edges repeat the
// border value. Exposed for tests and for filters built on it.
void GaussianBlurPlane(std::vector<float>& plane, int w, int h, float sigma);
// The same on 16-bit values (exact integer sums; no drift on large planes).
void GaussianBlurPlane16(std::vector<uint16_t>& plane, int w, int h, float sigma);

}  // namespace karto
