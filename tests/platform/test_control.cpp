// The display-object tree and its geometry: TMatrix, ownership and the
// children list, names, placement through nested controls, opacity, client
// alignment, and freeing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Control.h"
#include "platform/Matrix.h"
#include "tests/platform/GeometryAsserts.h"

using namespace karto;

namespace {

constexpr float kPi = 3.14159265358979f;

// --- TMatrix ---------------------------------------------------------------

struct MatrixCase {
  const char* what;
  TMatrix m;
  TPointF in;
  TPointF out;
};

TEST(Matrix, MapsPointsInRowVectorForm) {
  const TMatrix scale2 = TMatrix::CreateScaling(2, 2);
  const TMatrix right10 = TMatrix::CreateTranslation(10, 0);
  const TMatrix quarter = TMatrix::CreateRotation(kPi / 2);
  const MatrixCase cases[] = {
      {"identity", TMatrix::Identity(), {3, 4}, {3, 4}},
      {"translation", TMatrix::CreateTranslation(10, -5), {3, 4}, {13, -1}},
      {"scaling", TMatrix::CreateScaling(2, -3), {3, 4}, {6, -12}},
      // A positive angle turns +x towards +y (clockwise on screen).
      {"rotation, +x", quarter, {1, 0}, {0, 1}},
      {"rotation, +y", quarter, {0, 1}, {-1, 0}},
      // (x, y) -> (x*m11 + y*m21 + m31, x*m12 + y*m22 + m32)
      {"general",
       TMatrix{2, 3, 0, 5, 7, 0, 11, 13, 1},
       {1, 2},
       {1 * 2 + 2 * 5 + 11, 1 * 3 + 2 * 7 + 13}},
      // A * B applies A first.
      {"scale, then translate", scale2 * right10, {1, 1}, {12, 2}},
      {"translate, then scale", right10 * scale2, {1, 1}, {22, 2}},
      {"rotate, then translate", quarter * right10, {1, 0}, {10, 1}},
      {"translate, then rotate", right10 * quarter, {1, 0}, {0, 11}},
  };
  for (const MatrixCase& c : cases) EXPECT_TRUE(PointNear(c.m.Transform(c.in), c.out)) << c.what;
}

TEST(Matrix, VectorsIgnoreTranslation) {
  const TMatrix m = TMatrix::CreateScaling(2, 3) * TMatrix::CreateTranslation(100, 200);
  EXPECT_TRUE(PointNear(m.TransformVector({1, 1}), {2, 3}));
}

TEST(Matrix, InverseUndoesTheMapping) {
  const TMatrix matrices[] = {
      TMatrix::CreateTranslation(-7, 12),
      TMatrix::CreateScaling(0.25f, 8),
      TMatrix::CreateRotation(0.7f) * TMatrix::CreateTranslation(3, 4),
      TMatrix::CreateScaling(3, -2) * TMatrix::CreateRotation(-2.1f) *
          TMatrix::CreateTranslation(-50, 9),
  };
  for (const TMatrix& m : matrices) {
    const TMatrix inv = m.Inverse();
    for (TPointF p : {TPointF{0, 0}, TPointF{5, -3}, TPointF{-120.5f, 44}}) {
      EXPECT_TRUE(PointNear(inv.Transform(m.Transform(p)), p, 1e-3f));
      EXPECT_TRUE(PointNear((m * inv).Transform(p), p, 1e-3f));
    }
  }
  // A singular matrix has no inverse; the identity stands in.
  EXPECT_EQ(TMatrix::CreateScaling(0, 1).Inverse(), TMatrix::Identity());
}

TEST(Matrix, IsSetOnlyWhenM33IsExactlyOne) {
  TMatrix nearly = TMatrix::Identity();
  nearly.m33 = 0.99999994f;
  TMatrix odd = TMatrix::Zero();
  odd.m33 = 1;
  EXPECT_TRUE(TMatrix::Identity().IsSet());
  EXPECT_TRUE(odd.IsSet());
  EXPECT_FALSE(TMatrix::Zero().IsSet());
  EXPECT_FALSE(nearly.IsSet());
}

// --- the tree ----------------------------------------------------------------

// Children of root, created and owned by it.
std::vector<TControl*> MakeChildren(TControl& root, const std::vector<std::string>& names) {
  std::vector<TControl*> out;
  for (const std::string& n : names) {
    auto* c = new TLayout(&root);
    c->SetName(n);
    c->SetParent(&root);
    out.push_back(c);
  }
  return out;
}

std::vector<std::string> ChildNames(const TControl& c) {
  std::vector<std::string> out;
  for (const TControl* k : c.ChildList()) out.push_back(k->Name());
  return out;
}

using Names = std::vector<std::string>;

TEST(ControlTree, ChildrenAreInDrawingOrderAndRemovalShiftsLaterIndices) {
  TLayout root;
  std::vector<TControl*> k = MakeChildren(root, {"A", "B", "C", "D"});
  EXPECT_EQ(ChildNames(root), (Names{"A", "B", "C", "D"}));
  EXPECT_EQ(k[2]->Index(), 2);
  EXPECT_EQ(k[0]->Parent(), &root);

  k[1]->SetParent(nullptr);  // detached, still owned by root
  EXPECT_EQ(ChildNames(root), (Names{"A", "C", "D"}));
  EXPECT_EQ(k[2]->Index(), 1);
  EXPECT_EQ(k[1]->Index(), -1);
  EXPECT_EQ(k[1]->Parent(), nullptr);

  root.InsertChild(0, k[1]);
  EXPECT_EQ(ChildNames(root), (Names{"B", "A", "C", "D"}));
  root.InsertChild(99, k[0]);  // past the end: on top
  EXPECT_EQ(ChildNames(root), (Names{"B", "C", "D", "A"}));

  delete k[2];
  EXPECT_EQ(ChildNames(root), (Names{"B", "D", "A"}));
  EXPECT_EQ(k[3]->Index(), 1);

  k[3]->SetParent(k[1]);  // moves under B, removed from root
  EXPECT_EQ(ChildNames(root), (Names{"B", "A"}));
  EXPECT_EQ(ChildNames(*k[1]), (Names{"D"}));
  EXPECT_EQ(root.FindChild("D"), k[3]);
  EXPECT_EQ(k[3]->Root(), &root);
}

TEST(ControlTree, RefusesToMakeAControlItsOwnAncestor) {
  TLayout root;
  std::vector<TControl*> k = MakeChildren(root, {"A"});
  TControl* a = k[0];
  auto* b = new TLayout(&root);
  b->SetParent(a);

  const std::vector<std::pair<const char*, std::function<void()>>> refusals = {
      {"parent of itself", [&] { a->SetParent(a); }},
      {"parent of its parent", [&] { a->SetParent(b); }},
      {"inserted into its child", [&] { b->InsertChild(0, a); }},
      {"inserted into itself", [&] { a->InsertChild(0, a); }},
  };
  for (const auto& [what, op] : refusals) {
    EXPECT_THROW(op(), EComponentError) << what;
    // The tree is as it was.
    EXPECT_EQ(a->Parent(), &root) << what;
    EXPECT_EQ(b->Parent(), a) << what;
    EXPECT_EQ(root.ChildrenCount(), 1) << what;
    EXPECT_EQ(a->ChildrenCount(), 1) << what;
  }
}

// --- names ---------------------------------------------------------------------

TEST(ControlNames, AcceptsIdentifiersAndRefusesEverythingElse) {
  // Accepted: a letter or '_' followed by letters, digits or '_'.
  for (const char* good : {"a", "_", "PaintBox2D", "lbl_Status_1", "__x9"}) {
    TLayout c;
    EXPECT_NO_THROW(c.SetName(good)) << good;
    EXPECT_EQ(c.Name(), good);
  }
  // Refused; the previous name stays.
  for (const char* bad : {"1abc", "a b", "a-b", " a", "a ", "a.b", "$x",
                          "\xC3\xA4"
                          "b",
                          "a\n"}) {
    TLayout c;
    c.SetName("Old");
    EXPECT_THROW(c.SetName(bad), EComponentError) << bad;
    EXPECT_EQ(c.Name(), "Old") << bad;
  }
}

TEST(ControlNames, AreUniqueAmongTheOwnersComponents) {
  TLayout form;
  TLayout otherForm;
  auto* a = new TLayout(&form);
  auto* b = new TLayout(&form);
  auto* elsewhere = new TLayout(&otherForm);
  a->SetName("Shape1");
  b->SetName("Old");

  EXPECT_THROW(b->SetName("Shape1"), EComponentError);
  EXPECT_EQ(b->Name(), "Old");
  // Another owner's components do not clash, nor do unnamed ones.
  EXPECT_NO_THROW(elsewhere->SetName("Shape1"));
  auto* unnamed = new TLayout(&form);
  new TLayout(&form);
  unnamed->SetName("Temp");
  EXPECT_NO_THROW(unnamed->SetName(""));
  // Taking the name to an owner that has it is refused too.
  EXPECT_THROW(elsewhere->SetOwner(&form), EComponentError);
  EXPECT_EQ(elsewhere->Owner(), &otherForm);
  // Once the holder gives the name up, it is free again.
  a->SetName("Shape2");
  EXPECT_NO_THROW(b->SetName("Shape1"));
  EXPECT_EQ(form.FindComponent("Shape1"), b);
  EXPECT_EQ(form.FindComponent("Old"), nullptr);
  delete a;
  EXPECT_EQ(form.FindComponent("Shape2"), nullptr);
  EXPECT_NO_THROW(elsewhere->SetName("Shape2"));
  EXPECT_NO_THROW(elsewhere->SetOwner(&form));
  EXPECT_EQ(form.FindComponent("Shape2"), elsewhere);
  EXPECT_EQ(otherForm.FindComponent("Shape2"), nullptr);
}

// --- placement -----------------------------------------------------------------

// root (scaled by 2, placed at 100, 50 in a host shifted by 7, -3)
//   mid (40 x 20 at 10, 20, turned 90 degrees about its centre)
//     leaf (at 4, 2, scaled 0.5 x 3)
class ControlPlacement : public ::testing::Test {
 protected:
  void SetUp() override {
    root.SetBounds(100, 50, 200, 200);
    root.SetScale({2, 2});
    mid = new TLayout(&root);
    mid->SetParent(&root);
    mid->SetBounds(10, 20, 40, 20);
    mid->SetRotationAngle(90);
    leaf = new TLayout(&root);
    leaf->SetParent(mid);
    leaf->SetBounds(4, 2, 8, 8);
    leaf->SetScale({0.5f, 3});
  }
  TLayout root;
  TControl* mid = nullptr;
  TControl* leaf = nullptr;
};

TEST_F(ControlPlacement, MapsThroughNestedScaleAndRotation) {
  // leaf (2, 1) -> mid (5, 5); turned about mid's centre (20, 10): (25, -5);
  // moved to (35, 15) in root; root: (170, 80).
  struct Case {
    const char* what;
    const TControl* c;
    TPointF local;
    TPointF absolute;
  };
  const Case cases[] = {
      {"leaf point", leaf, {2, 1}, {170, 80}},
      {"leaf origin", leaf, {0, 0}, {176, 78}},
      {"mid centre stays where it was", mid, {20, 10}, {160, 110}},
      {"mid top-left turns to the top-right", mid, {0, 0}, {180, 70}},
      {"root", &root, {1, 1}, {102, 52}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(PointNear(c.c->LocalToAbsolute(c.local), c.absolute)) << c.what;
    EXPECT_TRUE(PointNear(c.c->GetAbsoluteMatrix().Transform(c.local), c.absolute)) << c.what;
    EXPECT_TRUE(PointNear(c.c->AbsoluteToLocal(c.absolute), c.local)) << c.what;
  }
  // The host's placement of the root comes last.
  root.SetHostMatrix(TMatrix::CreateTranslation(7, -3));
  EXPECT_TRUE(PointNear(leaf->LocalToAbsolute({2, 1}), {177, 77}));
  EXPECT_TRUE(PointNear(leaf->AbsoluteToLocal({177, 77}), {2, 1}));
}

TEST_F(ControlPlacement, VectorsTakeScaleAndRotationButNoTranslation) {
  EXPECT_TRUE(PointNear(leaf->LocalToAbsoluteVector({1, 0}), {0, 1}));
  EXPECT_TRUE(PointNear(leaf->LocalToAbsoluteVector({0, 1}), {-6, 0}));
  EXPECT_TRUE(PointNear(leaf->AbsoluteToLocalVector({-6, 0}), {0, 1}));
}

TEST_F(ControlPlacement, RoundTripsThroughAbsoluteCoordinates) {
  root.SetHostMatrix(TMatrix::CreateTranslation(7, -3));
  mid->SetRotationAngle(-33.5f);
  mid->SetRotationCenter({0.2f, 0.9f});
  mid->SetScale({1.5f, 0.75f});
  leaf->SetRotationAngle(71);
  for (const TControl* c : {static_cast<const TControl*>(&root), static_cast<const TControl*>(mid),
                            static_cast<const TControl*>(leaf)})
    for (TPointF p : {TPointF{0, 0}, TPointF{3.5f, -2}, TPointF{40, 20}, TPointF{-17, 123}})
      EXPECT_TRUE(PointNear(c->AbsoluteToLocal(c->LocalToAbsolute(p)), p, 1e-3f));
}

TEST_F(ControlPlacement, RotationTurnsAboutTheRotationCentre) {
  // About the top-left corner: mid (5, 5) -> (-5, 5) -> root (5, 25) -> (110, 100).
  mid->SetRotationCenter({0, 0});
  EXPECT_TRUE(PointNear(mid->LocalToAbsolute({5, 5}), {110, 100}));
  // With a scale, the centre is taken on the scaled size, so the control's
  // middle still stays in place: mid 40 x 20 scaled by 2 x 1, half a turn.
  mid->SetRotationCenter({0.5f, 0.5f});
  mid->SetRotationAngle(180);
  mid->SetScale({2, 1});
  // Middle (20, 10) -> scaled (40, 10), fixed by the turn -> root (50, 30).
  EXPECT_TRUE(PointNear(mid->LocalToAbsolute({20, 10}), {200, 110}));
  // Top-left (0, 0) -> opposite corner of the scaled box (80, 20) -> root (90, 40).
  EXPECT_TRUE(PointNear(mid->LocalToAbsolute({0, 0}), {280, 130}));
}

TEST(ControlState, OpacityMultipliesDownTheTree) {
  TLayout root;
  auto* mid = new TLayout(&root);
  auto* leaf = new TLayout(&root);
  mid->SetParent(&root);
  leaf->SetParent(mid);
  root.SetOpacity(0.5f);
  mid->SetOpacity(0.5f);
  leaf->SetOpacity(0.8f);
  EXPECT_FLOAT_EQ(leaf->AbsoluteOpacity(), 0.2f);
  EXPECT_FLOAT_EQ(mid->AbsoluteOpacity(), 0.25f);
  EXPECT_FLOAT_EQ(leaf->Opacity(), 0.8f);
  leaf->SetParent(&root);
  EXPECT_FLOAT_EQ(leaf->AbsoluteOpacity(), 0.4f);

  mid->SetEnabled(false);
  leaf->SetParent(mid);
  EXPECT_TRUE(leaf->Enabled());
  EXPECT_FALSE(leaf->AbsoluteEnabled());
}

TEST(ControlAlign, ClientChildFillsItsParentAndFollowsItsSize) {
  TLayout parent;
  parent.SetSize(100, 50);
  auto* child = new TLayout(&parent);
  child->SetBounds(5, 6, 7, 8);
  child->SetParent(&parent);
  auto* grandchild = new TLayout(&parent);
  grandchild->SetParent(child);
  grandchild->SetAlign(TAlignLayout::alClient);

  child->SetAlign(TAlignLayout::alClient);
  EXPECT_EQ(child->Position(), TPointF(0, 0));
  EXPECT_EQ(child->LocalRect(), TRectF(0, 0, 100, 50));
  EXPECT_EQ(grandchild->LocalRect(), TRectF(0, 0, 100, 50));

  parent.SetSize(30, 20);
  EXPECT_EQ(child->LocalRect(), TRectF(0, 0, 30, 20));
  EXPECT_EQ(grandchild->LocalRect(), TRectF(0, 0, 30, 20));

  // While aligned, the parent places it.
  child->SetBounds(3, 3, 1, 1);
  EXPECT_EQ(child->Position(), TPointF(0, 0));
  EXPECT_EQ(child->LocalRect(), TRectF(0, 0, 30, 20));

  // A new parent gives it a new size.
  TLayout other;
  other.SetSize(64, 48);
  child->SetParent(&other);
  EXPECT_EQ(child->LocalRect(), TRectF(0, 0, 64, 48));
  child->SetParent(&parent);  // back, so that parent frees it

  child->SetAlign(TAlignLayout::alNone);
  child->SetBounds(1, 2, 3, 4);
  EXPECT_EQ(child->Position(), TPointF(1, 2));
  EXPECT_EQ(child->LocalRect(), TRectF(0, 0, 3, 4));
}

// --- freeing ---------------------------------------------------------------------

// A control that records its destruction.
class TTracked : public TLayout {
 public:
  TTracked(TControl* owner, std::map<std::string, int>& freed, std::string tag)
      : TLayout(owner), m_freed(freed), m_tag(std::move(tag)) {}
  ~TTracked() override { ++m_freed[m_tag]; }

 private:
  std::map<std::string, int>& m_freed;
  std::string m_tag;
};

struct FreeCase {
  const char* what;
  // Builds controls around keeper (which survives) and returns the one to free.
  std::function<TControl*(TControl& keeper, std::map<std::string, int>& freed)> build;
  std::vector<std::string> expectFreed;
};

TEST(ControlLifetime, FreeingFreesChildrenAndOwnedComponentsOnce) {
  const FreeCase cases[] = {
      {"children it owns, nested",
       [](TControl&, auto& f) -> TControl* {
         auto* a = new TTracked(nullptr, f, "a");
         auto* b = new TTracked(a, f, "b");
         auto* c = new TTracked(a, f, "c");
         b->SetParent(a);
         c->SetParent(b);
         return a;
       },
       {"a", "b", "c"}},
      {"a component it owns that lives under another parent",
       [](TControl& keeper, auto& f) -> TControl* {
         auto* a = new TTracked(nullptr, f, "a");
         auto* b = new TTracked(a, f, "b");
         b->SetParent(&keeper);
         return a;
       },
       {"a", "b"}},
      {"a child that another control owns",
       [](TControl& keeper, auto& f) -> TControl* {
         auto* a = new TTracked(nullptr, f, "a");
         auto* b = new TTracked(&keeper, f, "b");
         b->SetParent(a);
         return a;
       },
       {"a", "b"}},
      {"a component owned by one of its children",
       [](TControl& keeper, auto& f) -> TControl* {
         auto* a = new TTracked(nullptr, f, "a");
         auto* b = new TTracked(a, f, "b");
         auto* c = new TTracked(b, f, "c");
         b->SetParent(a);
         c->SetParent(&keeper);
         return a;
       },
       {"a", "b", "c"}},
      {"a parent that is owned by its own child",
       [](TControl&, auto& f) -> TControl* {
         auto* a = new TTracked(nullptr, f, "a");
         auto* b = new TTracked(nullptr, f, "b");
         b->SetParent(a);
         a->SetOwner(b);
         return a;
       },
       {"a", "b"}},
      {"a child that owns its parent",
       [](TControl&, auto& f) -> TControl* {
         auto* a = new TTracked(nullptr, f, "a");
         auto* b = new TTracked(nullptr, f, "b");
         b->SetParent(a);
         a->SetOwner(b);
         return b;
       },
       {"a", "b"}},
  };
  for (const FreeCase& c : cases) {
    std::map<std::string, int> freed;
    {
      TLayout keeper;
      TControl* victim = c.build(keeper, freed);
      delete victim;
      // Nothing freed is left in the keeper's lists.
      EXPECT_EQ(keeper.ChildrenCount(), 0) << c.what;
      EXPECT_EQ(keeper.ComponentCount(), 0) << c.what;
    }
    std::map<std::string, int> want;
    for (const std::string& t : c.expectFreed) want[t] = 1;
    EXPECT_EQ(freed, want) << c.what;
  }
}

TEST(ControlLifetime, DeleteChildrenKeepsComponentsThatAreNotChildren) {
  std::map<std::string, int> freed;
  {
    TLayout root;
    auto* child = new TTracked(&root, freed, "child");
    child->SetParent(&root);
    auto* detached = new TTracked(&root, freed, "detached");
    root.DeleteChildren();
    EXPECT_EQ(freed, (std::map<std::string, int>{{"child", 1}}));
    EXPECT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.Components(0), detached);
  }
  EXPECT_EQ(freed, (std::map<std::string, int>{{"child", 1}, {"detached", 1}}));
}

}  // namespace
