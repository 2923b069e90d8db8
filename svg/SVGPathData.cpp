#include "svg/SVGPathData.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "svg/SVGCommon.h"
#include "svg/SVGParse.h"

namespace karto {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsFinitePoint(TPointF p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

// The number of parameters one group of a command takes; -1 for a letter
// that is no command.
int ParameterCount(char command) {
  switch (command) {
    case 'M': case 'm': case 'L': case 'l': case 'T': case 't': return 2;
    case 'H': case 'h': case 'V': case 'v': return 1;
    case 'C': case 'c': return 6;
    case 'S': case 's': case 'Q': case 'q': return 4;
    case 'A': case 'a': return 7;
    case 'Z': case 'z': return 0;
    default: return -1;
  }
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A sign or point followed by a digit, or a digit: text that ReadNumber
// refuses only when the value is out of range.
bool StartsLikeNumber(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  if (i < s.size() && s[i] == '.') ++i;
  return i < s.size() && IsDigitChar(s[i]);
}

// One pass over the text. The state SVG needs beyond what TPathData keeps:
// the current point and subpath start, whether the subpath was just closed,
// and the control points that S/s and T/t may reflect.
class PathDataParser {
 public:
  PathDataParser(std::string_view d, TPathData& path, TPathDataError* error)
      : m_text(d), m_s(d), m_path(path), m_error(error) {}

  bool Run() {
    SkipSvgSpaces(m_s);
    if (m_s.empty()) return true;
    if (m_s.front() != 'M' && m_s.front() != 'm') return Fail("\"M\" or \"m\" expected");
    char written = 0;  // the command letter as it stands in the text
    char command = 0;  // the command the next parameter group is for
    for (;;) {
      SkipSvgSpaces(m_s);
      if (m_s.empty()) return true;
      const char c = m_s.front();
      if (IsAsciiLetter(c)) {
        if (ParameterCount(c) < 0) return Fail(std::string("unknown command \"") + c + '"');
        m_s.remove_prefix(1);
        written = command = c;
        if (c == 'Z' || c == 'z') {
          Close();
          continue;
        }
        SkipSvgSpaces(m_s);
      } else {
        // Another parameter group of the same command, after at most one comma.
        if (command == 'Z' || command == 'z')
          return Fail(std::string("command expected after \"") + written + '"');
        if (SkipChar(m_s, ','))
          SkipSvgSpaces(m_s);
        else if (!IsDigitChar(c) && c != '.' && c != '+' && c != '-')
          return Fail(Unexpected(c));
      }
      if (!Segment(command, written)) return false;
      // Further pairs after a moveto are lineto pairs.
      if (command == 'M') command = 'L';
      if (command == 'm') command = 'l';
    }
  }

 private:
  static std::string Unexpected(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 32 && u < 127) return std::string("unexpected \"") + c + '"';
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("unexpected byte 0x") + kHex[u >> 4] + kHex[u & 15];
  }

  size_t Offset() const { return size_t(m_s.data() - m_text.data()); }

  bool Fail(const std::string& what) {
    if (m_error) {
      m_error->Present = true;
      m_error->Offset = Offset();
      m_error->Message = "Path data: " + what + " at offset " + std::to_string(m_error->Offset) + ".";
    }
    return false;
  }

  bool FailAfter(const char* what, char written) {
    return Fail(std::string(what) + " after \"" + written + '"');
  }

  // The parameters of one group; arc flags are single characters.
  bool ReadParameters(char command, char written, float* v) {
    const int count = ParameterCount(command);
    const bool arc = command == 'A' || command == 'a';
    for (int i = 0; i < count; ++i) {
      if (i > 0) SkipCommaWsp(m_s);
      if (arc && (i == 3 || i == 4)) {
        if (m_s.empty() || (m_s.front() != '0' && m_s.front() != '1'))
          return FailAfter("flag 0 or 1 expected", written);
        v[i] = float(m_s.front() - '0');
        m_s.remove_prefix(1);
      } else if (!ReadNumber(m_s, v[i])) {
        return FailAfter(StartsLikeNumber(m_s) ? "number out of range" : "number expected", written);
      }
    }
    return true;
  }

  // Drawing after Z/z starts a new subpath at the closed one's start.
  void BeginDrawing() {
    if (!m_closed) return;
    m_path.MoveTo(m_current);
    m_closed = false;
  }

  void Close() {
    m_cubicBefore = m_quadBefore = false;
    if (m_closed) return;
    m_path.ClosePath();
    m_current = m_start;
    m_closed = true;
  }

  bool Segment(char command, char written) {
    float v[7];
    if (!ReadParameters(command, written, v)) return false;
    const bool relative = command >= 'a';
    const TPointF base = relative ? m_current : TPointF();
    auto at = [&](int i) { return base + TPointF(v[i], v[i + 1]); };
    const bool cubicBefore = m_cubicBefore, quadBefore = m_quadBefore;
    m_cubicBefore = m_quadBefore = false;
    if (command != 'M' && command != 'm') BeginDrawing();
    TPointF end;
    switch (command) {
      case 'M': case 'm':
        end = at(0);
        m_path.MoveTo(end);
        m_start = end;
        m_closed = false;
        break;
      case 'L': case 'l':
        end = at(0);
        m_path.LineTo(end);
        break;
      case 'H': case 'h':
        end = {relative ? m_current.X + v[0] : v[0], m_current.Y};
        m_path.LineTo(end);
        break;
      case 'V': case 'v':
        end = {m_current.X, relative ? m_current.Y + v[0] : v[0]};
        m_path.LineTo(end);
        break;
      case 'C': case 'c':
      case 'S': case 's': {
        const bool smooth = command == 'S' || command == 's';
        const int k = smooth ? -2 : 0;  // S has no first control point in the text
        const TPointF c1 = !smooth ? at(0) : cubicBefore ? m_current * 2.0f - m_lastControl : m_current;
        const TPointF c2 = at(k + 2);
        end = at(k + 4);
        m_path.CurveTo(c1, c2, end);
        m_lastControl = c2;
        m_cubicBefore = true;
        break;
      }
      case 'Q': case 'q':
      case 'T': case 't': {
        const bool smooth = command == 'T' || command == 't';
        const TPointF c = !smooth ? at(0) : quadBefore ? m_current * 2.0f - m_lastControl : m_current;
        end = at(smooth ? 0 : 2);
        m_path.QuadCurveTo(c, end);
        m_lastControl = c;
        m_quadBefore = true;
        break;
      }
      case 'A': case 'a':
        end = at(5);
        AddSVGArc(m_path, m_current, v[0], v[1], v[2], v[3] != 0, v[4] != 0, end);
        break;
    }
    m_current = end;
    return true;
  }

  const std::string_view m_text;
  std::string_view m_s;  // what is left to read
  TPathData& m_path;
  TPathDataError* const m_error;
  TPointF m_current;      // (0, 0) at first, so a leading "m" is absolute
  TPointF m_start;        // start of the current subpath
  TPointF m_lastControl;  // second cubic or quadratic control point of the last segment
  bool m_closed = false;  // the last command was Z/z
  bool m_cubicBefore = false;
  bool m_quadBefore = false;
};

}  // namespace

bool ParseSVGPathData(std::string_view d, TPathData& path, TPathDataError* error) {
  if (error) *error = TPathDataError();
  return PathDataParser(d, path, error).Run();
}

void AddSVGArc(TPathData& path, TPointF from, float rx, float ry, float xAxisRotationDegrees, bool largeArc,
               bool sweep, TPointF to) {
  if (from == to) return;
  if (!IsFinitePoint(from) || !IsFinitePoint(to) || !std::isfinite(rx) || !std::isfinite(ry) ||
      !std::isfinite(xAxisRotationDegrees)) {
    path.LineTo(to);
    return;
  }
  double rX = std::fabs(double(rx)), rY = std::fabs(double(ry));
  if (rX == 0 || rY == 0) {
    path.LineTo(to);
    return;
  }
  // Endpoint to centre parameterisation: work in the frame of the ellipse
  // axes, with the origin midway between the end points.
  const double phi = std::fmod(double(xAxisRotationDegrees), 360.0) * kPi / 180;
  const double cosPhi = std::cos(phi), sinPhi = std::sin(phi);
  const double x1 = from.X, y1 = from.Y, x2 = to.X, y2 = to.Y;
  const double hx = (x1 - x2) / 2, hy = (y1 - y2) / 2;
  const double x1p = cosPhi * hx + sinPhi * hy;
  const double y1p = -sinPhi * hx + cosPhi * hy;
  // Radii too small to span the end points grow just enough; the centre is
  // then the midpoint.
  const double lambda = (x1p * x1p) / (rX * rX) + (y1p * y1p) / (rY * rY);
  if (lambda > 1) {
    const double grow = std::sqrt(lambda);
    rX *= grow;
    rY *= grow;
  }
  const double rx2 = rX * rX, ry2 = rY * rY, x1p2 = x1p * x1p, y1p2 = y1p * y1p;
  const double numerator = rx2 * ry2 - rx2 * y1p2 - ry2 * x1p2;
  const double denominator = rx2 * y1p2 + ry2 * x1p2;
  double coef = numerator > 0 && denominator > 0 ? std::sqrt(numerator / denominator) : 0;
  if (largeArc == sweep) coef = -coef;
  const double cxp = coef * rX * y1p / rY;
  const double cyp = -coef * rY * x1p / rX;
  const double cx = cosPhi * cxp - sinPhi * cyp + (x1 + x2) / 2;
  const double cy = sinPhi * cxp + cosPhi * cyp + (y1 + y2) / 2;
  // Start angle and sweep on the unit circle the ellipse comes from.
  const double ux = (x1p - cxp) / rX, uy = (y1p - cyp) / rY;
  const double vx = (-x1p - cxp) / rX, vy = (-y1p - cyp) / rY;
  const double theta1 = std::atan2(uy, ux);
  double delta = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
  if (!sweep && delta > 0) delta -= 2 * kPi;
  if (sweep && delta < 0) delta += 2 * kPi;

  // Cubic pieces of at most 90 degrees each.
  const int pieces = std::max(1, int(std::ceil(std::fabs(delta) / (kPi / 2) - 1e-6)));
  const double step = delta / pieces;
  const double k = 4.0 / 3.0 * std::tan(step / 4);
  auto point = [&](double t) {
    const double ex = rX * std::cos(t), ey = rY * std::sin(t);
    return std::pair<double, double>(cx + cosPhi * ex - sinPhi * ey, cy + sinPhi * ex + cosPhi * ey);
  };
  auto tangent = [&](double t) {
    const double ex = -rX * std::sin(t), ey = rY * std::cos(t);
    return std::pair<double, double>(cosPhi * ex - sinPhi * ey, sinPhi * ex + cosPhi * ey);
  };
  double a = theta1;
  for (int i = 0; i < pieces; ++i) {
    const double b = i + 1 == pieces ? theta1 + delta : a + step;
    const auto pa = point(a), ta = tangent(a), pb = point(b), tb = tangent(b);
    const TPointF c1(float(pa.first + k * ta.first), float(pa.second + k * ta.second));
    const TPointF c2(float(pb.first - k * tb.first), float(pb.second - k * tb.second));
    const TPointF end = i + 1 == pieces ? to : TPointF(float(pb.first), float(pb.second));
    path.CurveTo(c1, c2, end);
    a = b;
  }
}

}  // namespace karto
