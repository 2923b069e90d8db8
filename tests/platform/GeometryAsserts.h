#pragma once
// Near-comparisons of points and rectangles for the platform tests, with a
// readable message on failure.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "platform/Types.h"

namespace karto {

inline void PrintTo(const TPointF& p, std::ostream* os) { *os << "(" << p.X << ", " << p.Y << ")"; }
inline void PrintTo(const TRectF& r, std::ostream* os) {
  *os << "(" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << ")";
}

// True when both coordinates differ by at most eps.
inline ::testing::AssertionResult PointNear(TPointF got, TPointF want, float eps = 1e-4f) {
  if (std::fabs(got.X - want.X) <= eps && std::fabs(got.Y - want.Y) <= eps)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.X << ", " << got.Y << "), want (" << want.X
                                       << ", " << want.Y << "), tolerance " << eps;
}

// True when every edge differs by at most eps.
inline ::testing::AssertionResult RectNear(const TRectF& got, const TRectF& want,
                                           float eps = 1e-4f) {
  if (std::fabs(got.Left - want.Left) <= eps && std::fabs(got.Top - want.Top) <= eps &&
      std::fabs(got.Right - want.Right) <= eps && std::fabs(got.Bottom - want.Bottom) <= eps)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "got (" << got.Left << ", " << got.Top << ", " << got.Right << ", " << got.Bottom
         << "), want (" << want.Left << ", " << want.Top << ", " << want.Right << ", "
         << want.Bottom << "), tolerance " << eps;
}

}  // namespace karto
