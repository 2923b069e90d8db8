// The document as display shapes: where each shape lands for any transform,
// its size, its paint as SVG says, which elements make none, the names, and
// what the renderer draws from them.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <cmath>
#include <cstdio>

#include "platform/ObjectStream.h"
#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "svg/SVG.h"
#include "workspace/SvgExport.h"

using namespace karto;

namespace {

std::string Svg(const std::string& body, const std::string& rootAttributes = "viewBox=\"0 0 100 100\"") {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" " +
         rootAttributes + ">" + body + "</svg>";
}

// A document loaded and placed into target, with its shapes on a control.
struct Shapes {
  TSVG doc;
  TControl view;
  int made = 0;
  Shapes(const std::string& text, TRectF target = TRectF(0, 0, 100, 100)) {
    const TSVGLoadResult r = doc.LoadFromBytes(text);
    EXPECT_TRUE(r.Ok) << r.Error;
    view.SetSize(target.Right, target.Bottom);
    doc.SetTarget(target);
    made = doc.CreateFMShapes(&view);
  }
  TPath* Shape(int i) const {
    return i < view.ChildrenCount() ? dynamic_cast<TPath*>(view.Children(i)) : nullptr;
  }
};

// Where a point of the shape's own geometry lands on the view.
TPointF Landing(const TPath& shape, TPointF p) {
  const TPointF local = shape.DataMatrix.IsSet() ? shape.DataMatrix.Transform(p) : p;
  return shape.LocalMatrix().Transform(local);
}

std::string Hex(TAlphaColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", c);
  return buf;
}

}  // namespace

// --- placement ---------------------------------------------------------------------------

TEST(SvgDisplay, ShapesLandWhereSvgDrawsThem) {
  const struct {
    const char* what;
    std::string body;
    std::string root;
    TRectF target;
    TPointF point;     // in the element's own coordinates
    TPointF expected;  // on the view
  } cases[] = {
      {"plain", "<rect width='10' height='10'/>", "viewBox='0 0 100 100'", {0, 0, 100, 100}, {10, 10}, {10, 10}},
      {"translate", "<rect transform='translate(5 7)' width='10' height='10'/>", "viewBox='0 0 100 100'",
       {0, 0, 100, 100}, {0, 0}, {5, 7}},
      {"rotate 90", "<rect transform='rotate(90)' width='10' height='10'/>", "viewBox='0 0 100 100'",
       {0, 0, 100, 100}, {10, 0}, {0, 10}},
      {"skewX 45", "<rect transform='skewX(45)' width='10' height='10'/>", "viewBox='0 0 100 100'",
       {0, 0, 100, 100}, {0, 10}, {10, 10}},
      {"uneven scale, nested", "<g transform='translate(10 0)'><g transform='scale(2 3)'><rect width='5' height='5'/></g></g>",
       "viewBox='0 0 100 100'", {0, 0, 100, 100}, {5, 5}, {20, 15}},
      {"view box offset", "<rect x='100' y='100' width='10' height='10'/>", "viewBox='100 100 100 100'",
       {0, 0, 100, 100}, {100, 100}, {0, 0}},
      {"view box scaled into the target", "<rect width='10' height='10'/>", "viewBox='0 0 50 50'",
       {0, 0, 200, 200}, {10, 10}, {40, 40}},
      {"meet centres", "<rect width='100' height='50'/>", "viewBox='0 0 100 50'", {0, 0, 100, 100}, {0, 0}, {0, 25}},
      {"target offset", "<rect width='10' height='10'/>", "viewBox='0 0 100 100'", {20, 30, 120, 130},
       {0, 0}, {20, 30}},
      {"use with x, y after its transform", "<defs><rect id='r' width='4' height='4'/></defs>"
                                            "<use href='#r' x='10' transform='scale(2)'/>",
       "viewBox='0 0 100 100'", {0, 0, 100, 100}, {4, 4}, {28, 8}},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body, c.root), c.target);
    ASSERT_EQ(s.made, 1) << c.what;
    const TPointF p = Landing(*s.Shape(0), c.point);
    EXPECT_NEAR(p.X, c.expected.X, 1e-3) << c.what;
    EXPECT_NEAR(p.Y, c.expected.Y, 1e-3) << c.what;
  }
}

TEST(SvgDisplay, ShapeIsAsLargeAsItsGeometry) {
  Shapes s(Svg("<rect x='10' y='20' width='10' height='10'/><circle cx='50' cy='50' r='5' transform='scale(2 1)'/>"));
  ASSERT_EQ(s.made, 2);
  EXPECT_FLOAT_EQ(s.Shape(0)->Position().X, 10);
  EXPECT_FLOAT_EQ(s.Shape(0)->Position().Y, 20);
  EXPECT_FLOAT_EQ(s.Shape(0)->Width(), 10);
  EXPECT_FLOAT_EQ(s.Shape(0)->Height(), 10);
  EXPECT_NEAR(s.Shape(1)->Width(), 20, 1e-3);
  EXPECT_NEAR(s.Shape(1)->Height(), 10, 1e-3);
}

// --- paint ---------------------------------------------------------------------------------

TEST(SvgDisplay, PaintFollowsSvg) {
  const struct {
    const char* what;
    std::string body;
    bool fills;
    const char* fill;
    bool strokes;
    const char* stroke;
    float width;
    float opacity;
  } cases[] = {
      {"initial: black fill, no stroke", "<rect id='e' width='5' height='5'/>", true, "FF000000", false, "", 1, 1},
      {"fill none", "<rect fill='none' stroke='red' width='5' height='5'/>", false, "", true, "FFFF0000", 1, 1},
      {"fill-opacity and stroke-opacity apart",
       "<rect fill='#0000ff' fill-opacity='0.5' stroke='lime' stroke-opacity='0.25' stroke-width='3' width='5' "
       "height='5'/>",
       true, "800000FF", true, "4000FF00", 3, 1},
      {"opacity multiplies down the tree", "<g opacity='0.5'><rect opacity='0.5' width='5' height='5'/></g>", true,
       "FF000000", false, "", 1, 0.25f},
      {"a gradient of one colour is that colour",
       "<linearGradient id='g'><stop offset='1' stop-color='#00ff00' stop-opacity='0.5'/></linearGradient>"
       "<rect fill='url(#g)' fill-opacity='0.5' width='5' height='5'/>",
       true, "4000FF00", false, "", 1, 1},
      {"a bounding-box gradient on a line paints nothing, or its fallback",
       "<linearGradient id='g'><stop offset='0' stop-color='red'/><stop offset='1' stop-color='blue'/>"
       "</linearGradient><line x2='10' stroke='url(#g)' fill='url(#g) #102030'/>",
       true, "FF102030", false, "", 1, 1},
      {"a missing server takes the fallback", "<rect fill='url(#nothing) #123456' width='5' height='5'/>", true,
       "FF123456", false, "", 1, 1},
      {"currentColor", "<g color='#abcdef'><rect fill='currentColor' width='5' height='5'/></g>", true, "FFABCDEF",
       false, "", 1, 1},
      {"rgba() with numbers and percentages mixed is invalid: the initial black",
       "<rect fill='rgba(0, 50%, 0, 0.5)' width='5' height='5'/>", true, "FF000000", false, "", 1, 1},
      {"rgba() with percentages", "<rect fill='rgba(0%, 50%, 0%, 0.5)' width='5' height='5'/>", true, "80008000",
       false, "", 1, 1},
      {"zero stroke width draws no stroke", "<rect stroke='red' stroke-width='0' width='5' height='5'/>", true,
       "FF000000", false, "", 0, 1},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body));
    ASSERT_EQ(s.made, 1) << c.what;
    const TPath& p = *s.Shape(0);
    EXPECT_EQ(p.Fill.Kind == TBrushKind::bkSolid, c.fills) << c.what;
    if (c.fills) {
      EXPECT_EQ(Hex(p.Fill.Color), c.fill) << c.what;
    }
    EXPECT_EQ(p.Stroke.Kind == TBrushKind::bkSolid, c.strokes) << c.what;
    if (c.strokes) {
      EXPECT_EQ(Hex(p.Stroke.Color), c.stroke) << c.what;
      EXPECT_FLOAT_EQ(p.StrokeThickness, c.width) << c.what;
    }
    EXPECT_FLOAT_EQ(p.Opacity(), c.opacity) << c.what;
  }
}

TEST(SvgDisplay, StrokeDetailsAndFillRuleCarryOver) {
  Shapes s(Svg("<path fill-rule='evenodd' stroke='red' stroke-width='2' stroke-linecap='square' "
               "stroke-linejoin='bevel' stroke-miterlimit='7' stroke-dasharray='4 2' stroke-dashoffset='1' "
               "d='M0 0 H10 V10 Z' paint-order='stroke'/><path d='M0 0 H10 V10 Z' stroke='red' "
               "stroke-linejoin='round' paint-order='markers fill'/>"));
  ASSERT_EQ(s.made, 2);
  const TPath& a = *s.Shape(0);
  EXPECT_EQ(a.FillRule, TPathFillRule::frEvenOdd);
  EXPECT_EQ(a.StrokeCap, TStrokeCap::scSquare);
  EXPECT_EQ(a.StrokeJoin, TStrokeJoin::sjBevel);
  EXPECT_FLOAT_EQ(a.StrokeMiterLimit, 7);
  // Dashes are in units of the stroke width.
  EXPECT_EQ(a.StrokeDash, TStrokeDash::sdCustom);
  EXPECT_EQ(a.CustomDash, (std::vector<float>{2, 1}));
  EXPECT_FLOAT_EQ(a.DashOffset, 0.5f);
  EXPECT_TRUE(a.StrokeUnderFill);
  const TPath& b = *s.Shape(1);
  EXPECT_FALSE(b.StrokeUnderFill);
  EXPECT_EQ(b.FillRule, TPathFillRule::frNonZero);
  EXPECT_EQ(b.StrokeCap, TStrokeCap::scFlat);
  EXPECT_EQ(b.StrokeJoin, TStrokeJoin::sjRound);
  EXPECT_EQ(b.StrokeDash, TStrokeDash::sdSolid);
}

TEST(SvgDisplay, GradientsBecomeBrushesInTheGeometrysCoordinates) {
  const struct {
    const char* what;
    std::string body;
    TGradientStyle style;
    TPointF from, to;  // the gradient's two defining points (linear: ends; radial: centre, a point on the circle)
  } cases[] = {
      {"bounding box units", "<linearGradient id='g'><stop offset='0' stop-color='red'/><stop offset='1' "
                             "stop-color='blue'/></linearGradient><rect x='10' y='20' width='40' height='10' "
                             "fill='url(#g)'/>",
       TGradientStyle::gsLinear, {10, 20}, {50, 20}},
      {"user space: 100 % is the viewport's width", "<linearGradient id='g' gradientUnits='userSpaceOnUse'>"
                                                    "<stop offset='0' stop-color='red'/><stop offset='1' "
                                                    "stop-color='blue'/></linearGradient><rect x='10' y='20' "
                                                    "width='40' height='10' fill='url(#g)'/>",
       TGradientStyle::gsLinear, {0, 0}, {100, 0}},
      {"gradientTransform before the box", "<linearGradient id='g' gradientTransform='translate(0.5 0)'>"
                                           "<stop offset='0' stop-color='red'/><stop offset='1' stop-color='blue'/>"
                                           "</linearGradient><rect width='40' height='10' fill='url(#g)'/>",
       TGradientStyle::gsLinear, {20, 0}, {60, 0}},
      {"radial", "<radialGradient id='g' cx='0.25' r='0.25'><stop offset='0' stop-color='red'/><stop offset='1' "
                 "stop-color='blue'/></radialGradient><rect width='40' height='40' fill='url(#g)'/>",
       TGradientStyle::gsRadial, {10, 20}, {20, 20}},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body));
    ASSERT_EQ(s.made, 1) << c.what;
    const TBrush& fill = s.Shape(0)->Fill;
    ASSERT_EQ(fill.Kind, TBrushKind::bkGradient) << c.what;
    const TGradient& g = fill.Gradient;
    EXPECT_TRUE(g.PathCoordinates) << c.what;
    EXPECT_EQ(g.Style, c.style) << c.what;
    EXPECT_EQ(g.Points.size(), 2u) << c.what;
    const TMatrix m = g.Matrix.IsSet() ? g.Matrix : TMatrix::Identity();
    const TPointF from = m.Transform(c.style == TGradientStyle::gsRadial ? g.Center : g.StartPosition);
    const TPointF to = m.Transform(c.style == TGradientStyle::gsRadial ? TPointF(g.Center.X + g.Radius, g.Center.Y)
                                                                        : g.StopPosition);
    EXPECT_NEAR(from.X, c.from.X, 1e-4) << c.what;
    EXPECT_NEAR(from.Y, c.from.Y, 1e-4) << c.what;
    EXPECT_NEAR(to.X, c.to.X, 1e-4) << c.what;
    EXPECT_NEAR(to.Y, c.to.Y, 1e-4) << c.what;
  }
}

TEST(SvgDisplay, PatternsPaintTheirTileRepeated) {
  // A 10 x 10 tile, blue in its left half, repeated over a 40 x 20 rectangle
  // from (5, 0): blue where x - 5 modulo 10 is below 5.
  Shapes s(Svg("<pattern id='p' patternUnits='userSpaceOnUse' x='5' width='10' height='10'>"
               "<rect width='5' height='10' fill='#0000ff'/></pattern>"
               "<rect x='0' y='0' width='40' height='20' fill='url(#p)'/>"));
  ASSERT_EQ(s.made, 1);
  EXPECT_EQ(s.Shape(0)->Fill.Kind, TBrushKind::bkBitmap);
  const QImage img = RenderToImage(s.view, 100, 100, 0xFFFFFFFFu);
  for (int x : {6, 9, 16, 27, 36}) EXPECT_EQ(img.pixel(x, 10) & 0xFFFFFFu, 0x0000FFu) << x;
  for (int x : {2, 12, 22, 33}) EXPECT_EQ(img.pixel(x, 10) & 0xFFFFFFu, 0xFFFFFFu) << x;
  // A pattern whose content paints with the pattern itself ends.
  Shapes selfish(Svg("<pattern id='p' width='1' height='1'><rect width='5' height='5' fill='url(#p)'/></pattern>"
                     "<rect width='10' height='10' fill='url(#p)'/>"));
  EXPECT_EQ(selfish.made, 1);
}

// --- which elements make shapes ------------------------------------------------------------

TEST(SvgDisplay, OnlyDrawnElementsWithGeometryMakeShapes) {
  const struct {
    const char* what;
    std::string body;
    int shapes;
  } cases[] = {
      {"display none hides the subtree", "<g display='none'><rect width='5' height='5'/></g>", 0},
      {"on a nested svg", "<svg display='none'><rect width='5' height='5'/></svg>", 0},
      {"hidden group, visible child", "<g visibility='hidden'><rect width='5' height='5'/>"
                                      "<rect visibility='visible' width='5' height='5'/></g>", 1},
      {"zero and negative sizes", "<rect width='0' height='5'/><circle r='0'/><ellipse rx='0' ry='2'/>", 0},
      {"defs, clip paths, markers and symbols", "<defs><rect width='5' height='5'/></defs>"
                                                "<clipPath><rect width='5' height='5'/></clipPath>"
                                                "<symbol><rect width='5' height='5'/></symbol>", 0},
      {"switch draws its first passing child", "<switch><rect systemLanguage='xx' width='5' height='5'/>"
                                               "<rect width='5' height='5'/><rect width='5' height='5'/></switch>", 1},
      {"a use draws its copy", "<defs><g id='g'><rect width='5' height='5'/><circle r='2'/></g></defs>"
                               "<use href='#g'/><use href='#g' x='10'/>", 4},
      {"a path with subpaths is one shape", "<path d='M0 0 H10 V10 Z M2 2 H8 V8 Z'/>", 1},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body));
    EXPECT_EQ(s.made, c.shapes) << c.what;
    EXPECT_EQ(s.view.ChildrenCount(), c.shapes) << c.what;
  }
  Shapes hiddenRoot(Svg("<rect width='5' height='5'/>", "viewBox='0 0 100 100' display='none'"));
  EXPECT_EQ(hiddenRoot.made, 0);
}

// Text becomes glyph outlines: a "Txt_" path per run painted alike, placed
// by the position lists and the anchor.
TEST(SvgDisplay, TextBecomesGlyphOutlinesWhereSvgPlacesThem) {
  const struct {
    const char* what;
    std::string body;
    int shapes;
    float left, right;  // the first glyph shape's extent on the view (-1: not checked)
    TAlphaColor lastFill;
  } cases[] = {
      {"start anchor", "<text x='10' y='50' font-size='20'>HH</text>", 1, 10, -1, TAlphaColors::Black},
      {"end anchor", "<text x='90' y='50' font-size='20' text-anchor='end'>HH</text>", 1, -1, 90, TAlphaColors::Black},
      {"a tspan painted otherwise", "<text x='10' y='50'>H<tspan fill='red'>H</tspan>H</text>", 3, 10, -1,
       TAlphaColors::Black},
      {"hidden text, visible tspan",
       "<text x='10' y='50' visibility='hidden'>H<tspan visibility='visible' fill='red'>H</tspan></text>", 1, -1,
       -1, TAlphaColors::Red},
      {"an x per character", "<text x='10 80' y='50' font-size='10'>HH</text>", 1, 10, 90, TAlphaColors::Black},
      {"underline under the glyphs", "<text x='10' y='50' text-decoration='underline' fill='blue'>HH</text>", 2,
       10, -1, TAlphaColors::Blue},
      {"no characters", "<text x='10' y='50'>  </text><text/>", 0, -1, -1, 0},
      {"display none on a tspan", "<text x='10' y='50'><tspan display='none'>HH</tspan></text>", 0, -1, -1, 0},
      {"along a text path", "<defs><path id='p' d='M10 50 H90'/></defs>"
                            "<text font-size='20'><textPath href='#p'>HH</textPath></text>", 1, 10, -1, TAlphaColors::Black},
      {"off the end of the path", "<defs><path id='p' d='M10 50 H90'/></defs>"
                                  "<text><textPath href='#p' startOffset='100'>HH</textPath></text>", 0, -1, -1, 0},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body));
    ASSERT_EQ(s.made, c.shapes) << c.what;
    if (c.shapes == 0) continue;
    const TControl* first = s.view.Children(0);
    EXPECT_EQ(first->Name().substr(0, 4), "Txt_") << c.what;
    // Glyphs stand off their advance by their side bearings: a tenth of
    // the size or two.
    if (c.left >= 0) {
      EXPECT_NEAR(first->Position().X, c.left + 2, 2) << c.what;
    }
    if (c.right >= 0) {
      EXPECT_NEAR(first->Position().X + first->Width(), c.right - 2, 2) << c.what;
    }
    // H stands on the baseline.
    EXPECT_NEAR(s.Shape(s.made - 1)->Position().Y + s.Shape(s.made - 1)->Height(), 50, 0.5) << c.what;
    EXPECT_EQ(Hex(s.Shape(s.made - 1)->Fill.Color), Hex(c.lastFill)) << c.what;
  }
}

TEST(SvgDisplay, NamesFollowKindAndPlace) {
  TControl view;
  TControl existing(&view);
  existing.SetParent(&view);
  TSVG doc;
  ASSERT_TRUE(doc.LoadFromBytes(Svg("<rect width='5' height='5'/><line x2='5' y2='5'/><polygon points='0 0 5 0 5 5'/>"
                                    "<polyline points='0 0 5 0 5 5'/><circle r='3'/><path d='M0 0 L5 5'/>"
                                    "<path d='M0 0 H5 V5 H0 Z'/>"))
                  .Ok);
  doc.CreateFMShapes(&view);
  std::vector<std::string> names;
  for (int i = 1; i < view.ChildrenCount(); ++i) names.push_back(view.Children(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Rec_2", "Lin_3", "Ply_4", "Lin_5", "Elp_6", "Pth1_7", "Pth4_8"}));
  for (int i = 1; i < view.ChildrenCount(); ++i) EXPECT_FALSE(view.Children(i)->HitTest());
  // A second set continues the numbers.
  doc.CreateFMShapes(&view);
  EXPECT_EQ(view.Children(8)->Name(), "Rec_9");
}

TEST(SvgDisplay, AClashingNameTakesTheNextFreeNumber) {
  TControl view;
  TControl other(&view);
  other.SetName("Rec_2");  // owned by the view, not among its children
  TControl child(&view);
  child.SetParent(&view);
  TSVG doc;
  ASSERT_TRUE(doc.LoadFromBytes(Svg("<rect width='5' height='5'/>")).Ok);
  EXPECT_EQ(doc.CreateFMShapes(&view), 1);
  EXPECT_EQ(view.Children(1)->Name(), "Rec_3");
}

// --- drawn pixels ----------------------------------------------------------------------------

TEST(SvgDisplay, RendererDrawsHolesSkewsAndUnevenStrokes) {
  TControl view;
  view.SetSize(100, 100);
  TSVG doc;
  ASSERT_TRUE(doc.LoadFromBytes(Svg(
                  // an even-odd square with a hole
                  "<path fill='#0000ff' fill-rule='evenodd' d='M0 0 H40 V40 H0 Z M10 10 H30 V30 H10 Z'/>"
                  // a nonzero one: both squares turn the same way, no hole
                  "<path fill='#0000ff' d='M50 0 H90 V40 H50 Z M60 10 H80 V30 H60 Z'/>"
                  // a horizontal line stroked 2 wide under scale(1 5): 10 tall
                  "<path stroke='#ff0000' stroke-width='2' transform='scale(1 5)' d='M10 14 H40'/>"
                  // a skewed square
                  "<rect fill='#00ff00' transform='translate(50 60) skewX(45)' width='20' height='20'/>"))
                  .Ok);
  doc.SetTarget(TRectF(0, 0, 100, 100));
  doc.CreateFMShapes(&view);
  const QImage img = RenderToImage(view, 100, 100, 0xFFFFFFFFu);
  auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; };
  EXPECT_EQ(at(20, 20), 0xFFFFFFu);  // the hole
  EXPECT_EQ(at(5, 5), 0x0000FFu);
  EXPECT_EQ(at(70, 20), 0x0000FFu);  // no hole with nonzero
  EXPECT_EQ(at(25, 66), 0xFF0000u);  // inside the stroke, 4 below its centre line
  EXPECT_EQ(at(25, 76), 0xFFFFFFu);  // beyond its 5-unit half width
  EXPECT_EQ(at(78, 75), 0x00FF00u);  // inside the skewed square: x from 65 to 85 at y = 75
  EXPECT_EQ(at(55, 75), 0xFFFFFFu);  // left of it, where an unskewed square would be
}

// Each case fills the view with blue through a clip; inside is a point the
// clip keeps, outside one it takes away (-1: nothing is drawn at all).
TEST(SvgDisplay, ClipPathsLeaveWhatTheyCover) {
  const struct {
    const char* what;
    std::string body;
    TPointF inside, outside;
  } cases[] = {
      {"user space", "<clipPath id='c'><rect x='10' y='10' width='30' height='30'/></clipPath>"
                     "<rect width='100' height='100' fill='blue' clip-path='url(#c)'/>", {20, 20}, {50, 50}},
      {"in the element's own space", "<clipPath id='c'><rect width='30' height='30'/></clipPath>"
                                     "<rect transform='translate(50 50)' width='50' height='50' fill='blue' "
                                     "clip-path='url(#c)'/>", {60, 60}, {90, 90}},
      {"bounding box units", "<clipPath id='c' clipPathUnits='objectBoundingBox'><rect width='.5' height='.5'/>"
                             "</clipPath><rect x='20' y='20' width='60' height='60' fill='blue' clip-path='url(#c)'/>",
       {30, 30}, {70, 70}},
      {"a transform on the clip path, outside the box units",
       "<clipPath id='c' clipPathUnits='objectBoundingBox' transform='translate(50 0)'><rect width='.5' height='1'/>"
       "</clipPath><rect width='100' height='100' fill='blue' clip-path='url(#c)'/>", {75, 50}, {25, 50}},
      {"clip-rule evenodd makes a hole", "<clipPath id='c'><path clip-rule='evenodd' "
                                         "d='M0 0H100V100H0Z M40 40H60V60H40Z'/></clipPath>"
                                         "<rect width='100' height='100' fill='blue' clip-path='url(#c)'/>",
       {20, 20}, {50, 50}},
      {"on a group, for all it holds", "<clipPath id='c'><circle cx='50' cy='50' r='20'/></clipPath>"
                                       "<g clip-path='url(#c)'><rect width='100' height='50' fill='blue'/>"
                                       "<rect y='50' width='100' height='50' fill='blue'/></g>", {50, 60}, {10, 60}},
      {"a clip path on the clip path", "<clipPath id='d'><rect width='50' height='100'/></clipPath>"
                                       "<clipPath id='c' clip-path='url(#d)'><rect width='100' height='50'/></clipPath>"
                                       "<rect width='100' height='100' fill='blue' clip-path='url(#c)'/>",
       {25, 25}, {75, 25}},
      {"a use of a shape clips, a group does not",
       "<defs><rect id='r' width='40' height='40'/></defs><clipPath id='c'><use href='#r'/>"
       "<g><rect x='50' y='50' width='50' height='50'/></g></clipPath>"
       "<rect width='100' height='100' fill='blue' clip-path='url(#c)'/>", {20, 20}, {75, 75}},
      {"a link to nothing is ignored", "<rect width='100' height='100' fill='blue' clip-path='url(#none)'/>",
       {50, 50}, {-1, 0}},
      {"a clip path referring to itself clips once",
       "<clipPath id='c' clip-path='url(#c)'><rect width='50' height='50'/></clipPath>"
       "<rect width='100' height='100' fill='blue' clip-path='url(#c)'/>", {25, 25}, {75, 75}},
      {"an empty clip path hides", "<clipPath id='c'/><rect width='100' height='100' fill='blue' clip-path='url(#c)'/>",
       {-1, 0}, {50, 50}},
  };
  for (const auto& c : cases) {
    TControl view;
    view.SetSize(100, 100);
    TSVG doc;
    ASSERT_TRUE(doc.LoadFromBytes(Svg(c.body)).Ok) << c.what;
    doc.SetTarget(TRectF(0, 0, 100, 100));
    doc.CreateFMShapes(&view);
    const QImage img = RenderToImage(view, 100, 100, 0xFFFFFFFFu);
    auto at = [&](TPointF p) { return img.pixel(int(p.X), int(p.Y)) & 0xFFFFFFu; };
    if (c.inside.X >= 0) {
      EXPECT_EQ(at(c.inside), 0x0000FFu) << c.what;
    }
    if (c.outside.X >= 0) {
      EXPECT_EQ(at(c.outside), 0xFFFFFFu) << c.what;
    }
  }
}

// A group's opacity becomes a layer its shapes are drawn in together
// (unless it holds only one shape, which then takes the opacity); a mask
// becomes a layer with the mask's content.
TEST(SvgDisplay, GroupOpacityAndMasksBecomeLayers) {
  const char* twoRects = "<rect width='10' height='10'/><rect x='5' width='10' height='10'/>";
  const struct {
    const char* what;
    std::string body;
    int shapes;
    std::vector<float> layers;  // the first shape's layer opacities, innermost first
    float shapeOpacity;
    bool masked;
  } cases[] = {
      {"group of two", std::string("<g opacity='.5'>") + twoRects + "</g>", 2, {0.5f}, 1, false},
      {"group of one takes the opacity", "<g opacity='.5'><rect width='10' height='10' opacity='.5'/></g>", 1, {},
       0.25f, false},
      {"nested groups", std::string("<g opacity='.5'><g opacity='.4'>") + twoRects + "</g></g>", 2, {0.4f, 0.5f}, 1,
       false},
      {"opaque group, no layer", std::string("<g>") + twoRects + "</g>", 2, {}, 1, false},
      {"mask", "<mask id='m'><rect width='5' height='5' fill='white'/></mask>"
               "<rect width='10' height='10' mask='url(#m)'/>", 1, {1}, 1, true},
      {"a link to no mask is ignored", "<rect width='10' height='10' mask='url(#none)'/>", 1, {}, 1, false},
      {"a mask used in its own content is ignored there",
       "<mask id='m'><rect width='5' height='5' fill='white' mask='url(#m)'/></mask>"
       "<rect width='10' height='10' mask='url(#m)'/>", 1, {1}, 1, true},
      {"a mask on a box of no size hides", "<mask id='m'><rect width='5' height='5'/></mask>"
                                          "<path d='M0 0 H10' stroke='black' mask='url(#m)'/>", 0, {}, 1, false},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body));
    ASSERT_EQ(s.made, c.shapes) << c.what;
    if (c.shapes == 0) continue;
    const TControl* first = s.view.Children(0);
    std::vector<float> layers;
    for (const TDrawLayer* l = first->Layer().get(); l; l = l->Parent.get()) layers.push_back(l->Opacity);
    EXPECT_EQ(layers, c.layers) << c.what;
    EXPECT_FLOAT_EQ(first->Opacity(), c.shapeOpacity) << c.what;
    EXPECT_EQ(first->Layer() && first->Layer()->Mask, c.masked) << c.what;
    for (int i = 1; i < s.made; ++i) EXPECT_EQ(s.view.Children(i)->Layer(), first->Layer()) << c.what;
  }
  // Between a transparent white stop and a black one the colour is grey,
  // half transparent: light on white, not a dark premultiplied blend.
  Shapes fade(Svg("<linearGradient id='g'><stop offset='0' stop-color='white' stop-opacity='0'/>"
                  "<stop offset='1' stop-color='black'/></linearGradient>"
                  "<rect width='100' height='100' fill='url(#g)'/>"));
  const QImage img = RenderToImage(fade.view, 100, 100, 0xFFFFFFFFu);
  EXPECT_NEAR(qGray(img.pixel(50, 50)), 191, 8);
}

// Markers are shapes of their own after their element, placed on its
// vertices: reference point on the vertex, turned with the path, scaled by
// the stroke width. The marker here is a red square right of its
// reference point (the vertex), 10 by 10 units at stroke width 1.
TEST(SvgDisplay, MarkersSitOnTheVertices) {
  const std::string marker =
      "<marker id='m' viewBox='0 0 10 10' refX='0' refY='5' markerWidth='10' markerHeight='10' orient='auto'>"
      "<rect width='10' height='10' fill='#ff0000'/></marker>"
      "<marker id='r' viewBox='0 0 10 10' refX='0' refY='5' markerWidth='10' markerHeight='10' "
      "orient='auto-start-reverse'><rect width='10' height='10' fill='#ff0000'/></marker>";
  const struct {
    const char* what;
    std::string body;
    int shapes;
    TPointF red, white;
  } cases[] = {
      {"end of a line, pointing on", "<line x1='10' y1='50' x2='60' y2='50' stroke='black' marker-end='url(#m)'/>", 2,
       {65, 50}, {55, 40}},
      {"turned with a vertical line", "<line x1='50' y1='10' x2='50' y2='60' stroke='black' marker-end='url(#m)'/>",
       2, {50, 65}, {40, 55}},
      {"start reversed", "<line x1='40' y1='50' x2='90' y2='50' stroke='black' marker-start='url(#r)'/>", 2,
       {35, 50}, {45, 40}},
      {"scaled by the stroke width", "<path d='M10 20 H40' stroke='black' stroke-width='2' marker-end='url(#m)'/>",
       2, {58, 20}, {62, 20}},
      {"middle vertices only", "<polyline points='10 80 40 80 70 80' fill='none' stroke='black' "
                               "marker-mid='url(#m)'/>", 2, {45, 80}, {75, 80}},
      {"no markers on a rectangle", "<rect x='10' y='10' width='20' height='20' fill='none' stroke='black' "
                                    "marker-end='url(#m)'/>", 1, {-1, 0}, {-1, 0}},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(marker + c.body));
    EXPECT_EQ(s.made, c.shapes) << c.what;
    if (c.red.X < 0) continue;
    const QImage img = RenderToImage(s.view, 100, 100, 0xFFFFFFFFu);
    EXPECT_EQ(img.pixel(int(c.red.X), int(c.red.Y)) & 0xFFFFFFu, 0xFF0000u) << c.what;
    EXPECT_EQ(img.pixel(int(c.white.X), int(c.white.Y)) & 0xFFFFFFu, 0xFFFFFFu) << c.what;
  }
}

// The object stream keeps what the imported shapes draw: layers with
// opacity, blend and mask, text, markers and clips.
TEST(SvgDisplay, AStoredViewDrawsTheSame) {
  Shapes s(Svg("<mask id='m'><rect width='50' height='100' fill='white'/></mask>"
               "<marker id='k' markerWidth='4' markerHeight='4'><rect width='4' height='4' fill='red'/></marker>"
               "<clipPath id='c'><circle cx='80' cy='80' r='15'/></clipPath>"
               "<g opacity='0.5'><rect x='5' y='5' width='30' height='30' fill='green'/>"
               "<rect x='20' y='20' width='30' height='30' fill='green'/></g>"
               "<rect x='10' y='60' width='60' height='10' fill='navy' mask='url(#m)'/>"
               "<rect x='60' y='10' width='30' height='30' fill='orange' style='mix-blend-mode:multiply'/>"
               "<text x='10' y='95' font-size='12' fill='purple'>Karto</text>"
               "<path d='M60 50 H90' stroke='black' marker-end='url(#k)'/>"
               "<rect x='60' y='60' width='40' height='40' fill='teal' clip-path='url(#c)'/>"));
  const std::unique_ptr<TControl> back = ReadComponent(WriteComponent(s.view));
  const QImage before = RenderToImage(s.view, 100, 100, 0xFFFFFFFFu);
  const QImage after = RenderToImage(*back, 100, 100, 0xFFFFFFFFu);
  int differing = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) differing += before.pixel(x, y) != after.pixel(x, y);
  EXPECT_EQ(differing, 0);
}

TEST(SvgDisplay, NestedViewportsClipWhatTheyHold) {
  const struct {
    const char* what;
    std::string body;
    bool clipped;
  } cases[] = {
      {"nested svg", "<svg x='10' y='10' width='20' height='20'><rect width='100' height='100' fill='#0000ff'/></svg>",
       true},
      {"overflow visible", "<svg x='10' y='10' width='20' height='20' overflow='visible'>"
                           "<rect width='100' height='100' fill='#0000ff'/></svg>",
       false},
      {"a symbol through use", "<symbol id='s' viewBox='0 0 10 10'><rect width='100' height='100' fill='#0000ff'/>"
                               "</symbol><use href='#s' x='10' y='10' width='20' height='20'/>",
       true},
  };
  for (const auto& c : cases) {
    Shapes s(Svg(c.body));
    ASSERT_EQ(s.made, 1) << c.what;
    EXPECT_EQ(s.Shape(0)->ClipOutline.IsEmpty(), !c.clipped) << c.what;
    const QImage img = RenderToImage(s.view, 100, 100, 0xFFFFFFFFu);
    EXPECT_EQ(img.pixel(20, 20) & 0xFFFFFFu, 0x0000FFu) << c.what;  // inside the viewport
    EXPECT_EQ((img.pixel(50, 50) & 0xFFFFFFu) == 0xFFFFFFu, c.clipped) << c.what;
  }
}

// --- export ----------------------------------------------------------------------------------

TEST(SvgDisplay, ImportExportImportGivesTheSameDrawing) {
  // A 4 x 2 picture: red and blue halves.
  QImage pixels(4, 2, QImage::Format_ARGB32);
  pixels.fill(Qt::red);
  for (int y = 0; y < 2; ++y)
    for (int x = 2; x < 4; ++x) pixels.setPixel(x, y, qRgb(0, 0, 255));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  pixels.save(&buffer, "PNG");
  const std::string picture = "data:image/png;base64," + png.toBase64().toStdString();
  const std::string drawing = Svg(
      "<image x='5' y='60' width='30' height='30' preserveAspectRatio='xMidYMid slice' transform='translate(1 2)' "
      "href='" + picture + "'/><image x='60' y='40' width='30' height='15' transform='rotate(5 75 45)' href='" +
      picture + "'/>" +
      "<linearGradient id='lg' x1='0' y1='0' x2='1' y2='1' spreadMethod='reflect'>"
      "<stop offset='0' stop-color='#ff0000'/><stop offset='0.5' stop-color='#00ff00' stop-opacity='0.5'/>"
      "<stop offset='1' stop-color='#0000ff'/></linearGradient>"
      "<radialGradient id='rg' gradientUnits='userSpaceOnUse' cx='70' cy='30' r='20' fx='75' fy='25' "
      "gradientTransform='rotate(10 70 30)'><stop offset='0' stop-color='white'/><stop offset='1' "
      "stop-color='#123456'/></radialGradient>"
      "<rect x='5' y='5' width='40' height='30' fill='url(#lg)' transform='skewX(20)'/>"
      "<circle cx='70' cy='30' r='20' fill='url(#rg)' stroke='#802020' stroke-width='3' stroke-dasharray='6 2' "
      "stroke-dashoffset='1' stroke-linecap='square' opacity='0.7'/>"
      "<path fill-rule='evenodd' fill='#336699' fill-opacity='0.8' d='M10 50 H50 V90 H10 Z M20 60 H40 V80 H20 Z'/>"
      "<polyline points='60 60 90 90 60 90' fill='none' stroke='black' stroke-width='4' stroke-linejoin='miter' "
      "paint-order='stroke' "
      "stroke-miterlimit='2' transform='scale(1 0.5) translate(0 80)'/>"
      "<svg x='60' y='5' width='30' height='20'><circle cx='15' cy='15' r='15' fill='#aa5500'/></svg>"
      "<g opacity='0.5'><rect x='60' y='60' width='20' height='20' fill='#008000'/>"
      "<rect x='70' y='70' width='20' height='20' fill='#008000'/></g>"
      "<mask id='m'><rect x='0' y='0' width='50' height='100' fill='white'/></mask>"
      "<clipPath id='c'><circle cx='80' cy='10' r='8'/></clipPath>"
      "<rect x='40' y='92' width='20' height='6' fill='#000080' mask='url(#m)'/>"
      "<rect x='70' y='0' width='20' height='20' fill='#aa00aa' clip-path='url(#c)'/>",
      "width='100' height='100'");
  auto render = [](const std::string& text, std::string* exported) {
    Shapes s(text);
    if (exported) *exported = ExportSvg(s.view);
    return RenderToImage(s.view, 100, 100, 0xFFFFFFFFu);
  };
  std::string exported;
  const QImage first = render(drawing, &exported);
  const QImage second = render(exported, nullptr);
  int differing = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      const QRgb a = first.pixel(x, y), b = second.pixel(x, y);
      if (std::abs(qRed(a) - qRed(b)) > 2 || std::abs(qGreen(a) - qGreen(b)) > 2 || std::abs(qBlue(a) - qBlue(b)) > 2)
        ++differing;
    }
  EXPECT_EQ(differing, 0) << exported;
  // The export says what it draws in SVG's own terms.
  for (const char* part : {"fill-rule=\"evenodd\"", "stroke-linecap=\"square\"", "overflow=\"hidden\"", "stroke-miterlimit=\"2\"",
                           "<radialGradient", "spreadMethod=\"reflect\"", "gradientTransform=", "opacity=\"0.7\"",
                           "<g opacity=\"0.5\">", "<mask id=", "<clipPath", "paint-order=\"stroke\""})
    EXPECT_NE(exported.find(part), std::string::npos) << part;
}
