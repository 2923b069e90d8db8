#pragma once
// Plane geometry of the 2D workspace: distances, nearest points, rectangle
// tests, segment crossings and tolerant float comparisons. Every input and
// result is a 32-bit float and every intermediate difference, product and
// quotient is rounded to one before it is used further, so picking and
// snapping give the same answers on every machine. Free functions without
// state; coordinates are whatever the caller passes (the workspace passes
// absolute ones, y growing downwards).

#include <stdexcept>

#include "platform/Types.h"

namespace karto {

// A segment from (X1, Y1) to (X2, Y2).
struct TLineF {
  float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

// A self-check of the geometry found a contradiction. It travels to the
// handler that called the geometry, which tells the user; it is never
// allowed to end the program.
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// The tolerance of the two-argument comparisons: 1e-12 as a 32-bit float.
constexpr float kEqualityTolerance = 1e-12f;

float Distance(float X1, float Y1, float X2, float Y2);
void NearestPointOnSegment(float X1, float Y1, float X2, float Y2, float PX, float PY, float& NX, float& NY);
float DistanceToSegment(float PX, float PY, float X1, float Y1, float X2, float Y2);
float DistanceToSegment(const TPointF& P, const TLineF& L);

// True when (X, Y) lies in the rectangle spanned by the corners C1 and C2,
// edges included. Any two opposite corners will do, in any order: a rubber
// band dragged up-right or down-left selects like one dragged down-right.
bool PointInRect(float X, float Y, float C1x, float C1y, float C2x, float C2y);
// Both end points inside the rectangle.
bool SegmentInRect(float X1, float Y1, float X2, float Y2, float C1x, float C1y, float C2x, float C2y);

// Whether segment A (X1, Y1)-(X2, Y2) and segment B (X3, Y3)-(X4, Y4) meet,
// end points included; (X, Y) receives the crossing. For collinear
// overlapping segments the point is B's start when it lies on A's line,
// else B's end.
bool SegmentIntersection(float X1, float Y1, float X2, float Y2, float X3, float Y3, float X4, float Y4,
                         float& X, float& Y);
bool SegmentIntersection(const TLineF& A, const TLineF& B, float& X, float& Y);

// |A - B| within (IsEqual) or beyond (NotEqual) the tolerance. Each checks
// itself a second way and throws EAssertionFailed when the two disagree. A
// NaN operand is equal and not unequal.
bool IsEqual(float A, float B, float Tolerance);
bool NotEqual(float A, float B, float Tolerance);
bool IsEqual(float A, float B);
bool NotEqual(float A, float B);

// Where a drawing of srcW x srcH (scaled by scaleX, scaleY) lies in an area
// of dstW x dstH: with keepAspect it is fitted to touch the area on two sides
// with its proportions kept, with center it is centred. Returns left, top,
// right, bottom.
TRectF FitRect(bool center, bool keepAspect, float srcW, float srcH, float dstW, float dstH,
               float scaleX, float scaleY);

}  // namespace karto
