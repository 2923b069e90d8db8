// CSS declaration blocks (TStyle) and style sheets (TStyleList): merging,
// removal by empty values, quotes, whole-sheet parsing, the list operations
// and the name index behind GetStyle.

#include <gtest/gtest.h>

#include <string>

#include "svg/SVGStyle.h"

using namespace karto;

namespace {

// "k=v;k=v" in order.
std::string Dump(const TStyle& s) {
  std::string out;
  for (int i = 0; i < s.Count(); ++i) {
    if (i) out += ';';
    out += s.GetKey(i) + "=" + s.GetValue(i);
  }
  return out;
}

// "name{k=v;...} name{...}" in order.
std::string Dump(const TStyleList& l) {
  std::string out;
  for (int i = 0; i < l.Count(); ++i) {
    if (i) out += ' ';
    out += l.Get(i)->Name() + "{" + Dump(*l.Get(i)) + "}";
  }
  return out;
}

// --- declarations --------------------------------------------------------------------

TEST(Declarations, SetValuesParsesAndMerges) {
  const struct {
    const char* before;
    const char* text;
    const char* after;
  } cases[] = {
      {"", "fill:red; stroke : blue ;;opacity", "fill=red;stroke=blue"},
      {"fill:red;stroke:blue", "fill:blue", "fill=blue;stroke=blue"},
      {"fill:red;stroke:blue", "fill:", "stroke=blue"},
      {"fill:red", "fill:''", ""},
      {"", "fill:", "fill="},
      {"", "  font-family : 'Bob Sans' ; x:\"a;b\"", "font-family=Bob Sans;x=\"a"},
      {"", "a:1;a:2;b:3;a:4", "a=4;b=3"},
      {"", "url:url(data:x;base64,AA)", "url=url(data:x"},
      {"", "Fill:red;fill:blue", "Fill=red;fill=blue"},
      {"", "a:b:c", "a=b:c"},
      {"", ":x;y", "=x"},
  };
  for (const auto& c : cases) {
    TStyle s;
    s.SetValues(c.before);
    s.SetValues(c.text);
    EXPECT_EQ(Dump(s), c.after) << '"' << c.before << "\" + \"" << c.text << '"';
  }
}

TEST(Declarations, AddStyleStripsOnePairOfQuotes) {
  const struct {
    const char* value;
    const char* stored;
  } cases[] = {{"'a'", "a"}, {"\"a\"", "a"}, {"'a", "'a"}, {"a'", "a'"}, {"'a\"", "'a\""},
               {"''x''", "'x'"}, {"'", ""}, {"x", "x"}};
  for (const auto& c : cases) {
    TStyle s;
    EXPECT_EQ(s.AddStyle("k", c.value), 0);
    EXPECT_EQ(s.Get("k"), c.stored) << c.value;
  }
}

TEST(Declarations, EmptyValueRemovesExistingKeyButAddsNewOne) {
  TStyle s;
  s.SetValues("a:1;b:2;c:3");
  EXPECT_EQ(s.AddStyle("b", ""), 1);
  EXPECT_EQ(Dump(s), "a=1;c=3");
  EXPECT_EQ(s.AddStyle("a", "\"\""), 0);
  EXPECT_EQ(Dump(s), "c=3");
  EXPECT_EQ(s.AddStyle("new", ""), 1);
  EXPECT_EQ(Dump(s), "c=3;new=");
  // Get cannot tell a missing key from an empty value; IndexOf can.
  EXPECT_EQ(s.Get("new"), "");
  EXPECT_EQ(s.Get("missing"), "");
  EXPECT_EQ(s.IndexOf("new"), 1);
  EXPECT_EQ(s.IndexOf("missing"), -1);
}

TEST(Declarations, PositionalAccessIgnoresInvalidPositions) {
  TStyle s;
  s.SetValues("a:1;b:2;c:3");
  s.PutKey(1, "B");
  s.PutValue(0, "'x'");
  s.PutValue(5, "y");
  s.PutKey(-1, "z");
  s.Delete(7);
  EXPECT_EQ(Dump(s), "a=x;B=2;c=3");
  EXPECT_EQ(s.GetValue(3), "");
  EXPECT_EQ(s.GetKey(-1), "");
  s.PutValue(1, "");
  EXPECT_EQ(Dump(s), "a=x;c=3");
  EXPECT_EQ(s.Remove("c"), 1);
  EXPECT_EQ(s.Remove("c"), -1);
  s.Delete(0);
  EXPECT_EQ(s.Count(), 0);
}

TEST(Declarations, CloneCopiesNameAndOrderAndClearKeepsName) {
  TStyleList list;
  list.Add(".a", "x:1;y:2");
  std::unique_ptr<TStyle> copy = list.Get(0)->Clone();
  copy->Put("x", "9");
  EXPECT_EQ(copy->Name(), ".a");
  EXPECT_EQ(Dump(*copy), "x=9;y=2");
  EXPECT_EQ(Dump(*list.Get(0)), "x=1;y=2");
  copy->Clear();
  EXPECT_EQ(copy->Count(), 0);
  EXPECT_EQ(copy->Name(), ".a");
}

TEST(Declarations, NewKeysStopAtTheLimit) {
  std::string text;
  for (int i = 0; i < TStyle::kMaxDeclarations + 100; ++i) text += "k" + std::to_string(i) + ":1;";
  TStyle s;
  s.SetValues(text);
  EXPECT_EQ(s.Count(), TStyle::kMaxDeclarations);
  EXPECT_EQ(s.AddStyle("another", "1"), -1);
  EXPECT_EQ(s.AddStyle("k0", "2"), 0) << "existing keys still change";
  EXPECT_EQ(s.Get("k0"), "2");
}

// --- style sheets --------------------------------------------------------------------

struct SheetCase {
  const char* what;
  const char* sheet;
  const char* styles;
  int result;
};

void PrintTo(const SheetCase& c, std::ostream* os) { *os << c.what; }

class Sheets : public ::testing::TestWithParam<SheetCase> {};

TEST_P(Sheets, GiveOneStylePerSelector) {
  TStyleList list;
  EXPECT_EQ(list.Add(std::string_view(GetParam().sheet)), GetParam().result);
  EXPECT_EQ(Dump(list), GetParam().styles);
}

const SheetCase kSheets[] = {
    {"one rule", ".st0{fill:#FFFFFF;}", ".st0{fill=#FFFFFF}", 0},
    {"two rules on one line", ".st0{fill:#FFFFFF;}.st1{fill:none;stroke:#000}",
     ".st0{fill=#FFFFFF} .st1{fill=none;stroke=#000}", 1},
    {"one rule over several lines", "\n\t.st0\n{\n\tfill: red;\n\tstroke: blue\n}\n",
     ".st0{fill=red;stroke=blue}", 0},
    {"a grouped selector", "rect, .a ,#b{fill:red}", "rect{fill=red} .a{fill=red} #b{fill=red}", 2},
    {"comments anywhere", "/* head */ .a /* sel */ { fill: /* v */ red; /* x:y; */ } /* tail",
     ".a{fill=red}", 0},
    {"an unclosed comment hides the rest", ".a{fill:red} /* .b{fill:blue}", ".a{fill=red}", 0},
    {"quoted strings hide braces and comment marks", ".a{content:\"}/*\";fill:red}.b{x:1}",
     ".a{content=}/*;fill=red} .b{x=1}", 1},
    {"at-rules are skipped whole",
     "@import url(x.css); @media print { .p { fill: red } } @font-face{font-family:F} .a{fill:red}",
     ".a{fill=red}", 0},
    {"a block without its closing brace adds nothing", ".a{fill:red} .b{fill:blue", ".a{fill=red}", 0},
    {"stray closing braces and semicolons are skipped", "} ; .a{fill:red} } .b{x:1}", ".a{fill=red} .b{x=1}",
     1},
    {"markers that hid sheets from old browsers", "<!-- .a{fill:red} -->", ".a{fill=red}", 0},
    {"an empty block gives a style without declarations", ".a{}", ".a{}", 0},
    {"empty selectors give no style", "{fill:red} , {x:1}", "", -1},
    {"no rule at all", "fill:red", "", -1},
    {"empty text", "", "", -1},
};
INSTANTIATE_TEST_SUITE_P(Text, Sheets, ::testing::ValuesIn(kSheets));

TEST(SheetList, AddAppendsToWhatIsThere) {
  TStyleList list;
  list.Add("rect", "fill:red");
  EXPECT_EQ(list.Add(std::string_view(".a{x:1}")), 1);
  EXPECT_EQ(Dump(list), "rect{fill=red} .a{x=1}");
}

TEST(SheetList, GroupedSelectorsCannotBlowUpMemory) {
  // 100 000 selectors sharing 20 KB of declarations would copy 2 GB.
  std::string sheet;
  for (int i = 0; i < 100000; ++i) sheet += ".s" + std::to_string(i) + ",";
  sheet += ".last{d:" + std::string(20000, 'x') + "}";
  TStyleList list;
  list.Add(std::string_view(sheet));
  const size_t bound = TStyleList::kMaxSheetExpansion * sheet.size() + TStyleList::kSheetExpansionAllowance;
  EXPECT_GT(list.Count(), 0);
  EXPECT_LE(size_t(list.Count()) * 20000, bound);
  EXPECT_EQ(list.Get(0)->Name(), ".s0");
}

TEST(SheetList, InsertPutAndInvalidPositions) {
  TStyleList list;
  list.Add("a", "x:1");
  list.Add("b", "x:2");
  auto c = std::make_unique<TStyle>("c");
  EXPECT_FALSE(list.Insert(2, std::move(c))) << "inserting at Count is not possible";
  ASSERT_NE(c, nullptr) << "the caller keeps a style that was not inserted";
  EXPECT_TRUE(list.Insert(0, std::move(c)));
  EXPECT_FALSE(list.Insert(-1, "d", "x:4"));
  EXPECT_TRUE(list.Insert(1, "d", "x:4"));
  EXPECT_EQ(Dump(list), "c{} d{x=4} a{x=1} b{x=2}");

  auto e = std::make_unique<TStyle>("e");
  EXPECT_FALSE(list.Put(4, std::move(e)));
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(list.Put(0, std::move(e)));
  EXPECT_EQ(Dump(list), "e{} d{x=4} a{x=1} b{x=2}");
  EXPECT_EQ(list.Get(4), nullptr);
  EXPECT_EQ(list.Get(-1), nullptr);
}

TEST(SheetList, DeleteRemoveExchangeMoveAndClone) {
  TStyleList list;
  for (const char* n : {"a", "b", "c", "d"}) list.Add(n, "");
  list.Exchange(0, 3);
  list.Exchange(0, 9);
  EXPECT_EQ(Dump(list), "d{} b{} c{} a{}");
  list.Move(0, 2);
  list.Move(-1, 0);
  EXPECT_EQ(Dump(list), "b{} c{} d{} a{}");
  TStyle* c = list.Get(1);
  EXPECT_EQ(list.IndexOf(c), 1);
  EXPECT_EQ(list.Remove(c), 1);
  EXPECT_EQ(list.Remove(c), -1);
  list.Delete(5);
  list.Delete(0);
  EXPECT_EQ(Dump(list), "d{} a{}");
  const std::unique_ptr<TStyleList> copy = list.Clone();
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(Dump(*copy), "d{} a{}");
}

TEST(SheetList, GetStyleIsExactAndFindsTheFirstOfAName) {
  TStyleList list;
  list.Add(std::string_view(".Red{fill:red} .red{fill:pink} .red{fill:blue}"));
  EXPECT_EQ(list.GetStyle(".red")->Get("fill"), "pink");
  EXPECT_EQ(list.GetStyle(".Red")->Get("fill"), "red");
  EXPECT_EQ(list.GetStyle(".RED"), nullptr);
  EXPECT_EQ(list.GetStyle("red"), nullptr);
}

TEST(SheetList, GetStyleFollowsEveryChangeOfTheList) {
  // After each operation the answer must be that of a plain search.
  TStyleList list;
  auto check = [&](const char* after) {
    for (const char* name : {"a", "b", "c", "d", "x"}) {
      TStyle* expected = nullptr;
      for (int i = 0; i < list.Count() && !expected; ++i)
        if (list.Get(i)->Name() == name) expected = list.Get(i);
      EXPECT_EQ(list.GetStyle(name), expected) << name << " after " << after;
    }
  };
  list.Add("a", "");
  check("add");
  list.Add("b", "");
  list.Add("a", "");
  check("add of a duplicate");
  list.Insert(0, "b", "");
  check("insert");
  list.Exchange(0, 2);
  check("exchange");
  list.Move(2, 0);
  check("move");
  list.Delete(0);
  check("delete");
  list.Put(0, std::make_unique<TStyle>("c"));
  check("put");
  list.Remove(list.Get(1));
  check("remove");
  list.Add(std::string_view("d{} a{}"));
  check("sheet");
  list.Clear();
  check("clear");
}

}  // namespace
