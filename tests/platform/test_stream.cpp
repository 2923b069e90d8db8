// The object stream: what WriteComponent writes, ReadComponent and
// ReadComponentInto read back into the same tree; bad streams are refused
// whole.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ObjectStream.h"
#include "platform/Shapes.h"
#include "tests/platform/GeometryAsserts.h"

using namespace karto;

namespace {

// A drawing that uses every property the stream carries, most of them away
// from their defaults:
//   PaintBox2D: TPaintBox
//     Path1: TPath          curves, closes, arc, gradient fill, custom dash,
//                           nonzero fill, a general matrix, miter limit
//     Rect1: TRectangle     radii, hidden, disabled, no fill
//     Group1: TLayout
//       Ellipse1: TEllipse  client aligned
//       Line1: TLine
//       Text1: TText        quotes, line breaks, tab
//     (unnamed): TText
//     Overlay: TRectangle   not stored, with a stored child
std::unique_ptr<TPaintBox> BuildDrawing() {
  auto root = std::make_unique<TPaintBox>();
  TPaintBox* r = root.get();
  r->SetName("PaintBox2D");
  r->SetBounds(3, 4, 200, 150);
  r->SetScale({1.5f, 1.5f});
  r->SetClipChildren(true);
  r->SetTag(7);

  auto* path = new TPath(r);
  path->SetName("Path1");
  path->SetParent(r);
  path->SetBounds(10.25f, 20, 50, 40);
  path->SetRotationAngle(30);
  path->SetRotationCenter({0.25f, 0.75f});
  path->SetOpacity(0.5f);
  path->WrapMode = TPathWrapMode::pwFit;
  path->FillRule = TPathFillRule::frNonZero;
  path->DataMatrix = TMatrix::CreateTranslation(1.5f, -2) * TMatrix::CreateScaling(2, 0.75f);
  path->DataMatrix.m21 = 0.25f;  // a skew
  path->StrokeMiterLimit = 6.5f;
  path->ClipOutline.AddRectangle(TRectF(1, 2, 30, 40), 0, 0);
  path->Data.MoveTo({0, 0});
  path->Data.LineTo({10.1f, 0});
  path->Data.CurveTo({12, 3}, {14, 7.7f}, {10, 10});
  path->Data.SmoothCurveTo({3, 12}, {0, 10});
  path->Data.ClosePath();
  path->Data.AddArc({5, 5}, {2, 3}, 10, 200);
  path->Data.ClosePath();
  path->Fill.Kind = TBrushKind::bkGradient;
  path->Fill.Gradient.Points = {{0xFF102030u, 0}, {0x80FFFFFFu, 0.4f}, {0xFF00FF00u, 1}};
  path->Fill.Gradient.StartPosition = {0.1f, 0.2f};
  path->Fill.Gradient.StopPosition = {0.9f, 1};
  path->Stroke.Color = TAlphaColors::Red;
  path->StrokeThickness = 2.5f;
  path->StrokeCap = TStrokeCap::scRound;
  path->StrokeJoin = TStrokeJoin::sjBevel;
  path->SetCustomDash({3, 1.5f, 0.5f}, 0.25f);

  auto* rect = new TRectangle(r);
  rect->SetName("Rect1");
  rect->SetParent(r);
  rect->SetBounds(-5, 60, 30, 20);
  rect->XRadius = 4;
  rect->YRadius = 3;
  rect->Fill.Kind = TBrushKind::bkNone;
  rect->StrokeDash = TStrokeDash::sdDashDot;
  rect->SetVisible(false);
  rect->SetEnabled(false);
  rect->SetHitTest(false);
  rect->SetScale({2, 0.5f});
  rect->SetTag(-42);

  auto* group = new TLayout(r);
  group->SetName("Group1");
  group->SetParent(r);
  group->SetBounds(100, 10, 80, 60);

  auto* ellipse = new TEllipse(r);
  ellipse->SetName("Ellipse1");
  ellipse->SetParent(group);
  ellipse->SetAlign(TAlignLayout::alClient);
  ellipse->Stroke.Kind = TBrushKind::bkNone;
  ellipse->Fill.Color = 0x7F0000FFu;

  auto* line = new TLine(r);
  line->SetName("Line1");
  line->SetParent(group);
  line->SetBounds(1, 2, 3, 4);
  line->LineType = TLineType::ltLeft;
  line->StrokeDash = TStrokeDash::sdDot;

  auto* text = new TText(r);
  text->SetName("Text1");
  text->SetParent(group);
  text->SetBounds(0, 40, 80, 20);
  text->Text = "It's \"quoted\" = 'twice'\nsecond line\r\n\ttab #10 end";
  text->FontFamily = "DejaVu Sans";
  text->FontSize = 14.5f;
  text->FontBold = true;
  text->Color = 0xFF336699u;
  text->HorzAlign = TTextAlign::taLeading;
  text->VertAlign = TTextAlign::taTrailing;

  auto* unnamed = new TText(r);
  unnamed->SetParent(r);
  unnamed->Text = "";

  auto* overlay = new TRectangle(r);
  overlay->SetName("Overlay");
  overlay->SetParent(r);
  overlay->SetStored(false);
  auto* handle = new TRectangle(r);
  handle->SetName("Handle");
  handle->SetParent(overlay);
  return root;
}

// Compares everything the stream carries, child by child; unstored children
// of `want` are skipped.
void ExpectSameTree(const TControl& got, const TControl& want, const std::string& where) {
  SCOPED_TRACE(where);
  ASSERT_STREQ(got.ClassName(), want.ClassName());
  EXPECT_EQ(got.Name(), want.Name());
  EXPECT_EQ(got.Position(), want.Position());
  EXPECT_EQ(got.Width(), want.Width());
  EXPECT_EQ(got.Height(), want.Height());
  EXPECT_EQ(got.Scale(), want.Scale());
  EXPECT_EQ(got.RotationAngle(), want.RotationAngle());
  EXPECT_EQ(got.RotationCenter(), want.RotationCenter());
  EXPECT_EQ(got.Align(), want.Align());
  EXPECT_EQ(got.Opacity(), want.Opacity());
  EXPECT_EQ(got.Visible(), want.Visible());
  EXPECT_EQ(got.Enabled(), want.Enabled());
  EXPECT_EQ(got.HitTest(), want.HitTest());
  EXPECT_EQ(got.ClipChildren(), want.ClipChildren());
  EXPECT_EQ(got.Tag(), want.Tag());
  EXPECT_TRUE(got.Stored());

  if (auto* w = dynamic_cast<const TShape*>(&want)) {
    auto* g = dynamic_cast<const TShape*>(&got);
    EXPECT_TRUE(g->Fill == w->Fill);
    EXPECT_TRUE(g->Stroke == w->Stroke);
    EXPECT_EQ(g->StrokeThickness, w->StrokeThickness);
    EXPECT_EQ(g->StrokeCap, w->StrokeCap);
    EXPECT_EQ(g->StrokeJoin, w->StrokeJoin);
    EXPECT_EQ(g->StrokeDash, w->StrokeDash);
    EXPECT_EQ(g->CustomDash, w->CustomDash);
    EXPECT_EQ(g->DashOffset, w->DashOffset);
    EXPECT_EQ(g->StrokeMiterLimit, w->StrokeMiterLimit);
    EXPECT_TRUE(g->ClipOutline == w->ClipOutline);
  }
  if (auto* w = dynamic_cast<const TPath*>(&want)) {
    auto* g = dynamic_cast<const TPath*>(&got);
    EXPECT_EQ(g->WrapMode, w->WrapMode);
    EXPECT_EQ(g->FillRule, w->FillRule);
    EXPECT_EQ(g->DataMatrix.IsSet(), w->DataMatrix.IsSet());
    for (TPointF p : {TPointF(0, 0), TPointF(3, 7)}) EXPECT_TRUE(g->DataMatrix.Transform(p) == w->DataMatrix.Transform(p));
    EXPECT_TRUE(g->Data == w->Data) << g->Data.Data() << "\n" << w->Data.Data();
  }
  if (auto* w = dynamic_cast<const TRectangle*>(&want)) {
    auto* g = dynamic_cast<const TRectangle*>(&got);
    EXPECT_EQ(g->XRadius, w->XRadius);
    EXPECT_EQ(g->YRadius, w->YRadius);
  }
  if (auto* w = dynamic_cast<const TLine*>(&want)) {
    EXPECT_EQ(dynamic_cast<const TLine*>(&got)->LineType, w->LineType);
  }
  if (auto* w = dynamic_cast<const TText*>(&want)) {
    auto* g = dynamic_cast<const TText*>(&got);
    EXPECT_EQ(g->Text, w->Text);
    EXPECT_EQ(g->FontFamily, w->FontFamily);
    EXPECT_EQ(g->FontSize, w->FontSize);
    EXPECT_EQ(g->FontBold, w->FontBold);
    EXPECT_EQ(g->Color, w->Color);
    EXPECT_EQ(g->HorzAlign, w->HorzAlign);
    EXPECT_EQ(g->VertAlign, w->VertAlign);
  }

  std::vector<const TControl*> stored;
  for (const TControl* c : want.ChildList())
    if (c->Stored()) stored.push_back(c);
  ASSERT_EQ(got.ChildrenCount(), int(stored.size()));
  for (size_t i = 0; i < stored.size(); ++i)
    ExpectSameTree(*got.Children(int(i)), *stored[i], where + "/" + stored[i]->Name());
}

// Every descendant of root is owned by root.
void ExpectOwnedByRoot(const TControl& root, const TControl& c) {
  for (const TControl* k : c.ChildList()) {
    EXPECT_EQ(k->Owner(), &root) << k->Name();
    ExpectOwnedByRoot(root, *k);
  }
}

int CountDescendants(const TControl& c) {
  int n = 0;
  for (const TControl* k : c.ChildList()) n += 1 + CountDescendants(*k);
  return n;
}

TEST(ObjectStream, ReadsBackTheSameTree) {
  const std::unique_ptr<TPaintBox> drawing = BuildDrawing();
  const std::string text = WriteComponent(*drawing);
  EXPECT_EQ(text.rfind("object PaintBox2D: TPaintBox\n", 0), 0u) << text;

  const std::unique_ptr<TControl> back = ReadComponent(text);
  ExpectSameTree(*back, *drawing, "PaintBox2D");
  ExpectOwnedByRoot(*back, *back);
  EXPECT_EQ(back->ComponentCount(), CountDescendants(*back));
  // Written again, it gives the same text.
  EXPECT_EQ(WriteComponent(*back), text);
}

TEST(ObjectStream, LeavesOutUnstoredChildrenAndWhatIsUnderThem) {
  const std::unique_ptr<TPaintBox> drawing = BuildDrawing();
  const std::string text = WriteComponent(*drawing);
  EXPECT_EQ(text.find("Overlay"), std::string::npos);
  EXPECT_EQ(text.find("Handle"), std::string::npos);
  // One property a line: the text with line breaks stays on its own line.
  const std::unique_ptr<TControl> back = ReadComponent(text);
  EXPECT_EQ(back->FindChild("Overlay"), nullptr);
  EXPECT_NE(back->FindChild("Text1"), nullptr);
}

TEST(ObjectStream, ReadIntoReplacesChildrenAndSetsProperties) {
  const std::unique_ptr<TPaintBox> drawing = BuildDrawing();
  const std::string text = WriteComponent(*drawing);

  // A target with other children, some holding the names the stream brings.
  TPaintBox target;
  target.SetName("PaintBox2D");
  target.SetBounds(0, 0, 10, 10);
  target.SetScale({3, 3});
  target.SetTag(1);
  for (const char* n : {"Path1", "Other"}) {
    auto* c = new TRectangle(&target);
    c->SetName(n);
    c->SetParent(&target);
  }
  int repaints = 0;
  target.SetOnRepaint([&] { ++repaints; });

  ReadComponentInto(text, target);
  ExpectSameTree(target, *drawing, "PaintBox2D");
  ExpectOwnedByRoot(target, target);
  EXPECT_EQ(target.FindChild("Other"), nullptr);
  EXPECT_GT(repaints, 0);

  // A second read of the same text gives the same tree again.
  ReadComponentInto(text, target);
  ExpectSameTree(target, *drawing, "PaintBox2D, again");
  EXPECT_EQ(target.ComponentCount(), CountDescendants(target));
}

// A stream of n objects, each nested in the one before.
std::string Nested(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += (i ? "object TLayout\n" : "object Root: TPaintBox\n");
  for (int i = 0; i < n; ++i) s += "end\n";
  return s;
}

TEST(ObjectStream, ReadsDeepButNotHostileNesting) {
  const std::unique_ptr<TControl> deep = ReadComponent(Nested(100));
  EXPECT_EQ(CountDescendants(*deep), 99);
  EXPECT_THROW(ReadComponent(Nested(5000)), EStreamError);
}

struct BadStream {
  const char* what;
  std::string text;
  int line;  // the line the message names; 0: not checked
};

// Every stream here is refused whole, with the line of the fault.
const BadStream kBadStreams[] = {
    // Structure.
    {"empty text", "", 0},
    {"no object", "Width = 10\nend\n", 1},
    {"root class unknown", "object A: TNoSuchClass\nend\n", 1},
    {"child class unknown", "object A: TPaintBox\n  object B: TNoSuchClass\n  end\nend\n", 2},
    {"missing end", "object A: TPaintBox\n  object B: TLayout\n  end\n", 0},
    {"missing child end", "object A: TPaintBox\n  object B: TLayout\n", 0},
    {"text after the last end", "object A: TPaintBox\nend\nobject C: TLayout\nend\n", 3},
    {"no \" = \"", "object A: TPaintBox\n  Width 10\nend\n", 2},
    // Names.
    {"duplicate names",
     "object A: TPaintBox\n  object B: TLayout\n  end\n  object B: TPath\n  end\nend\n", 4},
    {"duplicate names at different depths",
     "object A: TPaintBox\n  object B: TLayout\n    object B: TPath\n    end\n  end\nend\n", 3},
    {"invalid child name", "object A: TPaintBox\n  object 1B: TLayout\n  end\nend\n", 2},
    {"invalid root name", "object A-1: TPaintBox\nend\n", 1},
    // Properties.
    {"unknown property", "object A: TPaintBox\n  Colour = xFF000000\nend\n", 2},
    {"property of another class", "object A: TPaintBox\n  Stroke.Thickness = 1\nend\n", 2},
    {"not a number", "object A: TPaintBox\n  Width = wide\nend\n", 2},
    {"number with junk", "object A: TPaintBox\n  Width = 10px\nend\n", 2},
    {"number out of range", "object A: TPaintBox\n  Width = 1e99\nend\n", 2},
    {"not a finite number", "object A: TPaintBox\n  Opacity = nan\nend\n", 2},
    {"infinite position", "object A: TPaintBox\n  Position.X = -inf\nend\n", 2},
    {"not a boolean", "object A: TPaintBox\n  Visible = Yes\nend\n", 2},
    {"tag not an integer", "object A: TPaintBox\n  Tag = 1.5\nend\n", 2},
    {"unknown alignment", "object A: TPaintBox\n  Align = Left\nend\n", 2},
    {"bad colour", "object A: TPaintBox\n  object B: TText\n    Color = red\n  end\nend\n", 3},
    {"unknown enum value",
     "object A: TPaintBox\n  object B: TPath\n    Stroke.Cap = Triangle\n  end\nend\n", 3},
    {"unterminated text", "object A: TPaintBox\n  object B: TText\n    Text = 'abc\n  end\nend\n",
     3},
    {"broken path data",
     "object A: TPaintBox\n  object B: TPath\n    Data.Path = 'M 1,2 L'\n  end\nend\n", 3},
    {"bad dash",
     "object A: TPaintBox\n  object B: TPath\n    Stroke.CustomDash = '1 x'\n  end\nend\n", 3},
    {"short matrix", "object A: TPaintBox\n  object B: TPath\n    Data.Matrix = '1 0 0 1 5'\n  end\nend\n", 3},
    {"bad gradient point",
     "object A: TPaintBox\n  object B: TPath\n    Fill.Gradient.Points = 'xFF000000-0.5'\n  "
     "end\nend\n",
     3},
    {"fault after good children",
     "object A: TPaintBox\n  object B: TPath\n  end\n  object C: TLayout\n    Opacity = half\n  "
     "end\nend\n",
     5},
};

TEST(ObjectStream, RefusesBadStreamsWithTheLine) {
  for (const BadStream& c : kBadStreams) {
    try {
      ReadComponent(c.text);
      ADD_FAILURE() << c.what << ": read without error";
    } catch (const EStreamError& e) {
      const std::string want = "Line " + std::to_string(c.line) + ":";
      if (c.line > 0) {
        EXPECT_EQ(std::string(e.what()).rfind(want, 0), 0u) << c.what << ": " << e.what();
      }
    }
  }
}

TEST(ObjectStream, ReadIntoLeavesTheTargetUnchangedOnError) {
  std::vector<std::pair<std::string, std::string>> cases;
  for (const BadStream& c : kBadStreams) cases.emplace_back(c.what, c.text);
  cases.emplace_back("hostile nesting", Nested(5000));
  cases.emplace_back("another class", "object PaintBox2D: TLayout\nend\n");

  for (const auto& [what, text] : cases) {
    const std::unique_ptr<TPaintBox> target = BuildDrawing();
    const std::string before = WriteComponent(*target);
    const std::vector<TControl*> children = target->ChildList();
    const int components = target->ComponentCount();
    EXPECT_THROW(ReadComponentInto(text, *target), EStreamError) << what;
    EXPECT_EQ(WriteComponent(*target), before) << what;
    EXPECT_EQ(target->ChildList(), children) << what;
    EXPECT_EQ(target->ComponentCount(), components) << what;
  }
}

}  // namespace

namespace {

// A picture in the 2D view (an imported SVG image) comes back with its
// pixels, placement and clip.
TEST(ObjectStream, PicturesKeepTheirPixelsPlacementAndClip) {
  TPaintBox box;
  box.SetName("PaintBox2D");
  auto* image = new TImage(&box);
  image->SetParent(&box);
  image->SetName("Img_1");
  TBitmap pixels(3, 2);
  pixels.Clear(0x80112233u);
  pixels.ScanLine(1)[2] = 0xFFABCDEFu;
  image->Bitmap = pixels;
  image->WrapMode = TImageWrapMode::iwOriginal;
  image->DrawMatrix = TMatrix::CreateScaling(2, 3) * TMatrix::CreateTranslation(5, 7);
  image->ClipOutline.AddRectangle(TRectF(0, 0, 4, 4), 0, 0);
  image->Smooth = false;
  const std::unique_ptr<TControl> back = ReadComponent(WriteComponent(box));
  ASSERT_EQ(back->ChildrenCount(), 1);
  const auto* got = dynamic_cast<const TImage*>(back->Children(0));
  ASSERT_NE(got, nullptr);
  EXPECT_TRUE(got->Bitmap == pixels);
  EXPECT_EQ(got->WrapMode, TImageWrapMode::iwOriginal);
  EXPECT_TRUE(got->DrawMatrix.Transform({1, 1}) == image->DrawMatrix.Transform({1, 1}));
  EXPECT_TRUE(got->ClipOutline == image->ClipOutline);
  EXPECT_FALSE(got->Smooth);
}

// Shapes that shared a layer share one again after reading, nested layers
// keep their order and opacities; separate streams never share.
TEST(ObjectStream, LayersAreSharedAgainWhenReadBack) {
  TPaintBox box;
  auto outer = std::make_shared<TDrawLayer>();
  outer->Opacity = 0.5f;
  auto inner = std::make_shared<TDrawLayer>();
  inner->Opacity = 0.25f;
  inner->Parent = outer;
  for (const std::shared_ptr<TDrawLayer>& layer : {outer, inner, inner}) {
    auto* shape = new TRectangle(&box);
    shape->SetParent(&box);
    shape->SetLayer(layer);
  }
  const std::string text = WriteComponent(box);
  const std::unique_ptr<TControl> back = ReadComponent(text);
  ASSERT_EQ(back->ChildrenCount(), 3);
  const TDrawLayer* a = back->Children(0)->Layer().get();
  const TDrawLayer* b = back->Children(1)->Layer().get();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(b, back->Children(2)->Layer().get());
  EXPECT_EQ(b->Parent.get(), a);
  EXPECT_EQ(a->Parent, nullptr);
  EXPECT_FLOAT_EQ(a->Opacity, 0.5f);
  EXPECT_FLOAT_EQ(b->Opacity, 0.25f);
  const std::unique_ptr<TControl> again = ReadComponent(text);
  EXPECT_NE(again->Children(0)->Layer().get(), a);
  auto* bad = new TRectangle(&box);
  EXPECT_FALSE(bad->ReadProperty("Layer", "\"7@x\""));
}

// A layer's mask is written once with the first shape in the layer and
// read back, shared, with its content; alpha masks stay alpha masks.
TEST(ObjectStream, LayerMasksAreReadBack) {
  TPaintBox box;
  auto layer = std::make_shared<TDrawLayer>();
  layer->Mask = std::make_shared<TControl>();
  layer->MaskAlpha = true;
  auto* white = new TRectangle(layer->Mask.get());
  white->SetParent(layer->Mask.get());
  white->SetBounds(1, 2, 3, 4);
  for (int i = 0; i < 2; ++i) {
    auto* shape = new TRectangle(&box);
    shape->SetParent(&box);
    shape->SetLayer(layer);
  }
  const std::string text = WriteComponent(box);
  EXPECT_EQ(text.find("Layer.AlphaMask."), text.rfind("Layer.AlphaMask."));  // once
  const std::unique_ptr<TControl> back = ReadComponent(text);
  const TDrawLayer* got = back->Children(0)->Layer().get();
  ASSERT_TRUE(got && got->Mask);
  EXPECT_EQ(got, back->Children(1)->Layer().get());
  EXPECT_TRUE(got->MaskAlpha);
  ASSERT_EQ(got->Mask->ChildrenCount(), 1);
  EXPECT_FLOAT_EQ(got->Mask->Children(0)->Height(), 4);
}

}  // namespace
