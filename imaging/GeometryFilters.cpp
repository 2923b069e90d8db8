// Geometry: the picture moved, turned, scaled, cut, mirrored, put in
// perspective or repeated. Outside the picture stays transparent.

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"

namespace karto {

namespace fx {
namespace {

inline bool Inside(float x, float y, const TBitmap& b) { return x >= 0 && y >= 0 && x <= b.Width() && y <= b.Height(); }

// Scale and rotation about the picture's middle, then an offset (as a share
// of the picture).
void AffineKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float w = float(in.Width()), h = float(in.Height()), cx = w / 2, cy = h / 2;
  const float scale = std::max(0.01f, p.Floats[0]), a = -p.Floats[1] * kPi / 180;
  const float ox = p.Floats[2] * w, oy = p.Floats[3] * h;
  const float cs = std::cos(a) / scale, sn = std::sin(a) / scale;
  WarpPixels(in, out, [&](float& x, float& y) {
    const float dx = x - cx - ox, dy = y - cy - oy;
    x = cx + dx * cs - dy * sn;
    y = cy + dx * sn + dy * cs;
    return Inside(x, y, in);
  });
}

// Keeps a rectangle (its edges as shares of the picture); the rest becomes
// transparent.
void CropKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const int w = in.Width(), h = in.Height();
  const int left = int(std::lround(p.Floats[0] * w)), top = int(std::lround(p.Floats[1] * h));
  const int right = int(std::lround((1 - p.Floats[2]) * w)), bottom = int(std::lround((1 - p.Floats[3]) * h));
  ForRows(out, 1, [&](int y, uint32_t* d) {
    const uint32_t* s = in.ScanLine(y);
    const bool row = y >= top && y < bottom;
    for (int x = 0; x < w; ++x) d[x] = row && x >= left && x < right ? s[x] : 0u;
  });
}

void FlipKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const bool horizontal = p.Floats[0] >= 0.5f, vertical = p.Floats[1] >= 0.5f;
  const int w = in.Width(), h = in.Height();
  ForRows(out, 1, [&](int y, uint32_t* d) {
    const uint32_t* s = in.ScanLine(vertical ? h - 1 - y : y);
    if (horizontal) std::reverse_copy(s, s + w, d);
    else std::copy(s, s + w, d);
  });
}

// The picture's corners moved to four points: each output pixel is traced
// back through the inverse of the projective map.
void PerspectiveKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float w = float(in.Width()), h = float(in.Height());
  const float x0 = p.Points[0].X * w, y0 = p.Points[0].Y * h, x1 = p.Points[1].X * w, y1 = p.Points[1].Y * h;
  const float x2 = p.Points[2].X * w, y2 = p.Points[2].Y * h, x3 = p.Points[3].X * w, y3 = p.Points[3].Y * h;
  // The map of the unit square onto the four corners (in the order
  // top-left, top-right, bottom-right, bottom-left).
  const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
  double a, b, c, d, e, f, g, hh;
  if (std::fabs(sx) < 1e-9 && std::fabs(sy) < 1e-9) {
    a = x1 - x0; b = x2 - x1; c = x0; d = y1 - y0; e = y2 - y1; f = y0; g = 0; hh = 0;
  } else {
    const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const double den = dx1 * dy2 - dx2 * dy1;
    if (std::fabs(den) < 1e-12) {
      out.Clear(0);
      return;
    }
    g = (sx * dy2 - dx2 * sy) / den;
    hh = (dx1 * sy - sx * dy1) / den;
    a = x1 - x0 + g * x1; b = x3 - x0 + hh * x3; c = x0;
    d = y1 - y0 + g * y1; e = y3 - y0 + hh * y3; f = y0;
  }
  // Forward: x = (a u + b v + c) / (g u + hh v + 1), likewise y. Its inverse
  // is the adjugate of the 3 x 3 matrix.
  const double A = e - f * hh, B = c * hh - b, C = b * f - c * e;
  const double D = f * g - d, E = a - c * g, F = c * d - a * f;
  const double G = d * hh - e * g, H = b * g - a * hh, I = a * e - b * d;
  WarpPixels(in, out, [&](float& x, float& y) {
    const double z = G * x + H * y + I;
    if (std::fabs(z) < 1e-12) return false;
    const double u = (A * x + B * y + C) / z, v = (D * x + E * y + F) / z;
    if (u < 0 || u > 1 || v < 0 || v > 1) return false;
    x = float(u * w);
    y = float(v * h);
    return true;
  });
}

// The picture scaled down and repeated across the whole picture.
void TileKernel(const TFilterParams& p, const TBitmap& in, const TBitmap&, TBitmap& out) {
  const float w = float(in.Width()), h = float(in.Height());
  const float scale = std::max(0.01f, p.Floats[0]), ox = p.Floats[1] * w, oy = p.Floats[2] * h;
  // Columns and rows move each on their own: laid out once per axis.
  const auto place = [&](float v, float offset, float size) {
    float u = (v - offset) / scale;
    u -= std::floor(u / size) * size;
    return u;
  };
  std::vector<float> xs(static_cast<size_t>(out.Width())), ys(static_cast<size_t>(out.Height()));
  for (size_t x = 0; x < xs.size(); ++x) xs[x] = place(float(x) + 0.5f, ox, w);
  for (size_t y = 0; y < ys.size(); ++y) ys[y] = place(float(y) + 0.5f, oy, h);
  WarpAlongAxes(in, out, xs, ys);
}

}  // namespace
}  // namespace fx

void RegisterGeometryFilters() {
  using namespace fx;
  const char* c = "Geometry";
  Add(c, "Affine", "Scales, turns and moves the picture.",
      {FloatValue("Scale", "Size; 1 keeps it", 0.05, 10, 0.8), FloatValue("Rotation", "Turn in degrees, clockwise", -180, 180, 15),
       FloatValue("OffsetX", "Move right as a share of the width", -1, 1, 0),
       FloatValue("OffsetY", "Move down as a share of the height", -1, 1, 0)},
      AffineKernel);
  Add(c, "Crop", "Keeps a rectangle of the picture; the rest turns transparent.",
      {FloatValue("Left", "Share cut from the left", 0, 1, 0.1), FloatValue("Top", "Share cut from the top", 0, 1, 0.1),
       FloatValue("Right", "Share cut from the right", 0, 1, 0.1), FloatValue("Bottom", "Share cut from the bottom", 0, 1, 0.1)},
      CropKernel);
  Add(c, "Flip", "Mirrors the picture.",
      {FloatValue("Horizontal", "1: left becomes right", 0, 1, 1), FloatValue("Vertical", "1: top becomes bottom", 0, 1, 0)},
      FlipKernel);
  Add(c, "Perspective", "Moves the picture's corners, as if seen at a slant.",
      {PointValue("TopLeft", "Where the top-left corner goes", {0.15f, 0.1f}),
       PointValue("TopRight", "Where the top-right corner goes", {0.85f, 0.1f}),
       PointValue("BottomRight", "Where the bottom-right corner goes", {1, 0.9f}),
       PointValue("BottomLeft", "Where the bottom-left corner goes", {0, 0.9f})},
      PerspectiveKernel);
  Add(c, "Tile", "Repeats the picture, scaled down, across the whole picture.",
      {FloatValue("Scale", "Size of one copy", 0.05, 1, 0.25), FloatValue("OffsetX", "Shift right as a share", -1, 1, 0),
       FloatValue("OffsetY", "Shift down as a share", -1, 1, 0)},
      TileKernel);
}

}  // namespace karto
