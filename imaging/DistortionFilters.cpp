// Distortions: each output pixel reads the picture somewhere else (bilinear,
// clamped at the edges). Centres are fractions of the picture, radii
// fractions of its smaller side.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"

namespace karto {

namespace fx {
namespace {

struct TFrame {
  float cx, cy, radius;
};
TFrame Frame(const TBitmap& in, TPointF centre, float radius) {
  return {centre.X * in.Width(), centre.Y * in.Height(), std::max(1.0f, radius * std::min(in.Width(), in.Height()))};
}

void SwirlKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const TFrame f = Frame(in, p.Points[0], p.Floats[1]);
  const float angle = p.Floats[2] * kPi / 180;
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - f.cx, dy = y - f.cy, r = Hypot(dx, dy);
    if (r >= f.radius) return true;
    const float t = 1 - r / f.radius, a = angle * t * t, c = FastCos(a), s = FastSin(a);
    x = f.cx + dx * c - dy * s;
    y = f.cy + dx * s + dy * c;
    return true;
  }, true);
}

// Positive strength pinches the middle in, negative bulges it out.
void PinchKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const TFrame f = Frame(in, p.Points[0], p.Floats[1]);
  const float strength = p.Floats[2];
  // The factor depends on the distance alone: a table over it.
  constexpr int kSteps = 4096;
  std::vector<float> table(kSteps + 1);
  for (int i = 0; i <= kSteps; ++i)
    table[size_t(i)] = std::pow(std::max(1e-6f, std::sin(kPi / 2 * float(i) / kSteps)), -strength);
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - f.cx, dy = y - f.cy, r = Hypot(dx, dy);
    if (r >= f.radius || r <= 0) return true;
    const float k = table[size_t(std::min(float(kSteps), r / f.radius * kSteps + 0.5f))];
    x = f.cx + dx * k;
    y = f.cy + dy * k;
    return true;
  });
}

// Rings spreading from a point, like a stone dropped in water.
void RippleKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const TFrame f = Frame(in, p.Points[0], 1);
  const float amplitude = p.Floats[1], wavelength = std::max(1.0f, p.Floats[2]), phase = p.Floats[3] * kPi / 180;
  const TRadialTable shiftAt(Hypot(float(in.Width()), float(in.Height())),
                             [&](float r) { return amplitude * std::sin(2 * kPi * r / wavelength + phase); });
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - f.cx, dy = y - f.cy, r = Hypot(dx, dy);
    if (r <= 0) return true;
    const float shift = shiftAt(r);
    x += dx / r * shift;
    y += dy / r * shift;
    return true;
  });
}

void WaveKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float ax = p.Floats[0], ay = p.Floats[1], wavelength = std::max(1.0f, p.Floats[2]);
  const float k = 2 * kPi / wavelength;
  // The sideways shift depends on the row only, the vertical one on the
  // column only: two tables instead of two sines a pixel.
  std::vector<float> byRow(static_cast<size_t>(in.Height())), byColumn(static_cast<size_t>(in.Width()));
  for (size_t y = 0; y < byRow.size(); ++y) byRow[y] = ax * std::sin((float(y) + 0.5f) * k);
  for (size_t x = 0; x < byColumn.size(); ++x) byColumn[x] = ay * std::sin((float(x) + 0.5f) * k);
  WarpPixels(in, out, [&](float& x, float& y) {
    const float ox = byRow[size_t(y)], oy = byColumn[size_t(x)];
    x += ox;
    y += oy;
    return true;
  });
}

// A round lens over a point, with a soft rim.
void MagnifyKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const TFrame f = Frame(in, p.Points[0], p.Floats[1]);
  const float mag = std::max(0.1f, p.Floats[2]);
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - f.cx, dy = y - f.cy, r = Hypot(dx, dy);
    if (r >= f.radius) return true;
    // Full magnification inside 90 % of the radius, easing to none at the rim.
    const float t = Smoothstep(0.9f * f.radius, f.radius, r);
    const float k = (1 / mag) * (1 - t) + t;
    x = f.cx + dx * k;
    y = f.cy + dy * k;
    return true;
  });
}

// The picture wrapped round a point: x becomes the angle, y the distance.
void PolarKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float w = float(in.Width()), h = float(in.Height());
  const float cx = p.Points[0].X * w, cy = p.Points[0].Y * h;
  const float maxR = Hypot(std::max(cx, w - cx), std::max(cy, h - cy));
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - cx, dy = y - cy;
    const float a = FastAtan2(dy, dx);  // -pi .. pi
    const float r = Hypot(dx, dy);
    x = (a + kPi) / (2 * kPi) * w;
    y = r / maxR * h;
    return true;
  }, true);
}

// The picture on a ball: a lens of the given radius refracts what lies under it.
void SpherizeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const TFrame f = Frame(in, p.Points[0], p.Floats[1]);
  const float strength = std::clamp(p.Floats[2], -1.0f, 1.0f);
  constexpr int kSteps = 4096;
  std::vector<float> asinTable(kSteps + 1);
  for (int i = 0; i <= kSteps; ++i) asinTable[size_t(i)] = std::asin(float(i) / kSteps) / (kPi / 2);
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = (x - f.cx) / f.radius, dy = (y - f.cy) / f.radius, r = Hypot(dx, dy);
    if (r >= 1 || r <= 0) return true;
    // On a sphere the distance from the middle grows like asin.
    const float sphere = asinTable[size_t(r * kSteps + 0.5f)];
    const float k = (1 - strength) + strength * sphere / r;
    x = f.cx + dx * f.radius * k;
    y = f.cy + dy * f.radius * k;
    return true;
  });
}

}  // namespace
}  // namespace fx

void RegisterDistortionFilters() {
  using namespace fx;
  const char* c = "Distortion";
  const TPointF middle{0.5f, 0.5f};
  Add(c, "Swirl", "Twists the picture about a point, most at the middle.",
      {PointValue("Center", "Middle of the swirl", middle),
       FloatValue("Radius", "Reach as a share of the picture", 0.01, 1, 0.4),
       FloatValue("Angle", "Twist at the middle in degrees", -720, 720, 180)},
      SwirlKernel);
  Add(c, "Pinch", "Pinches the picture towards a point (or bulges it out).",
      {PointValue("Center", "Middle of the pinch", middle),
       FloatValue("Radius", "Reach as a share of the picture", 0.01, 1, 0.4),
       FloatValue("Strength", "Positive pinches, negative bulges", -1, 1, 0.5)},
      PinchKernel);
  Add(c, "Ripple", "Rings spreading from a point, like a stone dropped in water.",
      {PointValue("Center", "Where the stone fell", middle),
       FloatValue("Amplitude", "Height of the rings in pixels", 0, 50, 6),
       FloatValue("Wavelength", "Distance between rings in pixels", 2, 200, 30),
       FloatValue("Phase", "Where the rings stand, in degrees", 0, 360, 0)},
      RippleKernel);
  Add(c, "Wave", "Bends rows and columns into waves.",
      {FloatValue("AmplitudeX", "Sideways swing in pixels", 0, 50, 8),
       FloatValue("AmplitudeY", "Up-and-down swing in pixels", 0, 50, 8),
       FloatValue("Wavelength", "Length of a wave in pixels", 2, 400, 60)},
      WaveKernel);
  Add(c, "Magnify", "A round magnifying glass over a point.",
      {PointValue("Center", "Where the glass is", middle),
       FloatValue("Radius", "Size of the glass as a share of the picture", 0.01, 1, 0.25),
       FloatValue("Magnification", "How much larger it shows things", 0.1, 10, 2)},
      MagnifyKernel);
  Add(c, "Polar", "Wraps the picture round a point: across becomes round, down becomes outwards.",
      {PointValue("Center", "The point it wraps round", middle)}, PolarKernel);
  Add(c, "Spherize", "Wraps the picture onto a ball.",
      {PointValue("Center", "Middle of the ball", middle),
       FloatValue("Radius", "Size of the ball as a share of the picture", 0.01, 1, 0.45),
       FloatValue("Strength", "Negative pushes in instead", -1, 1, 1)},
      SpherizeKernel);
}

}  // namespace karto
