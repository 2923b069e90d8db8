#pragma once
// Path geometry: an ordered list of points, each with a kind. A cubic curve is
// three consecutive ppCurveTo points (control 1, control 2, end). A ppClose
// point carries the start of the figure it closes.

#include <string>
#include <vector>

#include "platform/Matrix.h"
#include "platform/Types.h"

namespace karto {

enum class TPathPointKind { ppMoveTo, ppLineTo, ppCurveTo, ppClose };
constexpr TPathPointKind ppMoveTo = TPathPointKind::ppMoveTo;
constexpr TPathPointKind ppLineTo = TPathPointKind::ppLineTo;
constexpr TPathPointKind ppCurveTo = TPathPointKind::ppCurveTo;
constexpr TPathPointKind ppClose = TPathPointKind::ppClose;

struct TPathPoint {
  TPathPointKind Kind = ppMoveTo;
  TPointF Point;
  bool operator==(const TPathPoint& o) const { return Kind == o.Kind && Point == o.Point; }
};

// The kappa of a quarter-circle cubic: 4/3 * (sqrt(2) - 1).
constexpr float CurveKappa = 0.5522847498f;

class TPathData {
 public:
  TPathData() = default;

  // Absolute forms.
  void MoveTo(TPointF p);
  void LineTo(TPointF p);
  void HLineTo(float x);
  void VLineTo(float y);
  void CurveTo(TPointF c1, TPointF c2, TPointF end);
  // The first control point is the reflection of the previous curve's second
  // control point through the current point, or the current point itself when
  // the previous segment is not a curve.
  void SmoothCurveTo(TPointF c2, TPointF end);
  // A quadratic segment, stored as the equivalent cubic.
  void QuadCurveTo(TPointF c, TPointF end);
  // Relative forms: every point is taken relative to LastPoint().
  void MoveToRel(TPointF p);
  void LineToRel(TPointF p);
  void HLineToRel(float dx);
  void VLineToRel(float dy);
  void CurveToRel(TPointF c1, TPointF c2, TPointF end);
  void SmoothCurveToRel(TPointF c2, TPointF end);
  void QuadCurveToRel(TPointF c, TPointF end);
  // Appends a close point that returns to the start of the current figure.
  void ClosePath();

  // An ellipse inscribed in the rectangle: a move to its left middle and four
  // cubic quarter arcs, not closed.
  void AddEllipse(const TRectF& r);
  // A closed rectangle, with rounded corners of the given radii when both are
  // above zero.
  void AddRectangle(const TRectF& r, float xRadius = 0, float yRadius = 0);
  // An elliptic arc about center with radii (rx, ry), from startAngle over
  // sweepAngle degrees (positive turns from +x towards +y). Its start point is
  // joined to the current point with a line (a move on an empty path); the arc
  // is approximated by cubic segments of at most 90 degrees each.
  void AddArc(TPointF center, TPointF radius, float startAngle, float sweepAngle);

  void Clear() { m_points.clear(); m_startPoint = {}; }
  int Count() const { return int(m_points.size()); }
  bool IsEmpty() const { return m_points.empty(); }
  const TPathPoint& Points(int i) const { return m_points[size_t(i)]; }
  const std::vector<TPathPoint>& PointList() const { return m_points; }
  // The last point, (0, 0) for an empty path.
  TPointF LastPoint() const;
  // The bounding rectangle of every point, control points included; close
  // points are skipped (they repeat a start point). (0, 0, 0, 0) when empty.
  TRectF GetBounds() const;
  // The bounds of the points mapped by m.
  TRectF GetBounds(const TMatrix& m) const;
  void Scale(float sx, float sy);
  void Translate(float dx, float dy);
  void ApplyMatrix(const TMatrix& m);
  // Appends a point as it is (used by readers and the join command).
  void AddPoint(TPathPointKind kind, TPointF p);
  void Assign(const TPathData& other) { *this = other; }

  // The textual form: "M x,y L x,y C x,y x,y x,y Z". Numbers are written in
  // the shortest form that reads back to the same float, so Data() read by
  // SetData() gives the same points.
  std::string Data() const;
  // Replaces the points by those of an SVG-style path text (M L H V C S Q Z,
  // absolute and relative). Returns false when the text breaks off with an
  // error; the points read up to the error are kept.
  bool SetData(const std::string& text);

  bool operator==(const TPathData& o) const { return m_points == o.m_points; }
  bool operator!=(const TPathData& o) const { return !(*this == o); }

 private:
  std::vector<TPathPoint> m_points;
  TPointF m_startPoint;  // start of the current figure, target of ClosePath
};

// Shortest decimal text of a float that reads back to the same value.
std::string FloatToText(float v);
// The same text appended to out, without a string of its own.
void AppendFloatText(std::string& out, float v);

}  // namespace karto
