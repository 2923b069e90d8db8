// The filter registry and the four filters the adjustment chain uses, each
// checked for its defining property on small pictures.

#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>

#include "imaging/Catalogue.h"
#include "imaging/FilterKit.h"
#include "platform/Filters.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

const bool kRegistered = (RegisterCatalogue(), true);

TBitmap RunFilter(const char* name, const TBitmap& in, std::initializer_list<std::pair<const char*, float>> params = {}) {
  std::unique_ptr<TFilter> f = FilterManager::CreateFilter(name);
  EXPECT_NE(f, nullptr) << name;
  if (!f) return {};
  for (const auto& [p, v] : params) EXPECT_TRUE(f->SetFloat(p, v)) << p;
  f->SetInput(in);
  return f->Output();
}

int Red(TAlphaColor c) { return ColorRed(c); }

bool IsGrey(const TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TAlphaColor c = b.Pixel(x, y);
      if (ColorRed(c) != ColorGreen(c) || ColorGreen(c) != ColorBlue(c)) return false;
    }
  return true;
}

// A picture with alpha varying across it, to see alpha kept.
TBitmap WithAlpha() {
  TBitmap b = synthetic::PhotoLike(40, 30, 9);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, y, (b.Pixel(x, y) & 0x00FFFFFFu) | (uint32_t(x * 6) << 24));
  return b;
}

TEST(FilterRegistry, DescribesTheChainsFiltersAndFindsNamesIgnoringCase) {
  struct Row {
    const char* filter;
    size_t index;
    const char* param;
    double min, max, def;
  };
  const Row rows[] = {{"Contrast", 0, "Brightness", -1, 1, 0},
                      {"Contrast", 1, "Contrast", 0, 2, 1.5},
                      {"Sharpen", 0, "Amount", 0, 2, 1},
                      {"PaperSketch", 0, "BrushSize", 0.6, 10, 3}};
  for (const Row& r : rows) {
    TFilterRec rec;
    ASSERT_TRUE(FilterManager::FilterRecByName(r.filter, rec)) << r.filter;
    ASSERT_GT(rec.Values.size(), r.index);
    const TShaderValueRec& v = rec.Values[r.index];
    EXPECT_EQ(v.Name, r.param);
    EXPECT_EQ(v.ValueType, TShaderValueType::vtFloat);
    EXPECT_EQ(v.Min, r.min);
    EXPECT_EQ(v.Max, r.max);
    EXPECT_EQ(v.Default, r.def);
  }
  for (const char* name : {"contrast", "PAPERSKETCH", "Monochrome", "sHaRpEn"})
    EXPECT_NE(FilterManager::CreateFilter(name), nullptr) << name;
  EXPECT_EQ(FilterManager::CreateFilter("Sepia-Unknown"), nullptr);
  TFilterRec none;
  EXPECT_FALSE(FilterManager::FilterRecByName("", none));

  const auto& cats = FilterManager::Categories();
  ASSERT_EQ(cats.size(), 10u);
  EXPECT_EQ(cats.front(), "Blur");
  EXPECT_EQ(cats.back(), "Transition");
  // Categories compare exactly.
  const auto style = FilterManager::FiltersOfCategory("Style");
  EXPECT_NE(std::find(style.begin(), style.end(), "PaperSketch"), style.end());
  EXPECT_TRUE(FilterManager::FiltersOfCategory("style").empty());
}

TEST(FilterRegistry, ParametersAreSetByNameAndClampedToTheirRange) {
  auto f = FilterManager::CreateFilter("Sharpen");
  EXPECT_TRUE(f->SetFloat("amount", 5));
  EXPECT_FLOAT_EQ(f->Float("Amount"), 2);
  EXPECT_TRUE(f->SetFloat("Amount", -1));
  EXPECT_FLOAT_EQ(f->Float("Amount"), 0);
  EXPECT_FALSE(f->SetFloat("Radius", 1));
  EXPECT_FALSE(f->SetPoint("Amount", {1, 1})) << "a number is not a point";
  // Without an input there is nothing to filter.
  EXPECT_TRUE(f->Output().IsEmpty());
}

TEST(Filters, NeutralSettingsKeepThePictureAndAlpha) {
  const TBitmap in = WithAlpha();
  EXPECT_EQ(RunFilter("Contrast", in, {{"Brightness", 0}, {"Contrast", 1}}), in);
  EXPECT_EQ(RunFilter("Sharpen", in, {{"Amount", 0}}), in);
}

TEST(Filters, ContrastShiftsAndStretchesAboutMidGrey) {
  TBitmap in(3, 1);
  in.SetPixel(0, 0, 0xFF404040u);
  in.SetPixel(1, 0, 0xFF808080u);
  in.SetPixel(2, 0, 0x80C0C0C0u);
  const TBitmap stretched = RunFilter("Contrast", in, {{"Brightness", 0}, {"Contrast", 2}});
  EXPECT_LT(Red(stretched.Pixel(0, 0)), 0x40 - 40);
  EXPECT_NEAR(Red(stretched.Pixel(1, 0)), 0x80, 1);
  EXPECT_GT(Red(stretched.Pixel(2, 0)), 0xC0 + 40);
  EXPECT_EQ(ColorAlpha(stretched.Pixel(2, 0)), 0x80);
  const TBitmap brighter = RunFilter("Contrast", in, {{"Brightness", 0.25f}, {"Contrast", 1}});
  for (int x = 0; x < 3; ++x) EXPECT_NEAR(Red(brighter.Pixel(x, 0)), Red(in.Pixel(x, 0)) + 64, 1);
  // Contrast 0 flattens everything to mid-grey.
  const TBitmap flat = RunFilter("Contrast", in, {{"Brightness", 0}, {"Contrast", 0}});
  for (int x = 0; x < 3; ++x) EXPECT_NEAR(Red(flat.Pixel(x, 0)), 128, 1);
}

TEST(Filters, SharpenSteepensAStepEdgeAndLeavesFlatAreas) {
  TBitmap in(20, 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 20; ++x) in.SetPixel(x, y, x < 10 ? 0xFF505050u : 0xFFAAAAAAu);
  const TBitmap out = RunFilter("Sharpen", in, {{"Amount", 1}});
  EXPECT_LT(Red(out.Pixel(9, 4)), 0x50) << "the dark side gets darker at the edge";
  EXPECT_GT(Red(out.Pixel(10, 4)), 0xAA) << "the light side gets lighter";
  EXPECT_EQ(out.Pixel(3, 4), 0xFF505050u);
  EXPECT_EQ(out.Pixel(16, 4), 0xFFAAAAAAu);
  // More amount, more overshoot.
  const TBitmap strong = RunFilter("Sharpen", in, {{"Amount", 2}});
  EXPECT_LT(Red(strong.Pixel(9, 4)), Red(out.Pixel(9, 4)));
}

TEST(Filters, MonochromeIsLuminanceGrey) {
  TBitmap in(4, 1);
  const TAlphaColor colours[] = {0xFFFFFFFFu, 0xFF000000u, 0xFFFF0000u, 0x4000FF00u};
  for (int x = 0; x < 4; ++x) in.SetPixel(x, 0, colours[x]);
  const TBitmap out = RunFilter("Monochrome", in);
  EXPECT_TRUE(IsGrey(out));
  EXPECT_EQ(out.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(out.Pixel(1, 0), 0xFF000000u);
  EXPECT_NEAR(Red(out.Pixel(2, 0)), 77, 1);  // red is a dark grey
  EXPECT_NEAR(Red(out.Pixel(3, 0)), 150, 1);  // green a light one
  EXPECT_EQ(ColorAlpha(out.Pixel(3, 0)), 0x40);
}

// A photographed drawing: paper lit unevenly with grain, and ink lines of
// several widths whose places are known from a mask drawn alongside.
struct TestCard {
  TBitmap photo;
  QImage ink;  // white where there is no ink
};

TestCard DrawTestCard() {
  TestCard card{synthetic::LineDrawingPhoto(240, 160, 5), QImage(240, 160, QImage::Format_ARGB32)};
  // LineDrawingPhoto's own strokes are random; draw known lines over it.
  QImage img = card.photo.Image();
  card.ink.fill(Qt::white);
  for (QImage* target : {&img, &card.ink}) {
    QPainter p(target);
    for (int i = 0; i < 5; ++i) {
      p.setPen(QPen(target == &img ? QColor(35, 35, 50) : Qt::black, 1 + i));
      p.drawLine(20 + 45 * i, 20, 20 + 45 * i, 140);
    }
  }
  card.photo = TBitmap(img);
  return card;
}

TEST(Filters, PaperSketchDrawsDarkLinesOnWhitePaper) {
  // Flat pictures, whatever their colour, become white paper.
  for (TAlphaColor c : {0xFFFFFFFFu, 0xFF808080u, 0xFF2050A0u}) {
    TBitmap flat(30, 20);
    flat.Clear(c);
    const TBitmap out = RunFilter("PaperSketch", flat);
    EXPECT_EQ(out.Pixel(15, 10), 0xFFFFFFFFu) << std::hex << c;
    EXPECT_EQ(out.Pixel(0, 0), 0xFFFFFFFFu) << std::hex << c;
  }

  const TestCard card = DrawTestCard();
  const TBitmap out = RunFilter("PaperSketch", card.photo);
  ASSERT_EQ(out.Width(), 240);
  EXPECT_TRUE(IsGrey(out));
  // Every known ink line is dark in its middle row.
  for (int i = 0; i < 5; ++i) EXPECT_LT(Red(out.Pixel(20 + 45 * i, 80)), 100) << "line " << i;
  // Paper well away from any ink is clean white despite grain and light.
  int paper = 0, white = 0;
  const QImage& photoImg = card.photo.Image();
  for (int y = 8; y < 152; ++y)
    for (int x = 8; x < 232; ++x) {
      bool nearInk = false;
      for (int dy = -8; dy <= 8 && !nearInk; ++dy)
        for (int dx = -8; dx <= 8 && !nearInk; ++dx)
          nearInk = qRed(card.ink.pixel(x + dx, y + dy)) < 128 || qRed(photoImg.pixel(x + dx, y + dy)) < 150;
      if (nearInk) continue;
      ++paper;
      white += Red(out.Pixel(x, y)) == 255;
    }
  ASSERT_GT(paper, 1000);
  EXPECT_GT(white, paper * 98 / 100);
}

TEST(Filters, PaperSketchStrokesGrowWithTheBrush) {
  const TestCard card = DrawTestCard();
  auto darkPixels = [&](float brush) {
    const TBitmap out = RunFilter("PaperSketch", card.photo, {{"BrushSize", brush}});
    int n = 0;
    for (int y = 0; y < out.Height(); ++y)
      for (int x = 0; x < out.Width(); ++x) n += Red(out.Pixel(x, y)) < 230;
    return n;
  };
  EXPECT_LT(darkPixels(1), darkPixels(8));
}

TEST(Filters, PaperSketchKeepsAlphaAndCopesWithTinyPictures) {
  const TBitmap out = RunFilter("PaperSketch", WithAlpha());
  EXPECT_EQ(ColorAlpha(out.Pixel(10, 5)), 60);
  for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {9, 1}, {2, 2}}) {
    TBitmap tiny(w, h);
    tiny.Clear(0xFF102030u);
    for (const char* name : {"PaperSketch", "Sharpen", "Contrast", "Monochrome"}) {
      const TBitmap r = RunFilter(name, tiny);
      EXPECT_EQ(r.Width(), w) << name;
      EXPECT_EQ(r.Height(), h) << name;
    }
  }
}

TEST(GaussianBlur, KeepsFlatPlanesAndSpreadsAPointSymmetrically) {
  std::vector<float> plane(21 * 21, 10.0f);
  fx::GaussianBlurPlane(plane, 21, 21, 3);
  for (float v : plane) EXPECT_NEAR(v, 10.0f, 1e-3);
  TPlane<uint16_t> dot(21 * 21, 0);
  dot[10 * 21 + 10] = 4000;
  fx::GaussianBlurPlane16(dot, 21, 21, 2);
  EXPECT_EQ(dot[10 * 21 + 7], dot[10 * 21 + 13]);
  EXPECT_EQ(dot[7 * 21 + 10], dot[13 * 21 + 10]);
  EXPECT_GT(dot[10 * 21 + 10], dot[10 * 21 + 12]);
}

// Three clamped box passes along the rows and down the columns, worked out
// plainly in doubles: what the 16-bit blur must give, to a rounding per pass.
std::vector<double> BoxCascadeReference(const std::vector<double>& in, int w, int h, int r) {
  std::vector<double> cur = in, next(in.size());
  for (int axis = 0; axis < 2; ++axis)
    for (int pass = 0; pass < 3; ++pass) {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          double sum = 0;
          for (int k = -r; k <= r; ++k) {
            const int sx = axis == 0 ? std::clamp(x + k, 0, w - 1) : x, sy = axis == 1 ? std::clamp(y + k, 0, h - 1) : y;
            sum += cur[size_t(sy) * size_t(w) + size_t(sx)];
          }
          next[size_t(y) * size_t(w) + size_t(x)] = std::floor(sum / (2 * r + 1) + 0.5);
        }
      cur.swap(next);
    }
  return cur;
}

TEST(GaussianBlur, SixteenBitPlanesMatchPlainBoxesAlsoWhenNarrowerThanTheBox) {
  // The rows' running sums read clamped only near the ends; planes narrower
  // or lower than the box are all ends. A blur from another plane must give
  // what blurring that plane in place gives, and the rows summed eight at
  // a time (19: two steps and three more) what summing one at a time does.
  // A tall plane goes down the columns in bands on several cores, each
  // starting above its band and ending below it.
  uint32_t seed = 7;
  for (const int w : {1, 2, 3, 5, 8, 19, 40})
    for (const int h : {1, 3, 9, 700})
      for (const float sigma : {0.6f, 2.0f, 6.0f}) {
        SCOPED_TRACE(testing::Message() << w << " x " << h << ", sigma " << sigma);
        TPlane<uint16_t> source(size_t(w) * size_t(h));
        std::vector<double> values(source.size());
        for (size_t i = 0; i < source.size(); ++i) {
          seed = seed * 1664525u + 1013904223u;
          source[i] = uint16_t((seed >> 8) % 4081);
          values[i] = source[i];
        }
        TPlane<uint16_t> inPlace = source, fromSource(source.size());
        fx::GaussianBlurPlane16(inPlace, w, h, sigma);
        fx::GaussianBlurPlane16(fromSource, w, h, sigma, source.data());
        EXPECT_EQ(std::vector<uint16_t>(inPlace.begin(), inPlace.end()), std::vector<uint16_t>(fromSource.begin(), fromSource.end()));
        TPlane<uint16_t> plain = source;
        fx::AllowWideLanes(false);
        fx::GaussianBlurPlane16(plain, w, h, sigma);
        fx::AllowWideLanes(true);
        EXPECT_EQ(std::vector<uint16_t>(inPlace.begin(), inPlace.end()), std::vector<uint16_t>(plain.begin(), plain.end()));
        const int r = std::max(1, int(std::lround((std::sqrt(4.0f * sigma * sigma + 1.0f) - 1.0f) / 2.0f)));
        const std::vector<double> expected = BoxCascadeReference(values, w, h, r);
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_NEAR(double(inPlace[i]), expected[i], 3.0) << "pixel " << i;
      }
}

}  // namespace
