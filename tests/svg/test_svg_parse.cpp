// SVG value parsers: numbers, angles, percentages, lengths, lists, view
// boxes, URL references, transform lists, base64 and the attribute readers.
// Each bad value must leave its documented fallback.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "svg/SVGParse.h"
#include "svg/SVGProperties.h"
#include "xml/XmlDoc.h"

using namespace karto;

namespace {

constexpr double kPi = 3.14159265358979323846;

// --- numbers -------------------------------------------------------------------------

struct NumberCase {
  const char* text;
  bool ok;
  float value;
};

TEST(Numbers, TryTextToSingle) {
  const NumberCase cases[] = {
      // both "." and "," are the decimal point
      {"1.5", true, 1.5f}, {"1,5", true, 1.5f}, {"1,000.5", false, 0}, {"-2,25", true, -2.25f},
      // spaces around, a sign, exponents
      {" 2 ", true, 2}, {"+3", true, 3}, {"-4e2", true, -400}, {"5E-1", true, 0.5f}, {"1e+2", true, 100},
      // a point alone or at either end
      {".5", true, 0.5f}, {"5.", true, 5}, {".", true, 0}, {"-.e3", true, 0},
      // range: above 3.4e38 fails, far below float precision gives 0
      {"3.4e38", true, 3.4e38f}, {"3.41e38", false, 0}, {"-1e39", false, 0}, {"1e400", false, 0},
      {"1e-50", true, 0}, {"0.0000001e-400", true, 0}, {"0e99999", true, 0},
      {"0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
       true, 1},
      // garbage, trailing junk, empty text, other white space, forms from_chars would take
      {"", false, 0}, {" ", false, 0}, {"abc", false, 0}, {"1 2", false, 0}, {"2px", false, 0},
      {"1e", false, 0}, {"e5", false, 0}, {"--1", false, 0}, {"+-1", false, 0}, {"- 1", false, 0},
      {"\t2", false, 0}, {"2\n", false, 0}, {"inf", false, 0}, {"nan", false, 0}, {"0x10", false, 0},
      {"1e5.5", false, 0},
  };
  for (const NumberCase& c : cases) {
    float v = 123;
    EXPECT_EQ(TryTextToSingle(c.text, v), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(v, c.value) << '"' << c.text << '"';
    EXPECT_EQ(TextToSingle(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(Numbers, LongMantissasAreExact) {
  const std::string digits(400, '9');
  float v;
  EXPECT_FALSE(TryTextToSingle(digits, v)) << "10^400 is too large";
  EXPECT_TRUE(TryTextToSingle("0." + digits, v));
  EXPECT_EQ(v, 1.0f);
  EXPECT_TRUE(TryTextToSingle(digits + "e-399", v));
  EXPECT_NEAR(v, 10.0f, 1e-5f);
}

TEST(Numbers, Angles) {
  const struct {
    const char* text;
    double radians;
  } cases[] = {
      {"45", kPi / 4}, {"45deg", kPi / 4}, {"100grad", kPi / 2}, {"1.5rad", 1.5},
      {"-90", -kPi / 2}, {"90 deg", kPi / 2},
      {"", 0}, {"abc", 0}, {"deg", 0}, {"45DEG", 0}, {"1turn", 0},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(AngleToRadians(c.text), float(c.radians)) << c.text;
}

TEST(Numbers, Percentages) {
  const struct {
    const char* text;
    float value;
  } cases[] = {{"50%", 0.5f}, {"0.5", 0.5f}, {"100%", 1}, {"", -1}, {"%", 0}, {"x%", 0}, {"abc", 0},
               {"50 %", 0.5f}, {"50% ", 0}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(ReadPercentValue(c.text), c.value) << '"' << c.text << '"';
}

// --- lengths ---------------------------------------------------------------------

TEST(Lengths, UnitDetection) {
  const struct {
    const char* text;
    TLengthUnit unit;
  } cases[] = {
      {"10", luNone}, {"10px", luPx}, {"10pt", luPt}, {"10pc", luPc}, {"10mm", luMm}, {"10cm", luCm},
      {"10in", luIn}, {"10em", luEm}, {"10ex", luEx}, {"10%", luPercent},
      // trimmed first
      {"10px ", luPx}, {" 50%\t", luPercent},
      // exact case, two letters, one character compared as it is
      {"10PX", luNone}, {"10Px", luNone}, {"x", luNone}, {"%", luPercent}, {"", luNone},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectLengthUnit(c.text), c.unit) << '"' << c.text << '"';
}

TEST(Lengths, UserUnits) {
  const struct {
    const char* text;
    float value;
  } cases[] = {
      // Karto's own scale: a millimetre is 10 user units
      {"10px", 10}, {"2pt", 2.5f}, {"1pc", 15}, {"3mm", 30}, {"2cm", 200}, {"1in", 25.4f}, {"2em", 2},
      {"3ex", 3}, {"50%", 50}, {"7", 7}, {"1,5mm", 15},
      // trimmed before the unit is found
      {"2px ", 2}, {" 5cm\n", 500}, {"10 px", 10},
      // bad numbers give 0
      {"10PX", 0}, {"px", 0}, {"%", 0}, {"", 0}, {"abc", 0}, {"1e40px", 0},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(LengthToUserUnits(c.text), c.value) << '"' << c.text << '"';
}

TEST(Lengths, FactorsAreTheExactSingles) {
  EXPECT_EQ(LengthUnitFactor(luIn), 25.4f);
  EXPECT_EQ(LengthUnitFactor(luPt), 1.25f);
  EXPECT_EQ(LengthUnitFactor(luPercent), 1.0f);
  EXPECT_EQ(LengthUnitFactor(luNone), 1.0f);
}

// --- lists, rectangles, references --------------------------------------------------

TEST(Lists, SplitValues) {
  using V = std::vector<std::string>;
  const struct {
    const char* text;
    char delimiter;
    V items;
  } cases[] = {
      {"a b,c", ',', V{"a", "b", "c"}},
      {"a,,b , ,c", ',', V{"a", "b", "c"}},
      {" \t a\r\n\x01 b ", ',', V{"a", "b"}},
      {"1;2 3", ';', V{"1", "2", "3"}},
      {"\"x y\",z", ',', V{"x y", "z"}},
      {"\"a\"\"b\"", ',', V{"a\"b"}},
      {"\"ab\"cd", ',', V{"ab", "cd"}},
      {"\"\",a", ',', V{"a"}},
      {"\"unclosed x", ',', V{"unclosed x"}},
      {"", ',', V{}},
      {" , ", ',', V{}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitValues(c.text, c.delimiter), c.items) << '"' << c.text << '"';
}

TEST(Lists, ViewBoxRectangles) {
  const struct {
    const char* text;
    TFRect rect;
  } cases[] = {
      {"0 0 100 50", {0, 0, 100, 50}},
      {"0,0,100,50", {0, 0, 100, 50}},
      {"0, 0, 100, 50", {0, 0, 100, 50}},
      {" -5\t1.5\n200mm , 3 ", {-5, 1.5f, 2000, 3}},
      {"0 0 100", {}},
      {"0 0 100 50 7", {}},
      {"", {}},
      {"a b c d", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadRectangle(c.text), c.rect) << '"' << c.text << '"';
}

TEST(Lists, UrlReferences) {
  const struct {
    const char* text;
    const char* id;
  } cases[] = {
      {"url(#grad1)", "grad1"}, {" url(#a b) ", "a b"}, {"url(#)", ""},
      {"url(a)", ""}, {"URL(#a)", ""}, {"url( #a)", ""}, {"url(#a", ""}, {"#a", ""}, {"", ""},
      {"url(#a) x", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractUrlReference(c.text), c.id) << '"' << c.text << '"';
}

// --- transforms --------------------------------------------------------------------

::testing::AssertionResult MapsTo(const TMatrix& m, TPointF from, TPointF to) {
  const TPointF got = m.Transform(from);
  if (m.IsSet() && std::fabs(got.X - to.X) < 1e-4f && std::fabs(got.Y - to.Y) < 1e-4f)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << from.X << ", " << from.Y << ") maps to (" << got.X << ", "
                                       << got.Y << "), want (" << to.X << ", " << to.Y << ")"
                                       << (m.IsSet() ? "" : " [matrix not set]");
}

TEST(Transforms, EquivalentForms) {
  const struct {
    const char* a;
    const char* b;
  } cases[] = {
      {"translate(5)", "translate(5,0)"},
      {"scale(3)", "scale(3,3)"},
      {"translate(1 2)", "translate(1, 2)"},
      {"translate( 1 ,\t2 )", "translate(1,2)"},
      {"rotate(90)", "rotate(90deg)"},
      {"rotate(30, 5)", "rotate(30)"},
      {"rotate(30, 1, 2, 3)", "rotate(30)"},
      {"matrix(2 0 0 2 0 0)", "scale(2)"},
      {"bogus(1) translate(3,4) rotate (45)", "translate(3,4)"},
  };
  for (const auto& c : cases) EXPECT_EQ(TransformListToMatrix(c.a), TransformListToMatrix(c.b)) << c.a;
}

TEST(Transforms, WhereAPointGoes) {
  const struct {
    const char* text;
    TPointF from, to;
  } cases[] = {
      // rotation about a centre: to the origin, rotate, back
      {"rotate(90, 10, 10)", {0, 0}, {20, 0}},
      {"rotate(90, 10, 10)", {10, 10}, {10, 10}},
      {"rotate(90 10 10)", {10, 0}, {20, 10}},
      {"rotate(90)", {1, 0}, {0, 1}},
      // the transform written first acts first
      {"translate(10,0) scale(2)", {1, 0}, {22, 0}},
      {"scale(2) translate(10,0)", {1, 0}, {12, 0}},
      {"matrix(1,2,3,4,5,6)", {1, 1}, {9, 12}},
      {"skewX(1)", {0, 1}, {float(std::tan(1.0)), 1}},
      {"skewY(1)", {1, 0}, {1, float(std::tan(1.0))}},
      {"  translate(1,1)translate(2,2)  ", {0, 0}, {3, 3}},
  };
  for (const auto& c : cases) EXPECT_TRUE(MapsTo(TransformListToMatrix(c.text), c.from, c.to)) << c.text;
}

TEST(Transforms, NothingValidGivesTheZeroMatrix) {
  for (const char* text : {"", "   ", "foo(1)", "rotate()", "translate()", "translate(1,2,3)", "scale(1,2,3)",
                           "matrix(1,2,3,4,5)", "skewX()", "skewX(1,2)", "translate(1,2", "translate 1 2)",
                           ")(", "rotate (45)"}) {
    EXPECT_EQ(TransformListToMatrix(text), TMatrix::Zero()) << '"' << text << '"';
  }
}

TEST(Transforms, BuildersCheckTheirArgumentCount) {
  EXPECT_EQ(TranslateFromArgs("1,2"), TMatrix::CreateTranslation(1, 2));
  EXPECT_EQ(ScaleFromArgs("2"), TMatrix::CreateScaling(2, 2));
  EXPECT_EQ(MatrixFromArgs("1,2,3"), TMatrix::Zero());
  EXPECT_EQ(RotateFromArgs(""), TMatrix::Zero());
  EXPECT_EQ(SkewYFromArgs("a"), SkewYFromArgs("0"));  // a bad number is 0
}

// --- base64 ---------------------------------------------------------------------------

TEST(Base64, Decoding) {
  const struct {
    const char* text;
    const char* bytes;
  } cases[] = {
      {"SGVsbG8=", "Hello"},
      {"SGVs\r\nbG8", "Hello"},
      {" S G V s b G 8 = = ", "Hello"},
      {"SGVsbG8h", "Hello!"},
      {"QQ", "A"},
      {"Q", ""},
      {"", ""},
      {"*?!", ""},
      {"//79", "\xFF\xFE\xFD"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out{1, 2, 3};  // emptied first
    Base64ToStream(c.text, out);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes) << c.text;
  }
}

// --- attribute readers ---------------------------------------------------------------

class AttributeReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.LoadFromBytes(
        "<e w=\"5mm\" empty=\"\" t=\"translate(1,2)\" bad=\"bogus(1)\" p=\"25%\" s=\"x\""
        " display=\"none\" visibility=\"visible\" gradientUnits=\"userSpaceOnUse\"/>");
    node = doc.Root();
  }
  TXMLDocument doc;
  const TXmlNode* node = nullptr;
};

TEST_F(AttributeReaders, PresentValuesAreConvertedMissingOrEmptyKeepTheVariable) {
  float f = 7;
  ReadLengthAttr(*node, "w", f);
  EXPECT_FLOAT_EQ(f, 50);
  ReadLengthAttr(*node, "missing", f);
  ReadLengthAttr(*node, "empty", f);
  EXPECT_FLOAT_EQ(f, 50);
  ReadPercentAttr(*node, "P", f);
  EXPECT_FLOAT_EQ(f, 0.25f);
  std::string s = "keep";
  ReadStringAttr(*node, "empty", s);
  EXPECT_EQ(s, "keep");
  ReadStringAttr(*node, "s", s);
  EXPECT_EQ(s, "x");
}

TEST_F(AttributeReaders, TransformIsReplacedEvenByNoTransform) {
  TMatrix m = TMatrix::CreateScaling(3, 3);
  ReadTransformAttr(*node, "missing", m);
  EXPECT_EQ(m, TMatrix::CreateScaling(3, 3));
  ReadTransformAttr(*node, "t", m);
  EXPECT_EQ(m, TMatrix::CreateTranslation(1, 2));
  ReadTransformAttr(*node, "bad", m);
  EXPECT_EQ(m, TMatrix::Zero());
}

TEST(AttributeReaderKeywords, DisplayVisibilityGradientUnits) {
  const struct {
    const char* value;
    int display, visibility;
    TGradientUnits units;
  } cases[] = {
      {"inherit", kInheritState, kInheritState, guObjectBoundingBox},
      {"none", kHiddenState, kHiddenState, guObjectBoundingBox},
      {"visible", kShownState, kShownState, guObjectBoundingBox},
      {"hidden", kShownState, kHiddenState, guObjectBoundingBox},
      {"Inherit", kShownState, kHiddenState, guObjectBoundingBox},
      {"userSpaceOnUse", kShownState, kHiddenState, guUserSpaceOnUse},
      {"userspaceonuse", kShownState, kHiddenState, guObjectBoundingBox},
  };
  for (const auto& c : cases) {
    TXmlNode n("e");
    n.SetAttribute("display", c.value)->SetAttribute("visibility", c.value)->SetAttribute("gradientUnits", c.value);
    int display = 99, visibility = 99;
    TGradientUnits units = guUserSpaceOnUse;
    ReadDisplayAttr(n, display);
    ReadVisibilityAttr(n, visibility);
    ReadGradientUnitsAttr(n, units);
    EXPECT_EQ(display, c.display) << c.value;
    EXPECT_EQ(visibility, c.visibility) << c.value;
    EXPECT_EQ(units, c.units) << c.value;
  }
  // Missing: display and visibility keep the variable, gradient units reset.
  TXmlNode bare("e");
  int display = 99, visibility = 98;
  TGradientUnits units = guUserSpaceOnUse;
  ReadDisplayAttr(bare, display);
  ReadVisibilityAttr(bare, visibility);
  ReadGradientUnitsAttr(bare, units);
  EXPECT_EQ(display, 99);
  EXPECT_EQ(visibility, 98);
  EXPECT_EQ(units, guObjectBoundingBox);
}

}  // namespace
