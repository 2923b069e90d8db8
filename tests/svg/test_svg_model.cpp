// The SVG document model: loading, styles, use expansion, sizes and
// matrices, shapes, gradients, text, limits. Each table row is a small
// drawing that shows one behaviour.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "svg/SVG.h"
#include "svg/SVGCommon.h"

using namespace karto;

namespace {

std::string Svg(const std::string& body, const std::string& rootAttributes = "viewBox=\"0 0 100 100\"") {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" " +
         rootAttributes + ">" + body + "</svg>";
}

struct Loaded {
  std::unique_ptr<TSVG> doc = std::make_unique<TSVG>();
  TSVGLoadResult result;
  TSVGBasic* operator[](const std::string& id) const {
    TSVGObject* o = doc->FindByID(id);
    EXPECT_NE(o, nullptr) << "no element \"" << id << "\"";
    // A missing element fails the test above and reads as an empty one.
    static TSVGBasic missing;
    auto* b = dynamic_cast<TSVGBasic*>(o);
    return b ? b : &missing;
  }
};

Loaded Load(const std::string& text, const std::string& folder = {}) {
  Loaded l;
  l.result = l.doc->LoadFromBytes(text, folder);
  EXPECT_TRUE(l.result.Ok) << l.result.Error;
  return l;
}

bool HasWarning(const TSVGLoadResult& r, std::string_view word) {
  for (const std::string& w : r.Warnings)
    if (w.find(word) != std::string::npos) return true;
  return false;
}

std::string Hex(TAlphaColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", c);
  return buf;
}

}  // namespace

// --- inheritance and initial values ------------------------------------------------------

struct PaintCase {
  const char* name;
  std::string body;
  bool fills;
  TAlphaColor fill;
  bool strokes;
  TAlphaColor stroke;
};

class InheritanceTest : public ::testing::TestWithParam<PaintCase> {};

TEST_P(InheritanceTest, FillAndStrokeFollowSvg) {
  const PaintCase& c = GetParam();
  Loaded l = Load(Svg(c.body));
  TSVGBasic* e = l["e"];
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->DoFill(), c.fills);
  if (c.fills) {
    EXPECT_EQ(Hex(e->FillColor()), Hex(c.fill));
  }
  EXPECT_EQ(e->DoStroke(), c.strokes);
  if (c.strokes) {
    EXPECT_EQ(Hex(e->StrokeColor()), Hex(c.stroke));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Model, InheritanceTest,
    ::testing::Values(
        // Initial values: filled black, no stroke.
        PaintCase{"NothingAnywhere", "<rect id='e' width='10' height='10'/>", true, 0xFF000000, false, 0},
        // A fill never becomes the stroke.
        PaintCase{"FillOnly", "<rect id='e' width='10' height='10' fill='red'/>", true, 0xFFFF0000, false, 0},
        PaintCase{"FillNone", "<rect id='e' width='10' height='10' fill='none'/>", false, 0, false, 0},
        // Inherited from ancestors, both ways.
        PaintCase{"FromGroup", "<g fill='blue' stroke='lime'><g><rect id='e' width='10' height='10'/></g></g>", true,
                  0xFF0000FF, true, 0xFF00FF00},
        PaintCase{"NoneFromGroup", "<g fill='none'><rect id='e' width='10' height='10'/></g>", false, 0, false, 0},
        PaintCase{"OwnWinsOverGroup", "<g fill='blue'><rect id='e' width='10' height='10' fill='red'/></g>", true,
                  0xFFFF0000, false, 0},
        // currentColor takes the inherited color.
        PaintCase{"CurrentColor",
                  "<g color='lime'><rect id='e' width='10' height='10' fill='currentColor' stroke='currentColor'/></g>",
                  true, 0xFF00FF00, true, 0xFF00FF00},
        // An invalid value is ignored: the inherited one applies, not black.
        PaintCase{"InvalidIgnored", "<g fill='blue'><rect id='e' width='10' height='10' fill='notacolour'/></g>",
                  true, 0xFF0000FF, false, 0},
        PaintCase{"UrlWithFallback", "<rect id='e' width='10' height='10' fill='url(#missing) red'/>", true,
                  0xFFFF0000, false, 0}),
    [](const auto& info) { return info.param.name; });

TEST(SvgModel, OpacitiesStayApart) {
  // opacity multiplies down the tree; fill-opacity and stroke-opacity inherit
  // without multiplying.
  Loaded l = Load(Svg("<g opacity='0.5' fill-opacity='0.4'><g opacity='0.5' stroke-opacity='0.3'>"
                      "<rect id='e' width='10' height='10' opacity='0.8'/></g></g>"));
  TSVGBasic* e = l["e"];
  EXPECT_FLOAT_EQ(e->Opacity(), 0.8f);
  EXPECT_FLOAT_EQ(e->EffectiveOpacity(), 0.2f);
  EXPECT_FLOAT_EQ(e->FillOpacity(), 0.4f);
  EXPECT_FLOAT_EQ(e->StrokeOpacity(), 0.3f);
}

TEST(SvgModel, StrokeAndFontPropertiesInherit) {
  Loaded l = Load(Svg("<g stroke-width='3' stroke-linecap='round' stroke-linejoin='bevel' stroke-miterlimit='7' "
                      "stroke-dasharray='5 3 2' stroke-dashoffset='1' fill-rule='evenodd' visibility='hidden' "
                      "font-family=\"'Noto Sans', serif\" font-size='20' font-weight='bold' font-style='italic'>"
                      "<rect id='e' width='10' height='10'/></g><rect id='d' width='1' height='1'/>"));
  TSVGBasic* e = l["e"];
  EXPECT_FLOAT_EQ(e->StrokeWidth(), 3);
  EXPECT_EQ(e->StrokeLineCap(), TLineCap::Round);
  EXPECT_EQ(e->StrokeLineJoin(), TLineJoin::Bevel);
  EXPECT_FLOAT_EQ(e->StrokeMiterLimit(), 7);
  EXPECT_EQ(e->StrokeDashArray(), (std::vector<float>{5, 3, 2, 5, 3, 2}));
  EXPECT_FLOAT_EQ(e->StrokeDashOffset(), 1);
  EXPECT_EQ(e->FillRule(), TFillRule::EvenOdd);
  EXPECT_FALSE(e->IsVisible());
  EXPECT_EQ(e->FontName(), "Noto Sans");
  EXPECT_FLOAT_EQ(e->FontSize(), 20);
  EXPECT_EQ(e->FontWeight(), 700);
  EXPECT_EQ(e->FontStyle(), TFontStyle::Italic);
  // The defaults.
  TSVGBasic* d = l["d"];
  EXPECT_FLOAT_EQ(d->StrokeWidth(), 1);
  EXPECT_EQ(d->StrokeLineCap(), TLineCap::Butt);
  EXPECT_FLOAT_EQ(d->StrokeMiterLimit(), 4);
  EXPECT_TRUE(d->StrokeDashArray().empty());
  EXPECT_TRUE(d->IsVisible());
  EXPECT_FLOAT_EQ(d->FontSize(), 16);
}

TEST(SvgModel, VisibleDescendantOfHiddenGroupShows) {
  Loaded l = Load(Svg("<g visibility='hidden'><rect id='h' width='1' height='1'/>"
                      "<rect id='v' width='1' height='1' visibility='visible'/></g>"
                      "<g display='none'><rect id='n' width='1' height='1' display='inline'/></g>"));
  EXPECT_FALSE(l["h"]->IsVisible());
  EXPECT_TRUE(l["v"]->IsVisible());
  // display is not inherited, but a group that is not displayed hides all.
  EXPECT_FALSE(l["n"]->Style().DisplayNone);
  EXPECT_FALSE(l["n"]->IsDisplayed());
}

// --- precedence ------------------------------------------------------------------------

struct CascadeCase {
  const char* name;
  std::string text;  // the whole document
  TAlphaColor fill;  // of the element with id "e"
};

class CascadeTest : public ::testing::TestWithParam<CascadeCase> {};

TEST_P(CascadeTest, WinnerFollowsCss) {
  Loaded l = Load(GetParam().text);
  TSVGBasic* e = l["e"];
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(Hex(e->FillColor()), Hex(GetParam().fill));
}

INSTANTIATE_TEST_SUITE_P(
    Model, CascadeTest,
    ::testing::Values(
        // Presentation attribute < style sheet < style attribute.
        CascadeCase{"SheetBeatsAttribute",
                    Svg("<style>rect{fill:blue}</style><rect id='e' width='1' height='1' fill='red'/>"), 0xFF0000FF},
        CascadeCase{"StyleAttributeBeatsSheet",
                    Svg("<style>#e{fill:blue}</style><rect id='e' width='1' height='1' style='fill:lime'/>"),
                    0xFF00FF00},
        // Specificity: type < class < id, whatever the order in the sheet.
        CascadeCase{"IdBeatsClass",
                    Svg("<style>#e{fill:blue} .c{fill:red} rect{fill:yellow}</style>"
                        "<rect id='e' class='c' width='1' height='1'/>"),
                    0xFF0000FF},
        CascadeCase{"ClassBeatsType",
                    Svg("<style>.c{fill:red} rect{fill:yellow}</style><rect id='e' class='c' width='1' height='1'/>"),
                    0xFFFF0000},
        CascadeCase{"LaterRuleWinsTie",
                    Svg("<style>.a{fill:red} .b{fill:lime}</style><rect id='e' class='b a' width='1' height='1'/>"),
                    0xFF00FF00},
        CascadeCase{"CompoundSelector",
                    Svg("<style>rect.a{fill:lime} .a{fill:red}</style><rect id='e' class='a' width='1' height='1'/>"),
                    0xFF00FF00},
        CascadeCase{"UniversalAndGrouped",
                    Svg("<style>* {fill:red} circle, rect {fill:lime}</style><rect id='e' width='1' height='1'/>"),
                    0xFF00FF00},
        CascadeCase{"ImportantBeatsStyleAttribute",
                    Svg("<style>rect{fill:lime !important}</style><rect id='e' width='1' height='1' style='fill:red'/>"),
                    0xFF00FF00},
        // The whole sheet applies wherever it stands, CDATA or not, rules
        // over several lines.
        CascadeCase{"SheetAfterElements",
                    Svg("<rect id='e' width='1' height='1'/><style>\n#e\n{\n  fill:\n lime;\n}\n</style>"), 0xFF00FF00},
        CascadeCase{"SheetInCdata",
                    Svg("<style><![CDATA[ .c { fill: lime } ]]></style><rect id='e' class='c' width='1' height='1'/>"),
                    0xFF00FF00},
        CascadeCase{"SheetAppliesToRoot",
                    "<svg xmlns='http://www.w3.org/2000/svg' id='root'><style>svg{fill:lime}</style>"
                    "<rect id='e' width='1' height='1'/></svg>",
                    0xFF00FF00},
        // Descendant and child combinators, :first-child.
        CascadeCase{"DescendantAndChild",
                    Svg("<style>g rect{fill:lime} svg > rect{fill:red}</style><g><rect id='e' width='1' height='1'/></g>"),
                    0xFF00FF00},
        CascadeCase{"ChildOfRoot",
                    Svg("<style>svg > rect{fill:lime}</style><rect id='e' width='1' height='1' fill='red'/>"), 0xFF00FF00},
        CascadeCase{"FirstChild",
                    Svg("<style>rect:first-child{fill:lime}</style><g>text<rect id='e' width='1' height='1'/><rect/></g>"),
                    0xFF00FF00},
        // Unsupported selectors are skipped, never applied to the wrong element.
        CascadeCase{"UnsupportedSkipped",
                    Svg("<style>[id=e]{fill:red} rect + rect{fill:red} rect:hover{fill:red} rect::before{fill:red}</style>"
                        "<rect/><rect id='e' width='1' height='1' fill='lime'/>"),
                    0xFF00FF00},
        // An invalid value in a stronger declaration leaves the weaker one.
        CascadeCase{"InvalidStrongerIgnored",
                    Svg("<style>rect{fill:blorp}</style><rect id='e' width='1' height='1' fill='lime'/>"), 0xFF00FF00},
        // Found by fuzzing: elements inside a style element are no part of
        // the drawing (and once crashed the reader).
        CascadeCase{"ElementsInsideStyle",
                    Svg("<style><style>x</style><rect id='e'/>rect{fill:lime}</style><rect id='e' width='1' height='1'/>"),
                    0xFF00FF00},
        CascadeCase{"StyleTypeNotCss",
                    Svg("<style type='text/foo'>rect{fill:red}</style><rect id='e' width='1' height='1' fill='lime'/>"),
                    0xFF00FF00}),
    [](const auto& info) { return info.param.name; });

TEST(SvgModel, GetStyleValueReadsTheSheet) {
  Loaded l = Load(Svg("<style>.st0{fill:#FFFFFF;stroke:none}</style>"));
  EXPECT_EQ(l.doc->GetStyleValue(".st0", "fill"), "#FFFFFF");
  EXPECT_EQ(l.doc->GetStyleValue(".st1", "fill"), "");
}

// --- transforms and matrices ---------------------------------------------------------------

struct MatrixCase {
  const char* name;
  std::string body;  // element "e", a 0..10 square at the origin unless said
  TPointF from;      // a point of e
  TPointF to;        // where it lands in the root's user space
};

class MatrixTest : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(MatrixTest, PointLandsWhereSvgPutsIt) {
  const MatrixCase& c = GetParam();
  Loaded l = Load(Svg(c.body));
  TSVGObject* o = l.doc->FindByID("e");
  ASSERT_NE(o, nullptr);
  const auto* e = dynamic_cast<const TSVGMatrix*>(o);
  const TPointF p = e->TransformPoint(c.from);
  EXPECT_NEAR(p.X, c.to.X, 1e-3);
  EXPECT_NEAR(p.Y, c.to.Y, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(
    Model, MatrixTest,
    ::testing::Values(
        MatrixCase{"None", "<rect id='e' width='10' height='10'/>", {3, 4}, {3, 4}},
        // The last written transform acts first.
        MatrixCase{"Order", "<rect id='e' width='10' height='10' transform='translate(10,0) scale(2)'/>", {1, 1}, {12, 2}},
        MatrixCase{"CommasBetween", "<rect id='e' transform='translate(10,0),scale(2)'/>", {1, 1}, {12, 2}},
        MatrixCase{"SkewDegrees", "<rect id='e' transform='skewX(45)'/>", {0, 10}, {10, 10}},
        MatrixCase{"RotateAboutCentre", "<rect id='e' transform='rotate(90, 10, 10)'/>", {0, 0}, {20, 0}},
        MatrixCase{"NestedGroups",
                   "<g transform='translate(5 5)'><g transform='scale(2)'><rect id='e' transform='translate(1 0)'/></g></g>",
                   {0, 0}, {7, 5}},
        // A transform in CSS replaces the attribute; transform-origin moves
        // the point it turns about.
        MatrixCase{"CssTransform", "<rect id='e' transform='scale(5)' style='transform: translate(3, 4)'/>", {1, 1},
                   {4, 5}},
        MatrixCase{"TransformOrigin", "<rect id='e' transform='rotate(90)' style='transform-origin: 10px 10px'/>",
                   {0, 0}, {20, 0}},
        // An invalid transform is ignored whole.
        MatrixCase{"InvalidIgnored", "<rect id='e' transform='translate(10,0) bogus(1)'/>", {1, 1}, {1, 1}},
        // use: x and y after the use's own transform.
        MatrixCase{"UseOffsetAfterTransform",
                   "<defs><rect id='r' width='1' height='1'/></defs>"
                   "<use id='e' xlink:href='#r' x='10' transform='scale(2)'/>",
                   {0, 0}, {20, 0}},
        // A nested svg maps its view box onto its viewport.
        MatrixCase{"NestedSvgViewBox", "<svg id='e' x='10' y='10' width='20' height='20' viewBox='0 0 10 10'/>",
                   {10, 10}, {30, 30}}),
    [](const auto& info) { return info.param.name; });

TEST(SvgModel, RootViewBoxAndAspectRatio) {
  struct Case {
    const char* attrs;
    TPointF from, to;
  } cases[] = {
      // Meet, centred: 0 0 100 50 into 200 x 200 scales by 2, centred vertically.
      {"width='200' height='200' viewBox='0 0 100 50'", {0, 0}, {0, 50}},
      {"width='200' height='200' viewBox='0 0 100 50' preserveAspectRatio='xMinYMin'", {0, 0}, {0, 0}},
      {"width='200' height='200' viewBox='0 0 100 50' preserveAspectRatio='xMaxYMax slice'", {100, 50}, {200, 200}},
      {"width='200' height='200' viewBox='0 0 100 50' preserveAspectRatio='none'", {100, 50}, {200, 200}},
      {"width='200' height='100' viewBox='50 50 100 50'", {50, 50}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attrs);
    Loaded l = Load(Svg("<rect id='e' width='1' height='1'/>", c.attrs));
    const TPointF p = dynamic_cast<TSVGMatrix*>(l.doc->FindByID("e"))->Matrix().Transform(c.from);
    EXPECT_NEAR(p.X, c.to.X, 1e-3);
    EXPECT_NEAR(p.Y, c.to.Y, 1e-3);
  }
}

TEST(SvgModel, DocumentSize) {
  struct Case {
    const char* attrs;
    const char* body;
    float width, height;
  } cases[] = {
      {"width='200' height='100'", "", 200, 100},
      {"viewBox='0 0 300 150'", "", 300, 150},
      // Units as CSS defines them.
      {"width='1in' height='2.54cm'", "", 96, 96},
      {"width='72pt' height='10mm'", "", 96, 37.795f},
      {"width='2em' height='3ex'", "", 32, 24},
      // One side given with a view box: the other follows its proportions.
      {"width='200' viewBox='0 0 100 50'", "", 200, 100},
      {"width='100%' height='50%' viewBox='0 0 100 80'", "", 100, 40},
      // Neither size nor view box: the bounds of what it draws.
      {"", "<rect x='10' y='20' width='30' height='40'/><circle cx='70' cy='5' r='5'/>", 75, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attrs);
    Loaded l = Load("<svg xmlns='http://www.w3.org/2000/svg' " + std::string(c.attrs) + ">" + c.body + "</svg>");
    EXPECT_NEAR(l.doc->DocumentWidth(), c.width, 1e-2);
    EXPECT_NEAR(l.doc->DocumentHeight(), c.height, 1e-2);
  }
}

TEST(SvgModel, PercentagesAndEmResolveAgainstViewportAndFont) {
  Loaded l = Load(Svg("<rect id='r' x='10%' y='50%' width='25%' height='2em' font-size='8'/>"
                      "<circle id='c' r='10%'/>",
                      "viewBox='0 0 200 100'"));
  TSVGBasic* r = l["r"];
  EXPECT_FLOAT_EQ(r->X(), 20);
  EXPECT_FLOAT_EQ(r->Y(), 50);
  EXPECT_FLOAT_EQ(r->Width(), 50);
  EXPECT_FLOAT_EQ(r->Height(), 16);
  // Other lengths: the normalised diagonal, sqrt((w² + h²) / 2).
  EXPECT_NEAR(l["c"]->Width(), 0.1 * std::sqrt((200.0 * 200 + 100 * 100) / 2), 1e-3);
}

TEST(SvgModel, CssUnitsResolve) {
  // The root's font size is 20, the element's 10, the viewport 200 x 100.
  const struct {
    const char* width;
    float expected;
  } cases[] = {
      {"4Q", 4 * 96 / 101.6f}, {"2rem", 40}, {"2ch", 10}, {"50vw", 100}, {"50vh", 50},
      {"10vmin", 10}, {"10vmax", 20},
  };
  for (const auto& c : cases) {
    Loaded l = Load(Svg(std::string("<rect id='r' width='") + c.width + "' height='1' font-size='10'/>",
                        "viewBox='0 0 200 100' font-size='20'"));
    ASSERT_NE(l["r"], nullptr) << c.width;
    EXPECT_NEAR(l["r"]->Width(), c.expected, 1e-4) << c.width;
  }
}

TEST(SvgModel, TextPositionListsAreNoInvalidLengths) {
  Loaded l = Load(Svg("<text id='t' x='30 40 50' y='10, 20'>abc</text>"));
  EXPECT_FALSE(HasWarning(l.result, "invalid")) << (l.result.Warnings.empty() ? "" : l.result.Warnings[0]);
}

// --- shapes ---------------------------------------------------------------------------

TEST(SvgModel, BasicShapesFollowSvg) {
  struct Case {
    const char* element;
    int points;  // path entries, -1 for no geometry
    TRectF bounds;
  } cases[] = {
      {"<rect id='e' x='1' y='2' width='10' height='5'/>", 5, {1, 2, 11, 7}},
      {"<rect id='e' width='0' height='5'/>", -1, {}},
      {"<rect id='e' width='-3' height='5'/>", -1, {}},
      {"<circle id='e' cx='10' cy='10' r='5'/>", 14, {5, 5, 15, 15}},
      {"<circle id='e' cx='10' cy='10' r='0'/>", -1, {}},
      {"<ellipse id='e' cx='10' cy='10' rx='5'/>", 14, {5, 5, 15, 15}},  // ry "auto" = rx
      {"<line id='e' x1='0' y1='10' x2='10' y2='0'/>", 2, {0, 0, 10, 10}},
      // One connected figure; an odd count keeps the complete pairs.
      {"<polyline id='e' points='0,0 10,0 10,10 5'/>", 3, {0, 0, 10, 10}},
      {"<polygon id='e' points='0 0 10 0 10 10'/>", 4, {0, 0, 10, 10}},
      {"<polyline id='e' points='5 5'/>", -1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    Loaded l = Load(Svg(c.element));
    TSVGBasic* e = l["e"];
    if (c.points < 0) {
      EXPECT_TRUE(!e->PathData() || e->PathData()->IsEmpty());
      continue;
    }
    ASSERT_NE(e->PathData(), nullptr);
    EXPECT_EQ(e->PathData()->Count(), c.points);
    const TRectF b = e->PathData()->GetBounds();
    EXPECT_NEAR(b.Left, c.bounds.Left, 1e-4);
    EXPECT_NEAR(b.Top, c.bounds.Top, 1e-4);
    EXPECT_NEAR(b.Right, c.bounds.Right, 1e-4);
    EXPECT_NEAR(b.Bottom, c.bounds.Bottom, 1e-4);
  }
}

TEST(SvgModel, PolygonClosesBackToItsFirstPoint) {
  Loaded l = Load(Svg("<polygon id='e' points='0 0 10 0 10 10'/><polyline id='p' points='0 0 10 0 10 10'/>"));
  const TPathData* g = l["e"]->PathData();
  EXPECT_EQ(g->Points(g->Count() - 1).Kind, ppClose);
  EXPECT_EQ(g->Points(0).Kind, ppMoveTo);
  EXPECT_EQ(g->Points(1).Kind, ppLineTo);
  EXPECT_EQ(g->Points(2).Kind, ppLineTo);
  EXPECT_NE(l["p"]->PathData()->Points(2).Kind, ppClose);
}

TEST(SvgModel, RectRadiiFollowAutoRules) {
  struct Case {
    const char* attrs;
    float rx, ry;
  } cases[] = {
      {"rx='3'", 3, 3}, {"ry='4'", 4, 4}, {"rx='8'", 5, 5}, {"rx='2' ry='30'", 2, 5}, {"", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attrs);
    Loaded l = Load(Svg("<rect id='e' width='10' height='10' " + std::string(c.attrs) + "/>"));
    EXPECT_FLOAT_EQ(l["e"]->RX(), c.rx);
    EXPECT_FLOAT_EQ(l["e"]->RY(), c.ry);
  }
}

TEST(SvgModel, PathKeepsAllSubpathsAndWhatPrecedesAnError) {
  Loaded l = Load(Svg("<path id='h' d='M0 0H10V10H0Z M2 2H8V8H2Z'/><path id='b' d='M0 0 L10 0 L10 10 L x'/>"));
  // A square with a hole: one geometry with both figures.
  const TPathData* h = l["h"]->PathData();
  ASSERT_NE(h, nullptr);
  int moves = 0;
  for (const TPathPoint& p : h->PointList()) moves += p.Kind == ppMoveTo;
  EXPECT_EQ(moves, 2);
  // Broken data keeps what came before and the document loads on.
  ASSERT_NE(l["b"]->PathData(), nullptr);
  EXPECT_EQ(l["b"]->PathData()->Count(), 3);
  EXPECT_TRUE(HasWarning(l.result, "path"));
}

// --- structure ------------------------------------------------------------------------

TEST(SvgModel, SwitchShowsFirstPassingChild) {
  Loaded l = Load(Svg("<switch><rect id='a' width='1' height='1' systemLanguage='ru'/>"
                      "<rect id='b' width='1' height='1' systemLanguage='en-GB, fr'/>"
                      "<rect id='c' width='1' height='1'/></switch>"
                      "<rect id='x' width='1' height='1' requiredExtensions='http://example.org/ext'/>"
                      // Found by fuzzing: stray commas once stopped the reading.
                      "<rect id='y' width='1' height='1' systemLanguage='ru,,en'/>"
                      "<rect id='z' width='1' height='1' systemLanguage='en,'/>"));
  EXPECT_FALSE(l["a"]->IsDisplayed());
  EXPECT_TRUE(l["b"]->IsDisplayed());
  EXPECT_FALSE(l["c"]->IsDisplayed());
  EXPECT_FALSE(l["x"]->IsDisplayed());
  EXPECT_TRUE(l["y"]->IsDisplayed());
  EXPECT_TRUE(l["z"]->IsDisplayed());
}

TEST(SvgModel, AnchorGroupsAndForeignElementsAreSkipped) {
  Loaded l = Load(Svg("<a id='a' fill='lime'><rect id='e' width='1' height='1'/></a>"
                      "<random><rect id='hidden' width='1' height='1'/></random>"
                      "<foo:rect xmlns:foo='http://example.org' id='foreign'/>"
                      "<s:rect xmlns:s='http://www.w3.org/2000/svg' id='prefixed' width='1' height='1'/>"));
  EXPECT_NE(dynamic_cast<TSVGContainer*>(l.doc->FindByID("a")), nullptr);
  EXPECT_EQ(Hex(l["e"]->FillColor()), "FF00FF00");
  EXPECT_EQ(l.doc->FindByID("hidden"), nullptr);
  EXPECT_EQ(l.doc->FindByID("foreign"), nullptr);
  EXPECT_NE(dynamic_cast<TSVGRect*>(l.doc->FindByID("prefixed")), nullptr);
  EXPECT_TRUE(HasWarning(l.result, "random"));
}

TEST(SvgModel, FindByTypeMatchesExactClassInDocumentOrder) {
  Loaded l = Load(Svg("<polyline id='a' points='0 0 1 1'/><polygon id='b' points='0 0 1 1 1 0'/>"
                      "<g><polyline id='c' points='0 0 1 1'/></g>"));
  std::vector<std::string> ids;
  for (TSVGObject* o = l.doc->FindByType<TSVGPolyLine>(); o; o = l.doc->FindByType<TSVGPolyLine>(o))
    ids.emplace_back(o->ID());
  EXPECT_EQ(ids, (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(l.doc->FindByID("#b"), l.doc->FindByID("b"));
}

TEST(SvgModel, UseCopiesKeepEverythingOfTheOriginal) {
  Loaded l = Load(Svg("<defs><g id='g' fill='red'><rect id='r' width='5' height='5' stroke='blue'/></g></defs>"
                      "<use id='u' xlink:href='#g' x='10' fill='lime'/>"
                      "<use id='u2' href='#r' fill='lime'/>"));
  TSVGObject* u = l.doc->FindByID("u");
  ASSERT_EQ(u->Count(), 1);
  auto* copy = dynamic_cast<TSVGBasic*>(u->Items(0)->Items(0));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Hex(copy->FillColor()), "FFFF0000");  // the group's own fill beats the use's
  EXPECT_EQ(Hex(copy->StrokeColor()), "FF0000FF");
  EXPECT_TRUE(copy->DoFill());
  ASSERT_NE(copy->PathData(), nullptr);
  EXPECT_NEAR(copy->TransformPoint({0, 0}).X, 10, 1e-4);
  // A use of the rect directly inherits the use's fill.
  auto* direct = dynamic_cast<TSVGBasic*>(l.doc->FindByID("u2")->Items(0));
  EXPECT_EQ(Hex(direct->FillColor()), "FF00FF00");
}

TEST(SvgModel, UseCyclesAreLeftOutWithAWarning) {
  struct Case {
    const char* name;
    const char* body;
  } cases[] = {
      {"Self", "<use id='u' xlink:href='#u'/>"},
      {"Ancestor", "<g id='g'><use id='u' xlink:href='#g'/></g>"},
      {"ThroughOtherUses", "<g id='a'><use xlink:href='#b'/></g><g id='b'><use xlink:href='#a'/></g>"},
      {"HashAlone", "<use id='u' xlink:href='#'/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded l = Load(Svg(c.body));
    EXPECT_FALSE(l.result.Warnings.empty());
    EXPECT_LT(l.doc->ElementCount(), 100u);
  }
}

TEST(SvgModel, ExponentialUsesStopAtTheLimit) {
  // Each level uses the previous one ten times: 10^9 elements if expanded.
  std::string body = "<defs><rect id='l0' width='1' height='1'/>";
  for (int level = 1; level <= 9; ++level) {
    body += "<g id='l" + std::to_string(level) + "'>";
    for (int k = 0; k < 10; ++k) body += "<use xlink:href='#l" + std::to_string(level - 1) + "'/>";
    body += "</g>";
  }
  body += "</defs><use xlink:href='#l9'/>";
  TSVG doc;
  doc.Limits.MaxElements = 20000;
  const TSVGLoadResult r = doc.LoadFromBytes(Svg(body));
  ASSERT_TRUE(r.Ok);
  EXPECT_TRUE(HasWarning(r, "grows beyond"));
  EXPECT_LE(doc.ElementCount(), 20000u);
}

TEST(SvgModel, SymbolIsDrawnOnlyThroughUse) {
  Loaded l = Load(Svg("<symbol id='s' viewBox='0 0 10 10'><rect id='r' width='10' height='10'/></symbol>"
                      "<use id='u' xlink:href='#s' x='50' width='20' height='20'/>"));
  auto* instance = dynamic_cast<TSVGSymbol*>(l.doc->FindByID("u")->Items(0));
  ASSERT_NE(instance, nullptr);
  EXPECT_TRUE(instance->IsInstance());
  auto* rect = dynamic_cast<TSVGBasic*>(instance->Items(0));
  const TPointF p = rect->TransformPoint({10, 10});
  EXPECT_NEAR(p.X, 70, 1e-3);
  EXPECT_NEAR(p.Y, 20, 1e-3);
  EXPECT_FALSE(dynamic_cast<TSVGSymbol*>(l.doc->FindByID("s"))->IsInstance());
}

// --- gradients ------------------------------------------------------------------------

TEST(SvgModel, GradientsAreReadCompletely) {
  Loaded l = Load(Svg(
      "<style>#s2{stop-color:blue}</style>"
      "<linearGradient id='base' gradientUnits='userSpaceOnUse' x1='10%' x2='90' spreadMethod='reflect'"
      " gradientTransform='rotate(90)'>"
      "<stop offset='20%' stop-color='red' stop-opacity='0.5'/><stop id='s2' offset='0.1' style='stop-opacity:1'/>"
      "<stop offset='1.5' stop-color='lime'/></linearGradient>"
      "<linearGradient id='child' xlink:href='#base' x2='0.5'/>"
      "<radialGradient id='rad' cx='0.4' fr='0.1' fx='0.3'/>"
      "<radialGradient id='loop1' xlink:href='#loop2'/><radialGradient id='loop2' xlink:href='#loop1'/>"));
  auto* base = dynamic_cast<TSVGLinearGradient*>(l.doc->FindByID("base"));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->GradientUnits(), TSVGUnits::UserSpaceOnUse);
  EXPECT_FLOAT_EQ(base->X1(), 0.1f);
  EXPECT_FLOAT_EQ(base->X2(), 90);
  EXPECT_EQ(base->SpreadMethod(), TSpreadMethod::Reflect);
  EXPECT_TRUE(base->GradientTransform().IsSet());
  const auto stops = base->EffectiveStops();
  ASSERT_EQ(stops.size(), 3u);
  // Offsets clamped and never decreasing; colours from CSS and style.
  EXPECT_FLOAT_EQ(stops[0]->Stop(), 0.2f);
  EXPECT_FLOAT_EQ(stops[1]->Stop(), 0.2f);
  EXPECT_FLOAT_EQ(stops[2]->Stop(), 1);
  EXPECT_EQ(Hex(stops[1]->StopColor()), "FF0000FF");
  EXPECT_FLOAT_EQ(stops[0]->Opacity(), 0.5f);
  TColors colors;
  base->ComposeColors(255, colors);
  ASSERT_EQ(colors.StopCount, 4);  // a leading entry at 0
  EXPECT_EQ(Hex(colors.ColorArray[0]), "80FF0000");
  EXPECT_FLOAT_EQ(colors.OffsetArray[0], 0);
  // href: attributes and stops inherited where the child sets nothing.
  auto* child = dynamic_cast<TSVGLinearGradient*>(l.doc->FindByID("child"));
  EXPECT_EQ(child->GradientUnits(), TSVGUnits::UserSpaceOnUse);
  EXPECT_EQ(child->SpreadMethod(), TSpreadMethod::Reflect);
  EXPECT_FLOAT_EQ(child->X1(), 0.1f);
  EXPECT_FLOAT_EQ(child->X2(), 0.5f);
  EXPECT_EQ(child->EffectiveStops().size(), 3u);
  auto* rad = dynamic_cast<TSVGRadialGradient*>(l.doc->FindByID("rad"));
  EXPECT_FLOAT_EQ(rad->CX(), 0.4f);
  EXPECT_FLOAT_EQ(rad->CY(), 0.5f);
  EXPECT_FLOAT_EQ(rad->FX(), 0.3f);
  EXPECT_FLOAT_EQ(rad->FY(), 0.5f);  // the focal point defaults to the centre
  EXPECT_FLOAT_EQ(rad->FR(), 0.1f);
  EXPECT_TRUE(HasWarning(l.result, "cyclic"));
}

TEST(SvgModel, ClipPathsMasksMarkersAndPatternsAreRead) {
  Loaded l = Load(Svg("<clipPath id='c' clipPathUnits='objectBoundingBox'><rect width='1' height='1'/></clipPath>"
                      "<mask id='m' maskContentUnits='objectBoundingBox' mask-type='alpha'/>"
                      "<mask id='m2' mask-type='alpha' style='fill:red; mask-type : luminance'/>"
                      "<mask id='m3' style='mask-type:alpha'/>"
                      "<marker id='k' markerWidth='4' refX='2' orient='auto-start-reverse' viewBox='0 0 10 10'/>"
                      "<pattern id='p' width='10' height='10' patternUnits='userSpaceOnUse'><circle r='2'/></pattern>"
                      "<pattern id='p2' xlink:href='#p'/>"
                      "<rect id='e' width='1' height='1' clip-path='url(#c)' mask='url(#m)' marker-end='url(#k)'/>"));
  EXPECT_EQ(dynamic_cast<TSVGClipPath*>(l.doc->FindByID("c"))->Units(), TSVGUnits::ObjectBoundingBox);
  auto* m = dynamic_cast<TSVGMask*>(l.doc->FindByID("m"));
  EXPECT_EQ(m->ContentUnits(), TSVGUnits::ObjectBoundingBox);
  EXPECT_TRUE(m->Alpha());
  // The style attribute wins over the attribute.
  EXPECT_FALSE(dynamic_cast<TSVGMask*>(l.doc->FindByID("m2"))->Alpha());
  EXPECT_TRUE(dynamic_cast<TSVGMask*>(l.doc->FindByID("m3"))->Alpha());
  auto* k = dynamic_cast<TSVGMarker*>(l.doc->FindByID("k"));
  EXPECT_EQ(k->Orient(), TMarkerOrient::AutoStartReverse);
  EXPECT_FLOAT_EQ(k->MarkerWidth(), 4);
  EXPECT_FLOAT_EQ(k->MarkerHeight(), 3);
  EXPECT_FLOAT_EQ(k->RefX(), 2);
  auto* p2 = dynamic_cast<TSVGPattern*>(l.doc->FindByID("p2"));
  EXPECT_EQ(p2->PatternUnits(), TSVGUnits::UserSpaceOnUse);
  EXPECT_EQ(p2->ContentSource(), l.doc->FindByID("p"));
  EXPECT_FLOAT_EQ(p2->Tile().Width, 10);
  TSVGBasic* e = l["e"];
  EXPECT_EQ(e->ClipURI(), "c");
  EXPECT_EQ(e->Style().Mask, "m");
  EXPECT_EQ(e->Style().MarkerEnd, "k");
}

// --- text -----------------------------------------------------------------------------

TEST(SvgModel, TextKeepsItsContentInOrderWithPositions) {
  Loaded l = Load(Svg("<text id='t' x='10 20 30' y='5' dx='1,2' rotate='15' text-anchor='middle'"
                      " letter-spacing='2' word-spacing='3' text-decoration='underline' baseline-shift='super'>"
                      "\n   Hello <tspan id='s' dy='4' font-weight='bold'>big   </tspan> world\n </text>"));
  auto* t = dynamic_cast<TSVGText*>(l.doc->FindByID("t"));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Text(), "Hello big world");
  EXPECT_EQ(t->XList(), (std::vector<float>{10, 20, 30}));
  EXPECT_EQ(t->DXList(), (std::vector<float>{1, 2}));
  EXPECT_EQ(t->RotateList(), (std::vector<float>{15}));
  EXPECT_EQ(t->Style().TextAnchor, TTextAnchor::Middle);
  EXPECT_FLOAT_EQ(t->Style().LetterSpacing.Value, 2);
  EXPECT_TRUE(t->TextDecoration().Contains(tdUnderLine));
  EXPECT_EQ(t->Style().BaselineShift, TBaselineShiftKind::Super);
  auto* s = dynamic_cast<TSVGTSpan*>(l.doc->FindByID("s"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Text(), "big ");
  EXPECT_EQ(s->DYList(), (std::vector<float>{4}));
  EXPECT_EQ(s->FontWeight(), 700);
  EXPECT_EQ(s->Style().TextAnchor, TTextAnchor::Middle);  // inherited
}

TEST(SvgModel, WhiteSpaceFollowsXmlSpace) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<text id='t'>  a \n\t b  </text>", "a b"},
      {"<text id='t' xml:space='preserve'>  a \n\t b  </text>", "  a    b  "},
      {"<text id='t'>a<tspan> b </tspan> c</text>", "a b c"},
      {"<text id='t'>a<tspan xml:space='preserve'>  b</tspan></text>", "a  b"},
      {"<text id='t'><![CDATA[x < y]]></text>", "x < y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Loaded l = Load(Svg(c.text));
    EXPECT_EQ(dynamic_cast<TSVGText*>(l.doc->FindByID("t"))->Text(), c.expected);
  }
}

TEST(SvgModel, TextPathIsRead) {
  Loaded l = Load(Svg("<path id='p' d='M0 0 L100 0'/><text><textPath id='tp' xlink:href='#p' startOffset='25%' "
                      "method='stretch' spacing='exact' side='right'>On a path</textPath></text>"));
  auto* tp = dynamic_cast<TSVGTextPath*>(l.doc->FindByID("tp"));
  ASSERT_NE(tp, nullptr);
  EXPECT_EQ(tp->PathRef(), "#p");
  EXPECT_TRUE(tp->OffsetIsPercent());
  EXPECT_FLOAT_EQ(tp->Offset(), 0.25f);
  EXPECT_EQ(tp->Method(), TTextPathMethod::tpmStretch);
  EXPECT_EQ(tp->Spacing(), TTextPathSpacing::tpsExact);
  EXPECT_EQ(tp->Side(), TTextPathSide::Right);
  EXPECT_EQ(tp->Text(), "On a path");
}

// --- images ---------------------------------------------------------------------------

namespace {

std::string PngBase64(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::red);
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "PNG");
  return bytes.toBase64().toStdString();
}

}  // namespace

TEST(SvgModel, ImagesFromDataUrisAndTheFilesFolderOnly) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "karto-svg-images";
  fs::create_directories(dir / "sub");
  {
    std::ofstream(dir / "sub" / "pic.png", std::ios::binary) << QByteArray::fromBase64(QByteArray::fromStdString(PngBase64(3, 2))).toStdString();
    std::ofstream(dir / "broken.png", std::ios::binary) << "not a picture";
  }
  const std::string body =
      "<image id='d' width='30' xlink:href='data:image/png;base64," + PngBase64(4, 2) + "'/>"
      "<image id='f' href='sub/pic.png'/>"
      "<image id='up' href='../outside.png'/>"
      "<image id='missing' href='nothere.png'/>"
      "<image id='broken' href='broken.png'/>"
      "<image id='svg' href='data:image/svg+xml;utf8,%3Csvg xmlns=%22http://www.w3.org/2000/svg%22 width=%2210%22 height=%225%22/%3E'/>"
      "<image id='url' href='http://example.org/x.png'/>";
  Loaded l = Load(Svg(body), dir.string());
  auto img = [&](const char* id) { return dynamic_cast<TSVGImage*>(l.doc->FindByID(id)); };
  ASSERT_NE(img("d")->Picture(), nullptr);
  EXPECT_FLOAT_EQ(img("d")->Height(), 15);  // proportions kept
  ASSERT_NE(img("f")->Picture(), nullptr);
  EXPECT_EQ(img("f")->Picture()->width(), 3);
  EXPECT_EQ(img("up")->Picture(), nullptr);
  EXPECT_EQ(img("missing")->Picture(), nullptr);
  EXPECT_EQ(img("broken")->Picture(), nullptr);
  EXPECT_EQ(img("url")->Picture(), nullptr);
  ASSERT_NE(img("svg")->Drawing(), nullptr);
  EXPECT_FLOAT_EQ(img("svg")->Width(), 10);
  EXPECT_GE(l.result.Warnings.size(), 4u);
  fs::remove_all(dir);
}

// --- loading, errors and limits --------------------------------------------------------------

TEST(SvgModel, LoadFailuresSaySo) {
  struct Case {
    const char* name;
    std::string text;
    const char* word;
  } cases[] = {
      {"Empty", "", "no"},
      {"NotSvg", "<html><body/></html>", "not <svg>"},
      {"Malformed", "<svg xmlns='http://www.w3.org/2000/svg'>\n  <g>\n  <rect/>\n</svg>", "line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSVG doc;
    const TSVGLoadResult r = doc.LoadFromBytes(c.text);
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Error.find(c.word), std::string::npos) << r.Error;
    EXPECT_EQ(doc.Count(), 0);
  }
  TSVG doc;
  const TSVGLoadResult r = doc.LoadFromFile("/nonexistent/file.svg");
  EXPECT_FALSE(r.Ok);
  EXPECT_NE(r.Error.find("Cannot open"), std::string::npos);
}

TEST(SvgModel, DeepNestingAndHugeInputLoad) {
  // 100 000 nested groups: no recursion anywhere.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<g>";
  deep += "<rect id='leaf' width='1' height='1' fill='lime'/>";
  for (int i = 0; i < 100000; ++i) deep += "</g>";
  {
    Loaded l = Load(Svg(deep));
    EXPECT_EQ(Hex(l["leaf"]->FillColor()), "FF00FF00");
  }
  // A 50 MB path attribute.
  std::string d = "M0 0";
  d.reserve(50'000'000);
  while (d.size() < 50'000'000) d += " L1.5 2.5 3 4";
  Loaded big = Load(Svg("<path id='p' d='" + d + "'/>"));
  EXPECT_GT(big["p"]->PathData()->Count(), 1'000'000);
  // More elements than the limit: the rest is skipped with a warning.
  std::string many;
  for (int i = 0; i < 3000; ++i) many += "<rect width='1' height='1'/>";
  TSVG doc;
  doc.Limits.MaxElements = 1000;
  const TSVGLoadResult r = doc.LoadFromBytes(Svg(many));
  ASSERT_TRUE(r.Ok);
  EXPECT_LE(doc.ElementCount(), 1000u);
  EXPECT_TRUE(HasWarning(r, "more elements"));
}

TEST(SvgModel, CloneCopiesTheWholeSubtree) {
  Loaded l = Load(Svg("<g id='g' fill='red'><rect id='r' width='2' height='3'/><text>hi</text>"
                      "<path d='M0 0 L5 5 L5 0'/></g>"));
  TSVGObject* g = l.doc->FindByID("g");
  TSVGObject* copy = g->Clone(l.doc.get());
  ASSERT_EQ(copy->Count(), 3);
  const TPathData* path = static_cast<TSVGBasic*>(copy->Items(2))->PathData();
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->Count(), 3);
  EXPECT_EQ(copy->ID(), "g");
  auto* r = dynamic_cast<TSVGRect*>(copy->Items(0));
  ASSERT_NE(r, nullptr);
  EXPECT_FLOAT_EQ(r->Height(), 3);
  EXPECT_EQ(Hex(r->FillColor()), "FFFF0000");
  EXPECT_EQ(dynamic_cast<TSVGText*>(copy->Items(1))->Text(), "hi");
}

// A load on another thread says how far it has come: never backwards,
// 100 at the end.
TEST(SvgModel, LoadProgressRisesToAHundred) {
  std::string text = "<svg xmlns='http://www.w3.org/2000/svg'>";
  for (int i = 0; i < 200000; ++i) text += "<rect x='" + std::to_string(i % 100) + "' width='1' height='1'/>";
  text += "</svg>";
  TSVG doc;
  std::atomic<bool> done{false};
  std::thread load([&] {
    EXPECT_TRUE(doc.LoadFromBytes(text).Ok);
    done = true;
  });
  std::vector<int> seen;
  while (!done) {
    seen.push_back(doc.LoadPercent());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  load.join();
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(doc.LoadPercent(), 100);
}

// An entity declared in the document type makes the reader start over
// once it meets the entity; what was read before (named elements among it)
// is read again, not kept from the first pass.
TEST(SvgModel, EntitiesReadTheDocumentAgainCleanly) {
  TSVG doc;
  const TSVGLoadResult r = doc.LoadFromBytes(
      "<!DOCTYPE svg [<!ENTITY c \"#ff0000\">]>"
      "<svg xmlns='http://www.w3.org/2000/svg'><rect id='a' width='1' height='1'/>"
      "<rect id='b' width='2' height='2' fill='&c;'/></svg>");
  ASSERT_TRUE(r.Ok) << r.Error;
  auto* a = dynamic_cast<TSVGBasic*>(doc.LookUpID("a"));
  auto* b = dynamic_cast<TSVGBasic*>(doc.LookUpID("b"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->SVGParent(), &doc);
  EXPECT_EQ(b->Style().Fill.Color, 0xFFFF0000u);
  EXPECT_EQ(doc.Count(), 2);
}
