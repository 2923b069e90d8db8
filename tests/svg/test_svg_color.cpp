// Colour values: keywords, hexadecimal and integer forms, rgb(), rgba(),
// hsl(), hsla(), the component rules and the fallbacks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "svg/SVGColor.h"

using namespace karto;

namespace {

std::string Hex(TAlphaColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", unsigned(c));
  return buf;
}

struct ColorCase {
  const char* text;
  TAlphaColor color;
};

void ExpectColors(std::initializer_list<ColorCase> cases) {
  for (const ColorCase& c : cases)
    EXPECT_EQ(Hex(ColorTextToAlphaColor(c.text)), Hex(c.color)) << '"' << c.text << '"';
}

TEST(Colors, EveryNotationOfRed) {
  ExpectColors({{"red", 0xFFFF0000}, {"#f00", 0xFFFF0000}, {"#ff0000", 0xFFFF0000}, {"ff0000", 0xFFFF0000},
                {"#FF0000", 0xFFFF0000}, {"rgb(255,0,0)", 0xFFFF0000}, {"rgb(100%, 0%, 0%)", 0xFFFF0000},
                {"rgb(ff, 0, 0)", 0xFFFF0000}, {"$FFFF0000", 0xFFFF0000}, {"hsl(0, 100%, 50%)", 0xFFFF0000},
                {"rgba(255, 0, 0, 1)", 0xFFFF0000}});
}

TEST(Colors, Keywords) {
  ExpectColors({
      // any ASCII case
      {"RED", 0xFFFF0000}, {"Red", 0xFFFF0000}, {"AliceBlue", 0xFFF0F8FF},
      // the three that were missing
      {"lightgrey", 0xFFD3D3D3}, {"slategrey", 0xFF708090}, {"snow", 0xFFFFFAFA},
      // transparent ones
      {"none", 0x00000000}, {"transparent", 0x00000000}, {"Transparent", 0x00000000},
      // a few rows of the table
      {"gray", 0xFF808080}, {"grey", 0xFF808080}, {"yellowgreen", 0xFF9ACD32}, {"darkslategrey", 0xFF2F4F4F},
      {"rebeccapurple", 0xFFFFFFFF},  // CSS 4, not in this table
  });
}

TEST(Colors, HexadecimalAndIntegerForms) {
  ExpectColors({
      {"#80ff0000", 0x80FF0000}, {"#abc", 0xFFAABBCC}, {"abc", 0xFFAABBCC}, {"#1234", 0x00001234},
      {"#12", 0x00000012}, {"#1234567", 0x01234567}, {"#123456789", 0x12345678},
      // decimal digits without "#" stay decimal: a transparent blue
      {"255", 0x000000FF}, {"#255", 0xFF225555}, {" 255", 0x000000FF}, {"-1", 0xFFFFFFFF},
      {"0x00ff00", 0x0000FF00}, {"$ff", 0x000000FF}, {"x10", 0x00000010},
      {"2147483647", 0x7FFFFFFF}, {"2147483648", 0xFFFFFFFF} /* too large: white */,
  });
}

TEST(Colors, FunctionForms) {
  ExpectColors({
      // white space around components
      {"rgb(255 , 0, 0)", 0xFFFF0000}, {"rgb( 255 ,0 , 0 )", 0xFFFF0000}, {"rgb(0,\t128,\n0)", 0xFF008000},
      // percentages: x 2.55, halves to even
      {"rgb(10%,30%,50%)", 0xFF1A4C80}, {"rgb(70%,200%,0%)", 0xFFB2FF00}, {"rgb(300, 0, 0)", 0xFFFF0000},
      // fewer commas: the leading components are empty
      {"rgb(5)", 0xFF000005}, {"rgb()", 0xFF000000},
      // rgba: alpha 0..1 or a percentage, clamped
      {"rgba(255,0,0,0.5)", 0x80FF0000}, {"rgba(255, 0, 0, 50%)", 0x80FF0000}, {"rgba(0,0,255,0)", 0x000000FF},
      {"rgba(0,0,0,2)", 0xFF000000}, {"rgba(0,0,0,-1)", 0x00000000}, {"rgba(0,0,0,.25)", 0x40000000},
      // hsl and hsla
      {"hsl(120, 100%, 25%)", 0xFF008000}, {"hsl(240,100%,50%)", 0xFF0000FF}, {"hsl(-120, 100%, 50%)", 0xFF0000FF},
      {"hsl(480, 100%, 50%)", 0xFF00FF00}, {"hsl(0, 0%, 50%)", 0xFF808080}, {"hsl(0,0%,100%)", 0xFFFFFFFF},
      {"hsl(60, 100%, 150%)", 0xFFFFFFFF}, {"hsla(120, 100%, 50%, 0.25)", 0x4000FF00},
      {"hsl(30.5, 50%, 50%)", 0xFFBF8140},
  });
}

TEST(Colors, UnrecognisedTextIsWhiteAndEmptyIsBlack) {
  ExpectColors({
      {"", 0xFF000000}, {"currentColor", 0xFFFFFFFF}, {"url(#a)", 0xFFFFFFFF}, {"reds", 0xFFFFFFFF},
      {"#ggg", 0xFFFFFFFF}, {"#", 0xFFFFFFFF}, {" red", 0xFFFFFFFF},
      // signs, decimal points and inner spaces in rgb components
      {"rgb(12.5, 0, 0)", 0xFFFFFFFF}, {"rgb(-1, 0, 0)", 0xFFFFFFFF}, {"rgb(1 2, 0, 0)", 0xFFFFFFFF},
      {"rgb(1,2,3,4)", 0xFFFFFFFF}, {"RGB(1,2,3)", 0xFFFFFFFF}, {"rgb(1,2,3", 0xFFFFFFFF},
      {"rgb (1,2,3)", 0xFFFFFFFF},
      // rgba and hsl need exactly their components; saturation and lightness need "%"
      {"rgba(1,2,3)", 0xFFFFFFFF}, {"rgba(1,2,3,4,5)", 0xFFFFFFFF}, {"rgba(1,2,3,x)", 0xFFFFFFFF},
      {"hsl(0, 100, 50)", 0xFFFFFFFF}, {"hsl(0,100%)", 0xFFFFFFFF}, {"hsla(0,100%,50%)", 0xFFFFFFFF},
      {"hsl(red, 1%, 1%)", 0xFFFFFFFF}, {"hsl(,1%,1%)", 0xFFFFFFFF},
  });
}

TEST(Colors, ComponentToByte) {
  const struct {
    const char* text;
    int byte;
  } cases[] = {
      {"", 0}, {"0", 0}, {"255", 255}, {"256", 255}, {"ff", 255}, {"1e", 30}, {" 7 ", 7},
      {"10%", 26}, {"30%", 76}, {"50%", 128}, {"70%", 178}, {"100%", 255}, {"150%", 255}, {"%", 0},
      {"-1", -1}, {"+1", -1}, {"1.5", -1}, {"1 2", -1}, {"g", -1}, {"4294967296", -1}, {"fffffffff", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ColorComponentToByte(c.text), c.byte) << '"' << c.text << '"';
}

TEST(Colors, Helpers) {
  EXPECT_TRUE(IsHexDigits("#"));
  EXPECT_TRUE(IsHexDigits("aF09"));
  EXPECT_FALSE(IsHexDigits("##a"));
  EXPECT_TRUE(IsDecimalDigits(""));
  EXPECT_FALSE(IsDecimalDigits("#1"));
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue('G'), 0);
  EXPECT_EQ(HexColorToIntText("#f0a"), "$FFFF00AA");
  EXPECT_EQ(HexColorToIntText("a1b2c3"), "$FFa1b2c3");
  EXPECT_EQ(HexColorToIntText("#123456789"), "$12345678");
  EXPECT_EQ(ColorWithAlpha(0xFFFF0000, 128), 0x80FF0000u);
  EXPECT_EQ(RgbFunctionToColor("hsl(0,0%,0%)"), 0xFFFFFFFFu);
  EXPECT_EQ(HslFunctionToColor("rgb(0,0,0)"), 0xFFFFFFFFu);
}

TEST(Colors, KeywordTableIsSortedAndComplete) {
  const std::vector<TColorRef>& table = ColorKeywords();
  EXPECT_EQ(table.size(), 149u);  // 147 CSS keywords, none, transparent
  EXPECT_TRUE(std::is_sorted(table.begin(), table.end(),
                             [](const TColorRef& a, const TColorRef& b) { return a.Name < b.Name; }));
  EXPECT_EQ(std::adjacent_find(table.begin(), table.end(),
                               [](const TColorRef& a, const TColorRef& b) { return a.Name == b.Name; }),
            table.end());
  for (const TColorRef& r : table) {
    EXPECT_EQ(ColorTextToAlphaColor(r.Name), r.Color) << r.Name;
    const bool transparentRow = r.Name == "none" || r.Name == "transparent";
    EXPECT_EQ(r.Color >> 24, transparentRow ? 0u : 255u) << r.Name;
  }
}

}  // namespace
