#include "platform/PathData.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace karto {

void TPathData::AddPoint(TPathPointKind kind, TPointF p) {
  if (kind == ppMoveTo) m_startPoint = p;
  m_points.push_back({kind, p});
}

void TPathData::MoveTo(TPointF p) { AddPoint(ppMoveTo, p); }
void TPathData::LineTo(TPointF p) { AddPoint(ppLineTo, p); }
void TPathData::HLineTo(float x) { LineTo({x, LastPoint().Y}); }
void TPathData::VLineTo(float y) { LineTo({LastPoint().X, y}); }

void TPathData::CurveTo(TPointF c1, TPointF c2, TPointF end) {
  m_points.push_back({ppCurveTo, c1});
  m_points.push_back({ppCurveTo, c2});
  m_points.push_back({ppCurveTo, end});
}

void TPathData::SmoothCurveTo(TPointF c2, TPointF end) {
  const TPointF cur = LastPoint();
  TPointF c1 = cur;
  const size_t n = m_points.size();
  if (n >= 2 && m_points[n - 1].Kind == ppCurveTo) c1 = cur * 2.0f - m_points[n - 2].Point;
  CurveTo(c1, c2, end);
}

void TPathData::QuadCurveTo(TPointF c, TPointF end) {
  const TPointF cur = LastPoint();
  const TPointF c1 = cur + (c - cur) * (2.0f / 3.0f);
  const TPointF c2 = end + (c - end) * (2.0f / 3.0f);
  CurveTo(c1, c2, end);
}

void TPathData::MoveToRel(TPointF p) { MoveTo(LastPoint() + p); }
void TPathData::LineToRel(TPointF p) { LineTo(LastPoint() + p); }
void TPathData::HLineToRel(float dx) { LineToRel({dx, 0}); }
void TPathData::VLineToRel(float dy) { LineToRel({0, dy}); }

void TPathData::CurveToRel(TPointF c1, TPointF c2, TPointF end) {
  const TPointF cur = LastPoint();
  CurveTo(cur + c1, cur + c2, cur + end);
}

void TPathData::SmoothCurveToRel(TPointF c2, TPointF end) {
  const TPointF cur = LastPoint();
  SmoothCurveTo(cur + c2, cur + end);
}

void TPathData::QuadCurveToRel(TPointF c, TPointF end) {
  const TPointF cur = LastPoint();
  QuadCurveTo(cur + c, cur + end);
}

void TPathData::ClosePath() { m_points.push_back({ppClose, m_startPoint}); }

TPointF TPathData::LastPoint() const {
  return m_points.empty() ? TPointF{} : m_points.back().Point;
}

void TPathData::AddEllipse(const TRectF& r) {
  const float rx = r.Width() / 2, ry = r.Height() / 2;
  const float cx = r.Left + rx, cy = r.Top + ry;
  const float px = CurveKappa * rx, py = CurveKappa * ry;
  MoveTo({r.Left, cy});
  CurveTo({r.Left, cy - py}, {cx - px, r.Top}, {cx, r.Top});
  CurveTo({cx + px, r.Top}, {r.Right, cy - py}, {r.Right, cy});
  CurveTo({r.Right, cy + py}, {cx + px, r.Bottom}, {cx, r.Bottom});
  CurveTo({cx - px, r.Bottom}, {r.Left, cy + py}, {r.Left, cy});
}

void TPathData::AddRectangle(const TRectF& r, float xRadius, float yRadius) {
  xRadius = std::min(std::max(xRadius, 0.0f), r.Width() / 2);
  yRadius = std::min(std::max(yRadius, 0.0f), r.Height() / 2);
  if (xRadius <= 0 || yRadius <= 0) {
    MoveTo({r.Left, r.Top});
    LineTo({r.Right, r.Top});
    LineTo({r.Right, r.Bottom});
    LineTo({r.Left, r.Bottom});
    ClosePath();
    return;
  }
  const float kx = xRadius * CurveKappa, ky = yRadius * CurveKappa;
  MoveTo({r.Left + xRadius, r.Top});
  LineTo({r.Right - xRadius, r.Top});
  CurveTo({r.Right - xRadius + kx, r.Top}, {r.Right, r.Top + yRadius - ky}, {r.Right, r.Top + yRadius});
  LineTo({r.Right, r.Bottom - yRadius});
  CurveTo({r.Right, r.Bottom - yRadius + ky}, {r.Right - xRadius + kx, r.Bottom},
          {r.Right - xRadius, r.Bottom});
  LineTo({r.Left + xRadius, r.Bottom});
  CurveTo({r.Left + xRadius - kx, r.Bottom}, {r.Left, r.Bottom - yRadius + ky},
          {r.Left, r.Bottom - yRadius});
  LineTo({r.Left, r.Top + yRadius});
  CurveTo({r.Left, r.Top + yRadius - ky}, {r.Left + xRadius - kx, r.Top}, {r.Left + xRadius, r.Top});
  ClosePath();
}

void TPathData::AddArc(TPointF center, TPointF radius, float startAngle, float sweepAngle) {
  constexpr double kPi = 3.14159265358979323846;
  double start = double(startAngle) * kPi / 180.0;
  double sweep = double(sweepAngle) * kPi / 180.0;
  if (!std::isfinite(start) || !std::isfinite(sweep)) return;
  sweep = std::clamp(sweep, -2 * kPi, 2 * kPi);
  if (std::fabs(sweep) < 1e-10) return;
  const double rx = radius.X, ry = radius.Y, cx = center.X, cy = center.Y;
  auto at = [&](double a) { return TPointF(float(cx + rx * std::cos(a)), float(cy + ry * std::sin(a))); };

  const TPointF p0 = at(start);
  if (m_points.empty())
    MoveTo(p0);
  else
    LineTo(p0);

  // Split into pieces of at most 90 degrees; the last piece takes the rest.
  const int pieces = std::max(1, int(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9)));
  const double step = sweep / pieces;
  const double k = 4.0 / 3.0 * std::tan(step / 4.0);
  double a = start;
  for (int i = 0; i < pieces; ++i) {
    const double b = a + step;
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    const TPointF c1(float(cx + rx * (ca - k * sa)), float(cy + ry * (sa + k * ca)));
    const TPointF c2(float(cx + rx * (cb + k * sb)), float(cy + ry * (sb - k * cb)));
    CurveTo(c1, c2, at(b));
    a = b;
  }
}

TRectF TPathData::GetBounds() const {
  TBoundsBuilder b;
  for (const TPathPoint& p : m_points)
    if (p.Kind != ppClose) b.Add(p.Point);
  return b.Rect;
}

TRectF TPathData::GetBounds(const TMatrix& m) const {
  TBoundsBuilder b;
  for (const TPathPoint& p : m_points)
    if (p.Kind != ppClose) b.Add(m.Transform(p.Point));
  return b.Rect;
}

void TPathData::Scale(float sx, float sy) {
  for (TPathPoint& p : m_points) p.Point = {p.Point.X * sx, p.Point.Y * sy};
  m_startPoint = {m_startPoint.X * sx, m_startPoint.Y * sy};
}

void TPathData::Translate(float dx, float dy) {
  for (TPathPoint& p : m_points) p.Point = {p.Point.X + dx, p.Point.Y + dy};
  m_startPoint = {m_startPoint.X + dx, m_startPoint.Y + dy};
}

void TPathData::ApplyMatrix(const TMatrix& m) {
  for (TPathPoint& p : m_points) p.Point = m.Transform(p.Point);
  m_startPoint = m.Transform(m_startPoint);
}

void AppendFloatText(std::string& out, float v) {
  char buf[32];
  char* end = buf;
  // Whole and half numbers below 100000 (traced drawings are made of
  // them) written directly: the shortest text for them is the plain one,
  // and the general conversion costs several times as much.
  const float a = std::fabs(v), twice = a * 2;
  if (a < 100000 && twice == float(int(twice)) && !(v == 0 && std::signbit(v))) {
    const int whole = int(a);
    if (v < 0) *end++ = '-';
    end = std::to_chars(end, buf + sizeof buf, whole).ptr;
    if (int(twice) % 2 != 0) {
      *end++ = '.';
      *end++ = '5';
    }
  } else {
    end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  }
  out.append(buf, end);
}

std::string FloatToText(float v) {
  std::string text;
  AppendFloatText(text, v);
  return text;
}

std::string TPathData::Data() const {
  std::string out;
  out.reserve(m_points.size() * 16);
  auto pt = [&](TPointF p) {
    out += FloatToText(p.X);
    out += ',';
    out += FloatToText(p.Y);
  };
  for (size_t i = 0; i < m_points.size(); ++i) {
    const TPathPoint& p = m_points[i];
    if (!out.empty()) out += ' ';
    switch (p.Kind) {
      case ppMoveTo: out += "M "; pt(p.Point); break;
      case ppLineTo: out += "L "; pt(p.Point); break;
      case ppClose: out += 'Z'; break;
      case ppCurveTo:
        out += "C ";
        pt(p.Point);
        for (int k = 1; k <= 2 && i + 1 < m_points.size(); ++k) {
          ++i;
          out += ' ';
          pt(m_points[i].Point);
        }
        break;
    }
  }
  return out;
}

namespace {

// Scanner over the path text: consumes what it recognises.
struct PathScanner {
  const char* p;
  const char* end;

  void SkipSeparators() {
    while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
  }
  bool AtNumber() {
    SkipSeparators();
    return p < end && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '-' || *p == '+' || *p == '.');
  }
  bool Number(float& v) {
    SkipSeparators();
    if (p < end && *p == '+') ++p;
    auto res = std::from_chars(p, end, v);
    if (res.ec != std::errc()) return false;
    p = res.ptr;
    return true;
  }
  bool Point(TPointF& pt) { return Number(pt.X) && Number(pt.Y); }
};

}  // namespace

bool TPathData::SetData(const std::string& text) {
  Clear();
  PathScanner s{text.data(), text.data() + text.size()};
  char cmd = 0;
  for (;;) {
    s.SkipSeparators();
    if (s.p >= s.end) return true;
    if (std::isalpha(static_cast<unsigned char>(*s.p))) {
      cmd = *s.p++;
    } else if (cmd == 0 || cmd == 'Z' || cmd == 'z') {
      return false;  // numbers without a command
    }
    const bool rel = std::islower(static_cast<unsigned char>(cmd));
    TPointF a, b, c;
    float v;
    switch (std::toupper(static_cast<unsigned char>(cmd))) {
      case 'M':
        if (!s.Point(a)) return false;
        rel ? MoveToRel(a) : MoveTo(a);
        cmd = rel ? 'l' : 'L';  // further pairs are line segments
        break;
      case 'L':
        if (!s.Point(a)) return false;
        rel ? LineToRel(a) : LineTo(a);
        break;
      case 'H':
        if (!s.Number(v)) return false;
        rel ? HLineToRel(v) : HLineTo(v);
        break;
      case 'V':
        if (!s.Number(v)) return false;
        rel ? VLineToRel(v) : VLineTo(v);
        break;
      case 'C':
        if (!s.Point(a) || !s.Point(b) || !s.Point(c)) return false;
        rel ? CurveToRel(a, b, c) : CurveTo(a, b, c);
        break;
      case 'S':
        if (!s.Point(a) || !s.Point(b)) return false;
        rel ? SmoothCurveToRel(a, b) : SmoothCurveTo(a, b);
        break;
      case 'Q':
        if (!s.Point(a) || !s.Point(b)) return false;
        rel ? QuadCurveToRel(a, b) : QuadCurveTo(a, b);
        break;
      case 'Z':
        ClosePath();
        break;
      default:
        return false;
    }
    if ((cmd == 'Z' || cmd == 'z') && s.AtNumber()) return false;
  }
}

}  // namespace karto
