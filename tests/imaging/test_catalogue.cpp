// The effect catalogue as a whole: what it offers, and properties every
// filter (or every filter of a kind) must have, on small pictures.

#include <gtest/gtest.h>

#include <set>

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "platform/Filters.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

const bool kRegistered = (RegisterCatalogue(), true);

std::vector<std::pair<std::string, std::string>> AllFilters() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& cat : FilterManager::Categories())
    for (const std::string& name : FilterManager::FiltersOfCategory(cat)) out.emplace_back(cat, name);
  return out;
}

TBitmap Apply(const std::string& name, const TBitmap& in, const TBitmap& target = {},
            std::initializer_list<std::pair<const char*, float>> floats = {}) {
  std::unique_ptr<TFilter> f = FilterManager::CreateFilter(name);
  EXPECT_NE(f, nullptr) << name;
  if (!f) return {};
  for (const auto& [p, v] : floats) EXPECT_TRUE(f->SetFloat(p, v)) << name << " " << p;
  f->SetInput(in);
  f->SetTarget(target);
  return f->Output();
}

// name on in about centre (fractions of the picture), one number set.
TBitmap ApplyAbout(const std::string& name, const TBitmap& in, TPointF centre, const char* param, float value) {
  std::unique_ptr<TFilter> f = FilterManager::CreateFilter(name);
  EXPECT_NE(f, nullptr) << name;
  if (!f) return {};
  EXPECT_TRUE(f->SetPoint("Center", centre)) << name;
  EXPECT_TRUE(f->SetFloat(param, value)) << name << " " << param;
  f->SetInput(in);
  return f->Output();
}

int MaxDifference(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      for (int s : {0, 8, 16, 24})
        worst = std::max(worst, std::abs(int((a.Pixel(x, y) >> s) & 0xFF) - int((b.Pixel(x, y) >> s) & 0xFF)));
  return worst;
}

TEST(Catalogue, OffersTenCategoriesOfDescribedFilters) {
  const auto all = AllFilters();
  EXPECT_GE(all.size(), 60u);
  std::set<std::string> names;
  for (const std::string& cat : FilterManager::Categories())
    EXPECT_GE(FilterManager::FiltersOfCategory(cat).size(), 3u) << cat;
  for (const auto& [cat, name] : all) {
    EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
    TFilterRec rec;
    ASSERT_TRUE(FilterManager::FilterRecByName(name, rec));
    EXPECT_FALSE(rec.Desc.empty()) << name;
    for (const TShaderValueRec& v : rec.Values) {
      EXPECT_FALSE(v.Desc.empty()) << name << "." << v.Name;
      if (v.ValueType == TShaderValueType::vtFloat) {
        EXPECT_LE(v.Min, v.Default) << name << "." << v.Name;
        EXPECT_LE(v.Default, v.Max) << name << "." << v.Name;
      }
    }
    if (cat == "Transition") {
      ASSERT_FALSE(rec.Values.empty());
      EXPECT_EQ(rec.Values[0].Name, "Progress") << name;
      EXPECT_EQ(rec.Values[0].Max, 100) << name;
    }
  }
}

TEST(Catalogue, EveryFilterCopesWithAnyPictureSize) {
  // Tiny pictures, a picture with transparency, and a Target of another
  // size: the result always has the size of Input.
  const TBitmap photo = synthetic::PhotoLike(37, 23, 5);
  TBitmap translucent = photo;
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) translucent.SetPixel(x, y, (photo.Pixel(x, y) & 0x00FFFFFFu) | uint32_t(x * 7) << 24);
  TBitmap one(1, 1), strip(5, 1);
  one.Clear(0xFF808080u);
  strip.Clear(0x80FF0000u);
  const TBitmap other = synthetic::PhotoLike(11, 40, 6);
  for (const auto& [cat, name] : AllFilters())
    for (const TBitmap* in : std::initializer_list<const TBitmap*>{&photo, &translucent, &one, &strip}) {
      const TBitmap out = Apply(name, *in, other);
      EXPECT_EQ(out.Width(), in->Width()) << name;
      EXPECT_EQ(out.Height(), in->Height()) << name;
    }
}

TEST(Catalogue, TransitionsRunFromInputToTarget) {
  const TBitmap a = synthetic::PhotoLike(48, 32, 1), b = synthetic::PhotoLike(48, 32, 2);
  for (const std::string& name : FilterManager::FiltersOfCategory("Transition")) {
    EXPECT_LE(MaxDifference(Apply(name, a, b, {{"Progress", 0}}), a), 2) << name << " at 0";
    EXPECT_LE(MaxDifference(Apply(name, a, b, {{"Progress", 100}}), b), 2) << name << " at 100";
  }
}

// Filters that move pixels work out their places, and read them, eight at
// a time where the processor can: the same pixels as one at a time, on
// pictures whose rows end part way through a run of eight and a tile. (A
// transition at 37, every other filter at its defaults.)
TEST(Catalogue, EveryFilterGivesTheSamePixelsOnEitherRoad) {
  const TBitmap a = synthetic::PhotoLike(131, 77, 3), b = synthetic::PhotoLike(131, 77, 4);
  for (const auto& [cat, name] : AllFilters()) {
    const bool transition = cat == "Transition";
    const TBitmap wide = transition ? Apply(name, a, b, {{"Progress", 37}}) : Apply(name, a, b);
    fx::AllowWideLanes(false);
    const TBitmap plain = transition ? Apply(name, a, b, {{"Progress", 37}}) : Apply(name, a, b);
    fx::AllowWideLanes(true);
    EXPECT_EQ(MaxDifference(wide, plain), 0) << name;
  }
}

// The soft transitions mix a row at a time: each pixel as mixing it alone
// gives, at weights before, at and past either end and between (a half
// that rounds), on an opaque row (in vector lanes) and on one with a
// single translucent pixel.
TEST(Catalogue, ARowMixesAsEachPixelWould) {
  const float weights[] = {-0.5f, 0, 0.3f, 0.5f, 0.999f, 1, 1.7f};
  const int n = 37;  // not a whole number of lanes
  std::vector<uint32_t> a(n), b(n), row(n);
  std::vector<float> t(n);
  for (int x = 0; x < n; ++x) {
    a[size_t(x)] = 0xFF000000u | fx::Hash(uint32_t(x), 1) >> 8;
    b[size_t(x)] = 0xFF000000u | fx::Hash(uint32_t(x), 2) >> 8;
    t[size_t(x)] = weights[x % 7];
  }
  for (const bool translucent : {false, true}) {
    if (translucent) a[20] = 0x40123456u;
    fx::MixRow(a.data(), b.data(), t.data(), row.data(), n);
    for (int x = 0; x < n; ++x)
      EXPECT_EQ(row[size_t(x)], fx::Mix(a[size_t(x)], b[size_t(x)], t[size_t(x)])) << x << (translucent ? " translucent" : "");
  }
}

TEST(Catalogue, ColourFiltersKeepAlphaAndNeutralSettingsKeepThePicture) {
  TBitmap in = synthetic::PhotoLike(30, 20, 3);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) in.SetPixel(x, y, (in.Pixel(x, y) & 0x00FFFFFFu) | uint32_t(40 + x * 7) << 24);
  for (const char* cat : {"Color", "Color Adjust"})
    for (const std::string& name : FilterManager::FiltersOfCategory(cat)) {
      const TBitmap out = Apply(name, in);
      if (name == "ColorKey") continue;  // takes alpha away by design
      for (int x = 0; x < 30; ++x) EXPECT_EQ(out.Pixel(x, 5) >> 24, in.Pixel(x, 5) >> 24) << name;
    }
  struct Case {
    const char* name;
    std::initializer_list<std::pair<const char*, float>> neutral;
  };
  const Case neutral[] = {{"Brightness", {{"Brightness", 0}}}, {"Gamma", {{"Gamma", 1}}},
                          {"Saturation", {{"Amount", 1}}},    {"Hue", {{"Angle", 0}}},
                          {"Exposure", {{"Stops", 0}}},       {"Vibrance", {{"Amount", 0}}},
                          {"Sepia", {{"Amount", 0}}},         {"Tint", {{"Amount", 0}}},
                          {"GaussianBlur", {{"Sigma", 0}}},   {"Affine", {{"Scale", 1}, {"Rotation", 0}}},
                          {"Swirl", {{"Angle", 0}}},          {"Pinch", {{"Strength", 0}}},
                          {"Ripple", {{"Amplitude", 0}}},     {"MotionBlur", {{"Distance", 0}}}};
  const TBitmap opaque = synthetic::PhotoLike(30, 20, 4);
  for (const Case& c : neutral) EXPECT_LE(MaxDifference(Apply(c.name, opaque, {}, c.neutral), opaque), 2) << c.name;
}

TEST(Catalogue, CompositesFollowTheirBlendFormulas) {
  const TBitmap in = synthetic::PhotoLike(20, 10, 7);
  TBitmap white(20, 10), half(20, 10);
  white.Clear(0xFFFFFFFFu);
  half.Clear(0xFF808080u);
  EXPECT_LE(MaxDifference(Apply("Multiply", in, white), in), 1) << "white multiplies to the picture";
  EXPECT_LE(MaxDifference(Apply("Normal", in, half), half), 0) << "an opaque layer covers";
  EXPECT_LE(MaxDifference(Apply("Normal", in, half, {{"Opacity", 0}}), in), 0);
  const TBitmap screen = Apply("Screen", in, white);
  EXPECT_EQ(screen.Pixel(3, 3) & 0x00FFFFFFu, 0x00FFFFFFu);
  const TBitmap diff = Apply("Difference", in, in);
  EXPECT_EQ(diff.Pixel(5, 5) & 0x00FFFFFFu, 0u);
  // A transparent Target leaves the picture as it is.
  TBitmap clear(20, 10);
  clear.Clear(0);
  EXPECT_LE(MaxDifference(Apply("Overlay", in, clear), in), 0);
}

TEST(Catalogue, BlursSpreadNoHiddenColourFromTransparentPixels) {
  // Opaque red beside fully transparent pixels whose hidden colour is
  // green: blurred, the edge grows transparent but never turns green.
  TBitmap in(40, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x) in.SetPixel(x, y, x < 20 ? 0xFFFF0000u : 0x0000FF00u);
  for (const char* name : {"GaussianBlur", "BoxBlur", "MotionBlur"}) {
    const TBitmap out = Apply(name, in);
    for (int x = 15; x < 25; ++x) {
      const uint32_t c = out.Pixel(x, 5);
      if ((c >> 24) > 8) {
        EXPECT_LE(int((c >> 8) & 0xFF), 8) << name << " x " << x;
      }
    }
  }
  // Sampling at the edges repeats the border rather than reading black.
  TBitmap grey(16, 16);
  grey.Clear(0xFF808080u);
  EXPECT_LE(MaxDifference(Apply("GaussianBlur", grey, {}, {{"Sigma", 6}}), grey), 1);
  EXPECT_LE(MaxDifference(Apply("Wave", grey), grey), 1);
}

TEST(Catalogue, GradientsAreDitheredNotBanded) {
  // A slow ramp over 256 columns through 8 levels: without dithering, runs
  // of 32 equal columns; with it, neighbouring rows differ within a run and
  // each 32-column block's mean still climbs.
  TBitmap in(256, 8);
  std::unique_ptr<TFilter> f = FilterManager::CreateFilter("LinearGradient");
  ASSERT_TRUE(f->SetColor("Color1", 0xFF000000u));
  ASSERT_TRUE(f->SetColor("Color2", 0xFF080808u));
  f->SetInput(in);
  const TBitmap out = f->Output();
  int differing = 0;
  double previous = -1;
  for (int block = 0; block < 8; ++block) {
    double sum = 0;
    for (int x = block * 32; x < block * 32 + 32; ++x)
      for (int y = 0; y < 8; ++y) {
        sum += out.Pixel(x, y) & 0xFF;
        if (y > 0 && (out.Pixel(x, y) & 0xFF) != (out.Pixel(x, y - 1) & 0xFF)) ++differing;
      }
    EXPECT_GT(sum / 256, previous) << "block " << block;
    previous = sum / 256;
  }
  EXPECT_GT(differing, 200);
}

TEST(Catalogue, GeometryMovesPixelsWhereItSays) {
  TBitmap in(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) in.SetPixel(x, y, 0xFF000000u | uint32_t(x * 30) << 16 | uint32_t(y * 60));
  const TBitmap flipped = Apply("Flip", in, {}, {{"Horizontal", 1}, {"Vertical", 1}});
  EXPECT_EQ(flipped.Pixel(0, 0), in.Pixel(7, 3));
  const TBitmap cropped = Apply("Crop", in, {}, {{"Left", 0.25f}, {"Top", 0}, {"Right", 0}, {"Bottom", 0.5f}});
  EXPECT_EQ(cropped.Pixel(1, 0), 0u);
  EXPECT_EQ(cropped.Pixel(2, 0), in.Pixel(2, 0));
  EXPECT_EQ(cropped.Pixel(5, 3), 0u);
  // The perspective of the whole picture onto itself changes nothing.
  std::unique_ptr<TFilter> p = FilterManager::CreateFilter("Perspective");
  p->SetPoint("TopLeft", {0, 0});
  p->SetPoint("TopRight", {1, 0});
  p->SetPoint("BottomRight", {1, 1});
  p->SetPoint("BottomLeft", {0, 1});
  p->SetInput(in);
  EXPECT_LE(MaxDifference(p->Output(), in), 1);
}

// Every pixel of a kaleidoscope reads the picture where the fold of its
// direction puts it, worked out here with the library's trigonometry:
// wedge 0 (from the turn on) is the picture itself, and each further wedge
// mirrors its neighbour. Odd numbers of wedges (the last pair cut short),
// turns, and centres off the middle or off the picture.
TEST(Catalogue, AKaleidoscopeFoldsEveryDirectionIntoTheFirstWedge) {
  const int w = 240, h = 170;
  const TBitmap photo = synthetic::PhotoLike(w, h, 9);
  const fx::TOpaqueSampler sampler(photo);
  struct TCase {
    float cx, cy, segments, angle;
  } const cases[] = {{0.5f, 0.5f, 8, 0}, {0.3f, 0.62f, 5, 30}, {0.5f, 0.5f, 3, -100}, {1.3f, -0.2f, 7, 45}, {0.5f, 0.5f, 2, 180}};
  for (const TCase& c : cases) {
    std::unique_ptr<TFilter> f = FilterManager::CreateFilter("Kaleidoscope");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->SetPoint("Center", {c.cx, c.cy}));
    EXPECT_TRUE(f->SetFloat("Segments", c.segments));
    EXPECT_TRUE(f->SetFloat("Angle", c.angle));
    f->SetInput(photo);
    const TBitmap out = f->Output();
    const double cx = double(c.cx) * w, cy = double(c.cy) * h, wedge = 2 * M_PI / double(c.segments);
    const double turn = double(c.angle) * M_PI / 180;
    int worst = 0, same = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::hypot(dx, dy);
        double a = std::atan2(dy, dx) - turn;
        a -= std::floor(a / (2 * wedge)) * 2 * wedge;
        if (a > wedge) a = 2 * wedge - a;
        const uint32_t want = sampler.At(float(cx + r * std::cos(a + turn)), float(cy + r * std::sin(a + turn)));
        const uint32_t got = out.Pixel(x, y);
        same += got == want;
        for (int s : {0, 8, 16, 24}) worst = std::max(worst, std::abs(int((got >> s) & 0xFF) - int((want >> s) & 0xFF)));
      }
    EXPECT_LE(worst, 2) << c.segments << " wedges, turned " << c.angle;
    EXPECT_GE(same, w * h * 9 / 10) << c.segments << " wedges, turned " << c.angle;
  }
}

}  // namespace

// Warps that work out their map at every other pixel give the pixels
// between the same reads as asking the map itself: exactly where the map is
// straight or folds and wraps (the fold is asked, not averaged across), and
// where it bends within a fortieth of a pixel: a few levels on the sharpest
// edge.
TEST(Catalogue, HalvedMapsReadWhereTheMapSays) {
  const TBitmap photo = synthetic::PhotoLike(300, 200, 4);
  const auto compare = [&](auto map, int tolerance) {
    TBitmap direct(300, 200), halved(300, 200);
    fx::WarpPixels(photo, direct, map, false);
    fx::WarpPixels(photo, halved, map, true);
    int worst = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x)
        for (int shift : {0, 8, 16, 24})
          worst = std::max(worst, std::abs(int((direct.Pixel(x, y) >> shift) & 0xFF) - int((halved.Pixel(x, y) >> shift) & 0xFF)));
    EXPECT_LE(worst, tolerance);
  };
  // Tiles of 37 pixels, mirrored every other row of tiles: folds and wraps.
  compare([](float& x, float& y) {
    x = std::fmod(x * 1.7f, 37.0f) + 20;
    if (int(y / 37) % 2) y = 200 - y;
    return x < 50;  // and holes
  }, 0);
  // A swirl: smooth, bending.
  compare([](float& x, float& y) {
    const float dx = x - 150, dy = y - 100, a = 2.0f * std::exp(-(dx * dx + dy * dy) / 5000.0f);
    const float c = std::cos(a), s = std::sin(a);
    x = 150 + dx * c - dy * s;
    y = 100 + dx * s + dy * c;
    return true;
  }, 6);
}

// Warps whose columns and rows move each on their own (tiles, mirrors)
// lay out their reads once per axis: the same pixels as reading each place
// on its own, on opaque and translucent pictures, at places between
// pixels, on the rim and off the picture (clamped).
TEST(Catalogue, ColumnAndRowWarpsReadWhereTheMapSays) {
  const TBitmap photo = synthetic::PhotoLike(131, 77, 5);
  TBitmap translucent = photo;
  for (int y = 0; y < 77; ++y)
    for (int x = 0; x < 131; ++x) translucent.SetPixel(x, y, (photo.Pixel(x, y) & 0x00FFFFFFu) | uint32_t(x * 2) << 24);
  std::vector<float> xs(131), ys(77);
  for (size_t x = 0; x < xs.size(); ++x) xs[x] = std::fmod(float(x) * 1.37f, 140.0f) - 4.2f;
  for (size_t y = 0; y < ys.size(); ++y) ys[y] = 80.5f - float(y) * 1.11f;
  for (const TBitmap* in : std::initializer_list<const TBitmap*>{&photo, &translucent}) {
    TBitmap along(131, 77), each(131, 77);
    fx::WarpAlongAxes(*in, along, xs, ys);
    fx::WarpPixels(*in, each, [&](float& x, float& y) {
      x = xs[size_t(x)];
      y = ys[size_t(y)];
      return true;
    });
    EXPECT_EQ(MaxDifference(along, each), 0) << (in == &photo ? "opaque" : "translucent");
  }
}

// A spin blurs every pixel along its arc about the centre: against a
// brute-force spin (many turned copies, averaged), the one through rings
// is off by little on average and nowhere by much, wherever the centre
// lies (rings run off the picture, and only the stretches that matter are
// read) and however far it spins. About a centre very far off the
// picture (rings tens of thousands of pixels round) the spin takes
// halving passes, which read the picture's edge as it stands after each
// pass and resample it at every pass: there the pixels whose arc stays
// inside the picture (margin) are compared, more loosely, and they must be
// blurred as far as the far centre's long arcs reach, not merely moved.
TEST(Catalogue, ASpinAveragesAlongArcs) {
  struct Case {
    float cx, cy, degrees;
    int margin;
    double mean;
    int worst;
  };
  const Case cases[] = {{0.5f, 0.5f, 30, 0, 1.5, 32}, {0.5f, 0.5f, 3, 0, 1.5, 32}, {0.2f, 0.8f, 90, 0, 1.5, 32},
                        {0, 0, 30, 0, 1.5, 32},       {1, 0.3f, 10, 0, 1.5, 32},   {40, -30, 0.2f, 0, 1.5, 32},
                        {200, -150, 0.04f, 16, 4, 48}};
  const TBitmap photo = synthetic::PhotoLike(160, 120, 9);
  const fx::TOpaqueSampler s(photo);
  constexpr int kCopies = 241;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "centre " << c.cx << "," << c.cy << " angle " << c.degrees);
    const TBitmap spun = ApplyAbout("RadialBlur", photo, {c.cx, c.cy}, "Angle", c.degrees);
    const float cx = c.cx * 160, cy = c.cy * 120;
    float cs[kCopies], sn[kCopies];
    for (int k = 0; k < kCopies; ++k) {
      const float a = (float(k) / (kCopies - 1) - 0.5f) * c.degrees * 3.14159265f / 180;
      cs[k] = std::cos(a);
      sn[k] = std::sin(a);
    }
    double total = 0;
    int worst = 0, compared = 0;
    for (int y = c.margin; y < 120 - c.margin; ++y)
      for (int x = c.margin; x < 160 - c.margin; ++x) {
        double sum[3] = {0, 0, 0};
        for (int k = 0; k < kCopies; ++k) {
          const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
          const uint32_t p = s.At(cx + dx * cs[k] - dy * sn[k], cy + dx * sn[k] + dy * cs[k]);
          for (int ch = 0; ch < 3; ++ch) sum[ch] += (p >> (8 * ch)) & 0xFF;
        }
        for (int ch = 0; ch < 3; ++ch) {
          const int d = std::abs(int((spun.Pixel(x, y) >> (8 * ch)) & 0xFF) - int(std::lround(sum[ch] / kCopies)));
          total += d;
          worst = std::max(worst, d);
        }
        ++compared;
      }
    EXPECT_LT(total / (compared * 3), c.mean);
    // Reading onto rings and back softens the sharpest edges a little,
    // which shows where the spin itself is slight.
    EXPECT_LE(worst, c.worst);
  }
}

// A spin works band by band of rings, each band writing the pixels between
// its rings, and a zoom band by band of slopes, each writing the pixels
// between its slopes: on a picture of many bands, about centres inside, on
// edges and corners and outside, every pixel is written (the output of an
// opaque picture is opaque), and the wide road gives the same pixels as the
// plain one.
TEST(Catalogue, SpinsAndZoomsWriteEveryPixelOnEitherRoad) {
  struct Case {
    const char* filter;
    const char* amount;
    float cx, cy, value;
  };
  const Case cases[] = {{"RadialBlur", "Angle", 0.5f, 0.5f, 5},     {"RadialBlur", "Angle", 0, 0, 30},
                        {"RadialBlur", "Angle", 1, 0.3f, 2},        {"RadialBlur", "Angle", 0.37f, 0.81f, 90},
                        {"RadialBlur", "Angle", -0.4f, 1.3f, 10},   {"ZoomBlur", "Strength", 0.5f, 0.5f, 0.15f},
                        {"ZoomBlur", "Strength", 0, 0, 0.9f},       {"ZoomBlur", "Strength", 1, 0.3f, 0.05f},
                        {"ZoomBlur", "Strength", 0.37f, 0.81f, 0.5f}};
  const TBitmap photo = synthetic::PhotoLike(1301, 877, 9);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.filter << " centre " << c.cx << "," << c.cy << " " << c.amount << " " << c.value);
    const TBitmap wide = ApplyAbout(c.filter, photo, {c.cx, c.cy}, c.amount, c.value);
    fx::AllowWideLanes(false);
    const TBitmap plain = ApplyAbout(c.filter, photo, {c.cx, c.cy}, c.amount, c.value);
    fx::AllowWideLanes(true);
    int unwritten = 0, different = 0;
    for (int y = 0; y < photo.Height(); ++y)
      for (int x = 0; x < photo.Width(); ++x) {
        unwritten += fx::A(wide.Pixel(x, y)) != 255 || fx::A(plain.Pixel(x, y)) != 255;
        different += wide.Pixel(x, y) != plain.Pixel(x, y);
      }
    EXPECT_EQ(unwritten, 0);
    EXPECT_EQ(different, 0);
  }
}

// A zoom towards a centre far off the picture streaks a thin line as far
// as the centre's distance says, evenly: not in a few ghost copies (its
// passes were once counted from the picture's diagonal instead).
TEST(Catalogue, AZoomTowardsAFarCentreStreaksEvenly) {
  TBitmap picture(200, 40);
  picture.Clear(0xFF000000u);
  for (int y = 0; y < 40; ++y) picture.SetPixel(100, y, 0xFFFFFFFFu);
  // The centre 1500 px to the right of the line: a streak of 30 px.
  const TBitmap zoomed = ApplyAbout("ZoomBlur", picture, {8.0f, 0.5f}, "Strength", 0.02f);
  int brightest = 0, lit = 0;
  for (int x = 0; x < 200; ++x) {
    const int r = fx::R(zoomed.Pixel(x, 20));
    brightest = std::max(brightest, r);
    lit += r > 0;
  }
  EXPECT_LE(brightest, 24);  // about 255 / 30 each, where too few copies stood out
  EXPECT_GE(lit, 25);
}

// A zoom streaks every pixel along its ray to the centre, over the given
// share of the way: against a brute-force zoom (many shrunk copies,
// averaged through premultiplied colours), for centres in the middle, off
// it, on pixel corners and on the picture's edges and corners, on a
// detailed picture with transparent holes. Every pixel is written, none
// lends colour from a transparent one, and none is off by much.
TEST(Catalogue, AZoomAveragesAlongRays) {
  struct Case {
    float cx, cy, strength;
  };
  const Case cases[] = {{0.5f, 0.5f, 0.15f}, {0.5f, 0.5f, 0.6f}, {0.23f, 0.71f, 0.3f}, {0, 0, 0.3f},
                        {1, 1, 0.9f},        {0.5f, 0, 0.4f},    {1, 0.37f, 0.2f}};
  TBitmap picture = synthetic::PhotoLike(161, 119, 5);
  for (int y = 0; y < 119; ++y)
    for (int x = 0; x < 161; ++x) {
      uint32_t& c = picture.ScanLine(y)[x];
      if ((x / 6 + y / 6) % 2) c = 0xFF000000u | (~c & 0xFFFFFFu);  // checks, for edges across every ray
      if ((x / 23) % 3 == 1 && (y / 17) % 3 == 1) c = 0x00FF00FFu;  // transparent holes that hide magenta
    }
  const fx::TSampler s(picture);
  constexpr int kCopies = 301;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "centre " << c.cx << "," << c.cy << " strength " << c.strength);
    const TBitmap zoomed = ApplyAbout("ZoomBlur", picture, {c.cx, c.cy}, "Strength", c.strength);
    const float cx = c.cx * 161, cy = c.cy * 119;
    double total = 0;
    int worst = 0;
    for (int y = 0; y < 119; ++y)
      for (int x = 0; x < 161; ++x) {
        fx::TPremul sum;
        for (int k = 0; k < kCopies; ++k) {
          const float t = 1 - c.strength * float(k) / (kCopies - 1);
          const fx::TPremul p = fx::Premul(s.At(cx + (x + 0.5f - cx) * t, cy + (y + 0.5f - cy) * t));
          sum = {sum.a + p.a, sum.r + p.r, sum.g + p.g, sum.b + p.b};
        }
        const uint32_t want = fx::Unpremul({sum.a / kCopies, sum.r / kCopies, sum.g / kCopies, sum.b / kCopies});
        const uint32_t got = zoomed.Pixel(x, y);
        int d = std::abs(fx::A(got) - fx::A(want));
        // Colour matters as far as it shows.
        for (int ch : {16, 8, 0})
          d = std::max(d, std::abs(int((got >> ch) & 0xFF) - int((want >> ch) & 0xFF)) * fx::A(want) / 255);
        total += d;
        worst = std::max(worst, d);
      }
    EXPECT_LT(total / (161 * 119), 1.5);
    // Near the centre a streak is a pixel or two long, and is read along
    // the ray between rows or columns where the copies read between four
    // pixels: the checks' edges differ a little there.
    EXPECT_LE(worst, 48);
  }
}
