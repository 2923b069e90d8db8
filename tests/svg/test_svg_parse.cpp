// SVG value parsers: numbers, angles, percentages, lengths, lists, view
// boxes, URL references, transform lists, base64 and the attribute readers.
// Each bad value must leave its documented fallback.

#include <gtest/gtest.h>

#include <charconv>
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

// --- SVG grammar: numbers, lengths, angles, lists ------------------------------------

TEST(SvgNumbers, ReadNumberTakesTheLongestNumberAtTheFront) {
  const struct {
    const char* text;
    bool ok;
    float value;
    const char* rest;
  } cases[] = {
      {"12", true, 12, ""}, {"+3", true, 3, ""}, {"-.5e-3", true, -0.0005f, ""}, {"5.", true, 5, ""},
      {"5.e2", true, 500, ""}, {".5", true, 0.5f, ""}, {"1E3x", true, 1000, "x"}, {"-0", true, 0, ""},
      // a number ends where the grammar says
      {".5.5", true, 0.5f, ".5"}, {"10-5", true, 10, "-5"}, {"1,5", true, 1, ",5"}, {"1 2", true, 1, " 2"},
      {"0x10", true, 0, "x10"}, {"1.2.3", true, 1.2f, ".3"},
      // an "e" without exponent digits is not taken
      {"1e", true, 1, "e"}, {"1em", true, 1, "em"}, {"1e+", true, 1, "e+"}, {"1e-x", true, 1, "e-x"},
      {"2ex", true, 2, "ex"},
      // range: too large is invalid, too small is 0
      {"3.4028235e38", true, 3.4028235e38f, ""}, {"1e-50", true, 0, ""}, {"-1e-400", true, 0, ""},
      {"0e99999", true, 0, ""}, {"0.001e3", true, 1, ""}, {"100000e-55", true, 0, ""},
      {"0.0001e43", false, 0, "0.0001e43"},
      {"1e39", false, 0, "1e39"}, {"-3.5e38", false, 0, "-3.5e38"}, {"1e400", false, 0, "1e400"},
      {"10000000000000000000000000000000000000000", false, 0, "10000000000000000000000000000000000000000"},
      // no number at all; leading white space is not skipped
      {"", false, 0, ""}, {".", false, 0, "."}, {"-", false, 0, "-"}, {"+.", false, 0, "+."},
      {"-.e1", false, 0, "-.e1"}, {"e5", false, 0, "e5"}, {" 1", false, 0, " 1"}, {"--1", false, 0, "--1"},
      {"inf", false, 0, "inf"}, {"nan", false, 0, "nan"},
  };
  for (const auto& c : cases) {
    std::string_view s = c.text;
    float v = 123;
    EXPECT_EQ(ReadNumber(s, v), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(v, c.ok ? c.value : 123.0f) << '"' << c.text << '"';
    EXPECT_EQ(s, c.rest) << '"' << c.text << '"';
  }
}

// Short decimals take a quicker road than other numbers; both must give the
// correctly rounded float.
TEST(SvgNumbers, ShortDecimalsRoundLikeEveryOtherNumber) {
  uint64_t state = 7;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 33);
  };
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + int(next() % 15);
    std::string text = next() % 4 == 0 ? "-" : "";
    for (int k = 0; k < digits; ++k) text += char('0' + next() % 10);
    const size_t dot = next() % size_t(digits + 1);
    if (dot < size_t(digits)) text.insert(text.size() - size_t(digits) + dot, ".");
    if (text == "." || text == "-.") continue;
    std::string_view s = text;
    float fast = 0;
    ASSERT_TRUE(ReadNumber(s, fast)) << text;
    const bool negative = text[0] == '-';
    float expected = 0;
    std::from_chars(text.data() + negative, text.data() + text.size(), expected);
    ASSERT_EQ(fast, negative ? -expected : expected) << text;
  }
}

TEST(SvgNumbers, SkipCommaWspTakesAtMostOneComma) {
  const struct {
    const char* text;
    bool skipped;
    const char* rest;
  } cases[] = {
      {" , x", true, "x"}, {",x", true, "x"}, {",,x", true, ",x"}, {", ,x", true, ",x"}, {"  x", true, "x"},
      {"\t\n,\r\fx", true, "x"}, {"x", false, "x"}, {"", false, ""}, {"\vx", false, "\vx"},
  };
  for (const auto& c : cases) {
    std::string_view s = c.text;
    EXPECT_EQ(SkipCommaWsp(s), c.skipped) << '"' << c.text << '"';
    EXPECT_EQ(s, c.rest) << '"' << c.text << '"';
  }
}

TEST(SvgNumbers, TryParseNumberIsTheWholeText) {
  const NumberCase cases[] = {
      {"12", true, 12}, {" \t-.5e-3\n ", true, -0.0005f}, {"1e-50", true, 0}, {"5.", true, 5},
      {"", false, 0}, {" ", false, 0}, {"1 2", false, 0}, {".5.5", false, 0}, {"1e", false, 0},
      {"1e39", false, 0}, {"abc", false, 0}, {"1px", false, 0}, {"1,5", false, 0}, {"1,", false, 0},
  };
  for (const NumberCase& c : cases) {
    float v = 123;
    EXPECT_EQ(TryParseNumber(c.text, v), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(v, c.ok ? c.value : 123.0f) << '"' << c.text << '"';
  }
}

TEST(SvgNumbers, TryParseNumberList) {
  using V = std::vector<float>;
  const struct {
    const char* text;
    bool ok;
    V values;
  } cases[] = {
      {"", true, V{}}, {" \n ", true, V{}}, {"1 2,3", true, V{1, 2, 3}}, {" 1 , 2\t,3 ", true, V{1, 2, 3}},
      {"1-2+3", true, V{1, -2, 3}}, {".5.5", true, V{0.5f, 0.5f}}, {"1e2 3", true, V{100, 3}},
      {"1,,2", false, V{}}, {",1", false, V{}}, {"1,", false, V{}}, {"1 , ", false, V{}}, {"1 a", false, V{}},
      {"1e39 2", false, V{}}, {"1e", false, V{}}, {"1px", false, V{}},
  };
  for (const auto& c : cases) {
    V out{42};
    EXPECT_EQ(TryParseNumberList(c.text, out), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(out, c.ok ? c.values : V{42}) << '"' << c.text << '"';
  }
}

TEST(SvgLengths, TryParseLength) {
  const struct {
    const char* text;
    bool ok;
    float value;
    TLengthUnit unit;
  } cases[] = {
      {"10", true, 10, luNone}, {" 10px\n", true, 10, luPx}, {"10PX", true, 10, luPx}, {"1.5Mm", true, 1.5f, luMm},
      {"2cm", true, 2, luCm}, {"1in", true, 1, luIn}, {"3pt", true, 3, luPt}, {"4pc", true, 4, luPc},
      {"50%", true, 50, luPercent}, {"-2e1em", true, -20, luEm}, {"1em", true, 1, luEm}, {"1ex", true, 1, luEx},
      {"1e1ex", true, 10, luEx}, {"4Q", true, 4, luQ}, {"2rem", true, 2, luRem}, {"3ch", true, 3, luCh},
      {"5vw", true, 5, luVw}, {"5VH", true, 5, luVh}, {"1vmin", true, 1, luVmin}, {"1vmax", true, 1, luVmax},
      {"1vm", false, 0, luNone}, {".5.5", false, 0, luNone},
      {"10 px", false, 0, luNone}, {"abc", false, 0, luNone}, {"", false, 0, luNone}, {" ", false, 0, luNone},
      {"1e", false, 0, luNone}, {"px", false, 0, luNone}, {"10p", false, 0, luNone},
      {"10pxx", false, 0, luNone}, {"10%%", false, 0, luNone}, {"1e39px", false, 0, luNone},
      {"10px 5", false, 0, luNone},
  };
  for (const auto& c : cases) {
    TSVGLength length{123, luIn};
    EXPECT_EQ(TryParseLength(c.text, length), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(length.Value, c.ok ? c.value : 123.0f) << '"' << c.text << '"';
    EXPECT_EQ(length.Unit, c.ok ? c.unit : luIn) << '"' << c.text << '"';
  }
}

TEST(SvgLengths, CssUnitsAgreeOnOneInch) {
  // 1in = 2.54cm = 25.4mm = 72pt = 6pc = 96px
  const struct {
    TLengthUnit unit;
    float perInch;
  } cases[] = {{luIn, 1}, {luCm, 2.54f}, {luMm, 25.4f}, {luPt, 72}, {luPc, 6}, {luPx, 96}, {luNone, 96}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(c.perInch * CssUnitToPx(c.unit), 96.0f) << int(c.unit);
  // Relative units are the caller's business.
  for (TLengthUnit unit : {luEm, luEx, luPercent}) EXPECT_EQ(CssUnitToPx(unit), 1.0f) << int(unit);
}

TEST(SvgAngles, TryParseAngleGivesDegrees) {
  const struct {
    const char* text;
    bool ok;
    float degrees;
  } cases[] = {
      {"90", true, 90}, {" 90deg ", true, 90}, {"100grad", true, 90}, {"3.14159265rad", true, 180},
      {"0.25turn", true, 90}, {"1TURN", true, 360}, {"-45DeG", true, -45}, {"1e1deg", true, 10},
      {"90 deg", false, 0}, {"deg", false, 0}, {"", false, 0}, {"1e38turn", false, 0}, {"90degs", false, 0},
      {"1e39", false, 0}, {"90°", false, 0},
  };
  for (const auto& c : cases) {
    float v = 123;
    EXPECT_EQ(TryParseAngle(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_NEAR(v, c.degrees, 1e-4) << '"' << c.text << '"';
    } else {
      EXPECT_EQ(v, 123.0f) << '"' << c.text << '"';
    }
  }
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
      {"matrix(2 0 0 2 0 0)", "scale(2)"},
      {"rotate (45)", "rotate(45)"},
      {"rotate(405)", "rotate(45)"},
      {"rotate(0 7 9)", "translate(0)"},
      {"translate(10-5)", "translate(10,-5)"},
      {"matrix(1 0 0 1 .5.5)", "translate(.5 .5)"},
      {"translate(1)translate(2)", "translate(3)"},
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
      {"rotate(-90 5 5)", {5, 0}, {0, 5}},
      // the transform written last acts first
      {"translate(10,0) scale(2)", {1, 0}, {12, 0}},
      {"scale(2) translate(10,0)", {1, 0}, {22, 0}},
      {"rotate(90) translate(10,0)", {0, 0}, {0, 10}},
      {"translate(10,0) rotate(90)", {0, 0}, {10, 0}},
      {"matrix(1,2,3,4,5,6)", {1, 1}, {9, 12}},
      // skew angles are in degrees
      {"skewX(45)", {0, 1}, {1, 1}},
      {"skewY(45)", {1, 0}, {1, 1}},
      {"skewX(30)", {0, 2}, {float(2 * std::tan(kPi / 6)), 2}},
      // separators between transforms: none, white space, commas; every piece applies
      {"  translate(1,1)translate(2,2)  ", {0, 0}, {3, 3}},
      {"translate(1,1),translate(2,2)", {0, 0}, {3, 3}},
      {"translate(1,1) ,\n translate(2,2),scale(2)", {1, 1}, {5, 5}},
  };
  for (const auto& c : cases) EXPECT_TRUE(MapsTo(TransformListToMatrix(c.text), c.from, c.to)) << c.text;
}

TEST(Transforms, AnInvalidListGivesTheZeroMatrixABlankOneTheIdentity) {
  for (const char* text : {"foo(1)", "rotate()", "translate()", "translate(1,2,3)", "scale(1,2,3)",
                           "matrix(1,2,3,4,5)", "skewX()", "skewX(1,2)", "translate(1,2", "translate 1 2)",
                           ")(", "rotate(30, 5)", "rotate(30, 1, 2, 3)", "rotate(90deg)",
                           "bogus(1) translate(3,4)", "translate(3,4) bogus(1)"}) {
    EXPECT_EQ(TransformListToMatrix(text), TMatrix::Zero()) << '"' << text << '"';
  }
  EXPECT_EQ(TransformListToMatrix(""), TMatrix::Identity());
  EXPECT_EQ(TransformListToMatrix(" \t\n"), TMatrix::Identity());
}

TEST(Transforms, TryParseTransformGrammar) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"", true}, {" \r\n\t\f", true}, {"translate(1)", true}, {"translate (1)", true},
      {"translate\n(\t1 ,\n2\t)", true}, {"translate(1,2)scale(2)", true}, {"translate(1) , scale(2)", true},
      {"translate(1),,scale(2)", true}, {"rotate(45 1 1)", true}, {"skewX(-1e1)", true},
      {"matrix(1 0 0 1 .5.5)", true}, {"scale(1e-50)", true},
      // arguments: commas only between numbers, one at a time
      {"translate(1,)", false}, {"translate(,1)", false}, {"translate(1,,2)", false}, {"translate()", false},
      // the list: no comma at either end, nothing after the last ")"
      {"translate(1),", false}, {",translate(1)", false}, {"translate(1) x", false}, {"translate(1))", false},
      {"translate(1", false}, {"translate", false},
      // names are case-sensitive; no units
      {"Translate(1)", false}, {"SCALE(2)", false}, {"translateX(1)", false}, {"rotate(90deg)", false},
      {"translate(1px)", false},
      // argument counts
      {"rotate(1,2)", false}, {"rotate(1,2,3,4)", false}, {"scale(1,2,3)", false}, {"translate(1,2,3)", false},
      {"matrix(1,2,3,4,5)", false}, {"matrix(1,2,3,4,5,6,7)", false}, {"skewX(1,2)", false},
      {"skewY()", false},
      // numbers and products a float cannot hold
      {"translate(1e39)", false}, {"scale(1e30) scale(1e30)", false}, {"translate(1e)", false},
  };
  const TMatrix untouched = TMatrix::CreateTranslation(42, 43);
  for (const auto& c : cases) {
    TMatrix m = untouched;
    EXPECT_EQ(TryParseTransform(c.text, m), c.ok) << '"' << c.text << '"';
    if (!c.ok) {
      EXPECT_EQ(m, untouched) << '"' << c.text << '"';
    }
  }
  TMatrix m = untouched;
  ASSERT_TRUE(TryParseTransform("  ", m));
  EXPECT_EQ(m, TMatrix::Identity());
}

TEST(Transforms, BuildersCheckTheirArgumentCount) {
  EXPECT_EQ(TranslateFromArgs("1,2"), TMatrix::CreateTranslation(1, 2));
  EXPECT_EQ(ScaleFromArgs("2"), TMatrix::CreateScaling(2, 2));
  EXPECT_EQ(MatrixFromArgs("1,2,3"), TMatrix::Zero());
  EXPECT_EQ(RotateFromArgs(""), TMatrix::Zero());
  EXPECT_EQ(SkewYFromArgs("a"), SkewYFromArgs("0"));  // a bad number is 0
  EXPECT_TRUE(MapsTo(SkewXFromArgs("45"), {0, 1}, {1, 1}));  // degrees
  EXPECT_TRUE(MapsTo(SkewYFromArgs("-45"), {1, 0}, {1, -1}));
}

// --- view boxes and preserveAspectRatio -------------------------------------------------

TEST(ViewBoxes, TryParseViewBox) {
  const struct {
    const char* text;
    bool ok;
    TFRect rect;
  } cases[] = {
      {"0 0 100 50", true, {0, 0, 100, 50}}, {"0,0,100,50", true, {0, 0, 100, 50}},
      {" -5\t1.5\n200 , 3 ", true, {-5, 1.5f, 200, 3}}, {"0 0 0 0", true, {}}, {"1-2 3e1.5", true, {1, -2, 30, 0.5f}},
      {"0 0 -1 5", false, {}}, {"0 0 5 -1", false, {}}, {"0 0 100", false, {}}, {"0 0 100 50 7", false, {}},
      {"", false, {}}, {"0 0 100px 50", false, {}}, {"a b c d", false, {}}, {"0,0,100,50,", false, {}},
      {"0 0 1e39 5", false, {}},
  };
  const TFRect untouched{7, 8, 9, 10};
  for (const auto& c : cases) {
    TFRect r = untouched;
    EXPECT_EQ(TryParseViewBox(c.text, r), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(r, c.ok ? c.rect : untouched) << '"' << c.text << '"';
  }
}

TEST(ViewBoxes, TryParsePreserveAspectRatio) {
  using A = TAspectAlign;
  const struct {
    const char* text;
    bool ok;
    TPreserveAspectRatio par;
  } cases[] = {
      {"xMidYMid", true, {A::xMidYMid, false}}, {"none", true, {A::None, false}},
      {"xMinYMax slice", true, {A::xMinYMax, true}}, {"defer xMaxYMin meet", true, {A::xMaxYMin, false}},
      {" \txMidYMid \n slice ", true, {A::xMidYMid, true}}, {"none slice", true, {A::None, true}},
      {"xMinYMin", true, {A::xMinYMin, false}}, {"xMaxYMax", true, {A::xMaxYMax, false}},
      {"xMidYMax", true, {A::xMidYMax, false}}, {"xMinYMid", true, {A::xMinYMid, false}},
      {"", false, {}}, {"defer", false, {}}, {"xmidymid", false, {}}, {"xMidYMid foo", false, {}},
      {"meet", false, {}}, {"slice xMidYMid", false, {}}, {"xMidYMid meet slice", false, {}},
      {"defer defer xMidYMid", false, {}}, {"xMidYMid,slice", false, {}}, {"xMidYMidslice", false, {}},
  };
  const TPreserveAspectRatio untouched{A::xMaxYMid, true};
  for (const auto& c : cases) {
    TPreserveAspectRatio par = untouched;
    EXPECT_EQ(TryParsePreserveAspectRatio(c.text, par), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(par, c.ok ? c.par : untouched) << '"' << c.text << '"';
  }
}

TEST(ViewBoxes, ViewBoxToViewportMapsTheCorners) {
  using A = TAspectAlign;
  // A 100 x 50 view box into a 200 x 200 viewport: meet scales by 2 and
  // leaves 100 to share out vertically, slice scales by 4 and crops 200
  // horizontally, none scales 2 by 4.
  const TFRect box{0, 0, 100, 50};
  const TRectF port{0, 0, 200, 200};
  const struct {
    TFRect box;
    TPreserveAspectRatio par;
    TRectF port;
    TPointF topLeft, bottomRight;  // where the view box corners go
  } cases[] = {
      {box, {A::xMidYMid, false}, port, {0, 50}, {200, 150}},
      {box, {A::xMinYMin, false}, port, {0, 0}, {200, 100}},
      {box, {A::xMaxYMax, false}, port, {0, 100}, {200, 200}},
      {box, {A::xMidYMid, true}, port, {-100, 0}, {300, 200}},
      {box, {A::xMinYMid, true}, port, {0, 0}, {400, 200}},
      {box, {A::xMaxYMin, true}, port, {-200, 0}, {200, 200}},
      {box, {A::None, false}, port, {0, 0}, {200, 200}},
      {box, {A::None, true}, port, {0, 0}, {200, 200}},
      // the view box origin and the viewport origin both count
      {{10, 20, 100, 50}, {A::xMinYMin, false}, {5, 7, 205, 207}, {5, 7}, {205, 107}},
      {{-50, -25, 100, 50}, {A::xMidYMid, false}, {0, 0, 100, 100}, {0, 25}, {100, 75}},
  };
  for (const auto& c : cases) {
    const TMatrix m = ViewBoxToViewportMatrix(c.box, c.par, c.port);
    EXPECT_TRUE(MapsTo(m, {c.box.Left, c.box.Top}, c.topLeft)) << int(c.par.Align) << " slice " << c.par.Slice;
    EXPECT_TRUE(MapsTo(m, {c.box.Left + c.box.Width, c.box.Top + c.box.Height}, c.bottomRight))
        << int(c.par.Align) << " slice " << c.par.Slice;
  }
  // An empty view box: only the move to the viewport origin.
  for (const TFRect& empty : {TFRect{3, 4, 0, 10}, TFRect{3, 4, 10, 0}, TFRect{3, 4, -1, 10}})
    EXPECT_EQ(ViewBoxToViewportMatrix(empty, {}, {5, 7, 205, 207}), TMatrix::CreateTranslation(5, 7));
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
