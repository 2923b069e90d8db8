// Composites: the Target picture laid over Input (stretched to its size)
// with a blend mode and an opacity, composited as the W3C's compositing
// rules say: where the backdrop is transparent the source shows as it is,
// and alpha combines as "source over".

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "platform/Parallel.h"

namespace karto {

namespace fx {
namespace {

enum class TMode {
  Normal, Multiply, Screen, Overlay, Darken, Lighten, Difference, Exclusion, ColorDodge, ColorBurn, SoftLight,
  HardLight, Additive
};

// One channel, backdrop cb and source cs on 0..1.
template <TMode M>
inline float Blend(float cb, float cs) {
  switch (M) {
    case TMode::Normal: return cs;
    case TMode::Multiply: return cb * cs;
    case TMode::Screen: return cb + cs - cb * cs;
    case TMode::Overlay: return cb <= 0.5f ? 2 * cb * cs : 1 - 2 * (1 - cb) * (1 - cs);
    case TMode::Darken: return std::min(cb, cs);
    case TMode::Lighten: return std::max(cb, cs);
    case TMode::Difference: return std::fabs(cb - cs);
    case TMode::Exclusion: return cb + cs - 2 * cb * cs;
    case TMode::ColorDodge: return cb <= 0 ? 0 : (cs >= 1 ? 1 : std::min(1.0f, cb / (1 - cs)));
    case TMode::ColorBurn: return cb >= 1 ? 1 : (cs <= 0 ? 0 : 1 - std::min(1.0f, (1 - cb) / cs));
    case TMode::HardLight: return cs <= 0.5f ? 2 * cb * cs : 1 - 2 * (1 - cb) * (1 - cs);
    case TMode::SoftLight: {
      if (cs <= 0.5f) return cb - (1 - 2 * cs) * cb * (1 - cb);
      const float d = cb <= 0.25f ? ((16 * cb - 12) * cb + 4) * cb : std::sqrt(cb);
      return cb + (2 * cs - 1) * (d - cb);
    }
    case TMode::Additive: return std::min(1.0f, cb + cs);
  }
  return cs;
}

// A row of the source laid over the backdrop, in plain steps without
// branches (each mode's cases as selects), which the compiler puts in
// vector lanes (eight with AVX2).
template <TMode M>
KARTO_WIDE_CLONES void CompositeRow(const uint32_t* b, const uint32_t* s, uint32_t* d, int w, float opacity) {
  constexpr float k = 1.0f / 255;
  const auto byte = [](float v) { return uint32_t(std::clamp(v, 0.0f, 255.0f) + 0.5f); };
  for (int x = 0; x < w; ++x) {
    const uint32_t cb = b[x], cs = s[x];
    const float ab = float(A(cb)) * k, as = float(A(cs)) * k * opacity;
    const float ao = as + ab * (1 - as);
    const float over = ao > 0 ? ao : 1;  // (where nothing is laid on, the backdrop stays)
    uint32_t v = byte(ao * 255) << 24;
    for (int i = 0; i < 3; ++i) {
      const int sh = 16 - 8 * i;
      const float vb = float((cb >> sh) & 0xFF) * k, vs = float((cs >> sh) & 0xFF) * k;
      const float mixed = (1 - ab) * vs + ab * Blend<M>(vb, vs);
      v |= byte((as * mixed + (1 - as) * ab * vb) / over * 255) << sh;
    }
    d[x] = as <= 0 ? cb : v;
  }
}

template <TMode M>
void CompositeKernel(const TFilterParams& p, const TBitmap& in, const TBitmap& target, TBitmap& out) {
  const TBitmap src = TargetAtSizeOf(target, in);
  const float opacity = std::clamp(p.Floats[0], 0.0f, 1.0f);
  const int w = in.Width();
  ForRows(out, 30, [&](int y, uint32_t* d) { CompositeRow<M>(in.ScanLine(y), src.ScanLine(y), d, w, opacity); });
}

std::vector<TShaderValueRec> Opacity() {
  return {FloatValue("Opacity", "How strongly the Target picture is laid on", 0, 1, 1)};
}

}  // namespace
}  // namespace fx

void RegisterCompositeFilters() {
  using namespace fx;
  const char* c = "Composite";
  Add(c, "Normal", "Lays the Target picture over the picture.", Opacity(), CompositeKernel<TMode::Normal>);
  Add(c, "Multiply", "Darkens by multiplying the two pictures' colours.", Opacity(), CompositeKernel<TMode::Multiply>);
  Add(c, "Screen", "Lightens: the inverse of multiplying the inverses.", Opacity(), CompositeKernel<TMode::Screen>);
  Add(c, "Overlay", "Multiplies the dark and screens the light parts of the picture.", Opacity(),
      CompositeKernel<TMode::Overlay>);
  Add(c, "Darken", "Keeps the darker of the two colours.", Opacity(), CompositeKernel<TMode::Darken>);
  Add(c, "Lighten", "Keeps the lighter of the two colours.", Opacity(), CompositeKernel<TMode::Lighten>);
  Add(c, "Difference", "The difference of the two colours.", Opacity(), CompositeKernel<TMode::Difference>);
  Add(c, "Exclusion", "Like difference, with less contrast.", Opacity(), CompositeKernel<TMode::Exclusion>);
  Add(c, "ColorDodge", "Brightens the picture to reflect the Target picture.", Opacity(),
      CompositeKernel<TMode::ColorDodge>);
  Add(c, "ColorBurn", "Darkens the picture to reflect the Target picture.", Opacity(), CompositeKernel<TMode::ColorBurn>);
  Add(c, "SoftLight", "Darkens or lightens softly, like a diffused spotlight.", Opacity(),
      CompositeKernel<TMode::SoftLight>);
  Add(c, "HardLight", "Multiplies or screens by the Target picture's lightness.", Opacity(),
      CompositeKernel<TMode::HardLight>);
  Add(c, "Additive", "Adds the two pictures' light.", Opacity(), CompositeKernel<TMode::Additive>);
}

}  // namespace karto
