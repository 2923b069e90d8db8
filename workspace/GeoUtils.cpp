#include "workspace/GeoUtils.h"

#include <cmath>
#include <string>

namespace karto {

namespace {

[[noreturn]] void Fail(const char* message, int line) {
  throw EAssertionFailed(std::string(message) + " (GeoUtils.cpp, line " + std::to_string(line) + ")");
}

}  // namespace

float Distance(float X1, float Y1, float X2, float Y2) {
  const float dx = X2 - X1;
  const float dy = Y2 - Y1;
  return float(std::sqrt(double(dx) * dx + double(dy) * dy));
}

void NearestPointOnSegment(float X1, float Y1, float X2, float Y2, float PX, float PY, float& NX, float& NY) {
  const float dx = X2 - X1, dy = Y2 - Y1;
  const float wx = PX - X1, wy = PY - Y1;
  const float ddx = dx * wx, ddy = dy * wy;
  const float dot = ddx + ddy;
  if (!(dot > 0)) {
    NX = X1;
    NY = Y1;
    return;
  }
  const float lx = dx * dx, ly = dy * dy;
  const float len2 = lx + ly;
  if (len2 > dot) {
    const float t = dot / len2;
    const float ox = t * dx, oy = t * dy;
    NX = X1 + ox;
    NY = Y1 + oy;
  } else {
    NX = X2;
    NY = Y2;
  }
}

float DistanceToSegment(float PX, float PY, float X1, float Y1, float X2, float Y2) {
  float nx = 0, ny = 0;
  NearestPointOnSegment(X1, Y1, X2, Y2, PX, PY, nx, ny);
  return Distance(PX, PY, nx, ny);
}

float DistanceToSegment(const TPointF& P, const TLineF& L) { return DistanceToSegment(P.X, P.Y, L.X1, L.Y1, L.X2, L.Y2); }

bool PointInRect(float X, float Y, float C1x, float C1y, float C2x, float C2y) {
  const float left = std::fmin(C1x, C2x), right = std::fmax(C1x, C2x);
  const float top = std::fmin(C1y, C2y), bottom = std::fmax(C1y, C2y);
  return left <= X && X <= right && top <= Y && Y <= bottom;
}

bool SegmentInRect(float X1, float Y1, float X2, float Y2, float C1x, float C1y, float C2x, float C2y) {
  return PointInRect(X1, Y1, C1x, C1y, C2x, C2y) && PointInRect(X2, Y2, C1x, C1y, C2x, C2y);
}

namespace {

// The ranges [a1, a2] (either order) and [b1, b2] (b1 > b2 allowed) meet.
bool RangesMeet(float a1, float a2, float b1, float b2) {
  const float lo = a1 < a2 ? a1 : a2;
  const float hi = a1 < a2 ? a2 : a1;
  if (b1 > b2) return !(hi < b2 || b1 < lo);
  return !(hi < b1 || b2 < lo);
}

}  // namespace

bool SegmentIntersection(float X1, float Y1, float X2, float Y2, float X3, float Y3, float X4, float Y4,
                         float& X, float& Y) {
  if (!RangesMeet(X1, X2, X3, X4) || !RangesMeet(Y1, Y2, Y3, Y4)) return false;
  const float dx = X2 - X1, dy = Y2 - Y1;
  const float ex = X3 - X4, ey = Y3 - Y4;
  const float fx = X1 - X3, fy = Y1 - Y3;
  const float den1 = dy * ex, den2 = dx * ey;
  const float den = den1 - den2;
  const float na1 = ey * fx, na2 = ex * fy;
  const float na = na1 - na2;
  const float nb1 = dx * fy, nb2 = dy * fx;
  const float nb = nb1 - nb2;
  if (den > 0) {
    if (na < 0 || na > den || nb < 0 || nb > den) return false;
  } else {
    if (na > 0 || na < den || nb > 0 || nb < den) return false;
  }
  if (NotEqual(den, 0)) {
    const float t = na / den;
    const float ox = t * dx, oy = t * dy;
    X = X1 + ox;
    Y = Y1 + oy;
    return true;
  }
  const float a1 = Y3 - Y1, a2 = X3 - X1;
  if (IsEqual(a1 * dx, a2 * dy)) {
    X = X3;
    Y = Y3;
  } else {
    X = X4;
    Y = Y4;
  }
  return true;
}

bool SegmentIntersection(const TLineF& A, const TLineF& B, float& X, float& Y) {
  return SegmentIntersection(A.X1, A.Y1, A.X2, A.Y2, B.X1, B.Y1, B.X2, B.Y2, X, Y);
}

bool IsEqual(float A, float B, float Tolerance) {
  const float diff = A - B;
  if (std::isnan(diff)) return true;
  const bool result = -Tolerance <= diff && diff <= Tolerance;
  if (result != (std::fabs(diff) <= Tolerance)) Fail("Error - Illogical error in equality check. (IsEqual)", __LINE__);
  return result;
}

bool NotEqual(float A, float B, float Tolerance) {
  const float diff = A - B;
  if (std::isnan(diff)) return false;
  const bool result = diff < -Tolerance || diff > Tolerance;
  // The check takes the difference unrounded, so a difference that rounding
  // carries across the tolerance is reported instead of passing silently.
  if (result != (std::fabs(double(A) - double(B)) > double(Tolerance)))
    Fail("Error - Illogical error in equality check. (NotEqual)", __LINE__);
  return result;
}

bool IsEqual(float A, float B) { return IsEqual(A, B, kEqualityTolerance); }
bool NotEqual(float A, float B) { return NotEqual(A, B, kEqualityTolerance); }

TRectF FitRect(bool center, bool keepAspect, float srcW, float srcH, float dstW, float dstH,
               float scaleX, float scaleY) {
  float w = srcW * scaleX;
  float h = srcH * scaleY;
  if (keepAspect) {
    const float ratio = srcH > 0 ? srcW / srcH : 1;
    // An area without height is treated as infinitely wide, so the drawing
    // takes the area's height (0) instead of dividing by zero.
    const float areaRatio = dstH > 0 ? dstW / dstH : INFINITY;
    if (areaRatio > ratio) {
      w = dstH * ratio;
      h = dstH;
    } else {
      w = dstW;
      h = ratio > 0 ? dstW / ratio : 0;
    }
  }
  float ox = 0, oy = 0;
  if (center) {
    ox = (dstW - w) / 2;
    oy = (dstH - h) / 2;
  }
  return {ox, oy, ox + w, oy + h};
}

}  // namespace karto
