// The node tree: lookups by name (ASCII case ignored), attribute editing,
// ownership and the tree comparison.

#include <gtest/gtest.h>

#include <string>

#include "tests/xml/XmlDump.h"
#include "xml/XmlDoc.h"

using namespace karto;
using karto::testing::Dump;

namespace {

class TreeLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.LoadFromBytes(
        "<root>"
        "<svg id=\"a\"/>"
        "<SVG Width=\"10\" id=\"B\"/>"
        "<g><svg id=\"nested\"/></g>"
        "<Svg id=\"b\"/>"
        "</root>");
    root = doc.Root();
  }
  TXMLDocument doc;
  TXmlNode* root = nullptr;
};

TEST_F(TreeLookup, FindIgnoresAsciiCaseOfNamesButNotOfValues) {
  EXPECT_EQ(root->Find("SVG")->GetAttribute("id"), "a");
  EXPECT_EQ(root->Find("svg", "WIDTH")->GetAttribute("id"), "B");
  EXPECT_EQ(root->Find("svg", "id", "b")->NodeName(), "Svg");
  EXPECT_EQ(root->Find("svg", "id", "B")->NodeName(), "SVG");
  EXPECT_EQ(root->Find("svg", "id", "nested"), nullptr) << "searches stop at the direct children";
  EXPECT_EQ(root->Find("rect"), nullptr);
  EXPECT_EQ(root->Find("svg", "height"), nullptr);
}

TEST_F(TreeLookup, FindNodesListsEveryMatchInOrderWithoutOwningThem) {
  const std::vector<TXmlNode*> found = root->FindNodes("svg");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0]->GetAttribute("id"), "a");
  EXPECT_EQ(found[1]->GetAttribute("id"), "B");
  EXPECT_EQ(found[2]->GetAttribute("id"), "b");
  EXPECT_EQ(found[2]->Parent(), root);
}

TEST_F(TreeLookup, OnlyAsciiLettersAreFolded) {
  TXmlNode* n = root->AddChild("\xC3\x89t\xC3\xA9");  // "Été"
  EXPECT_EQ(root->Find("\xC3\xA9T\xC3\xA9"), nullptr);
  EXPECT_EQ(root->Find("\xC3\x89T\xC3\xA9"), n);
}

TEST(TreeAttributes, GetSetAndHas) {
  TXmlNode n("rect");
  EXPECT_EQ(n.GetAttribute("width"), "");
  EXPECT_FALSE(n.HasAttribute("width"));
  EXPECT_EQ(n.SetAttribute("width", "5"), &n);
  EXPECT_TRUE(n.HasAttribute("WIDTH"));
  EXPECT_EQ(n.GetAttribute("Width"), "5");
  // Overwriting takes the letter case of the new name and keeps the position.
  n.SetAttribute("height", "6");
  n.SetAttr("WIDTH", "7");
  EXPECT_EQ(Dump(&n), "rect{WIDTH=7,height=6}");
  // An attribute with an empty value is present.
  n.SetAttribute("fill", "");
  EXPECT_TRUE(n.HasAttribute("fill"));
}

TEST(TreeAttributes, DuplicatesFromTheFileAnswerWithTheFirst) {
  TXMLDocument doc;
  doc.LoadFromBytes("<a x=\"1\" X=\"2\"/>");
  EXPECT_EQ(doc.Root()->GetAttribute("x"), "1");
  doc.Root()->SetAttribute("x", "3");
  EXPECT_EQ(Dump(doc.Root()), "a{x=3,X=2}");
}

TEST(TreeEditing, AddChildLinksParentAndKeepsOrder) {
  TXMLDocument doc;
  TXmlNode* r = doc.Root();
  r->SetNodeName("svg");
  TXmlNode* g = r->AddChild("g");
  g->AddChild("rect")->SetAttribute("x", "1")->SetText("t");
  r->AddChild("circle");
  EXPECT_EQ(Dump(r), "svg[g[rect{x=1}'t'] circle]");
  EXPECT_EQ(g->ChildNodes()[0]->Parent(), g);
  EXPECT_EQ(g->Parent(), r);
  EXPECT_EQ(r->Parent(), nullptr);
}

TEST(TreeEditing, ClearGivesEmptyRootAndDefaultHeader) {
  TXMLDocument doc;
  doc.LoadFromBytes("<?xml version=\"1.1\"?><a><b/></a>");
  doc.Ident = "\t";
  doc.Clear();
  EXPECT_EQ(Dump(doc.Root()), "");
  EXPECT_EQ(Dump(&doc.Header()), "?xml{version=1.0}");
  EXPECT_EQ(doc.Ident, "  ");
}

TEST(TreeCompare, NamesTheFirstDifference) {
  TXMLDocument a, b;
  a.LoadFromBytes("<r><s x=\"1\">t</s><u/></r>");
  b.LoadFromBytes("<r><s x=\"1\">t</s><u/></r>");
  EXPECT_EQ(XmlTreeDifference(a.Root(), b.Root()), "");
  b.Root()->ChildNodes()[0]->SetAttribute("x", "2");
  EXPECT_EQ(XmlTreeDifference(a.Root(), b.Root()), "attribute x=\"1\" vs x=\"2\" at /r/s");
  b.Root()->ChildNodes()[0]->SetAttribute("x", "1");
  b.Root()->ChildNodes()[1]->AddChild("v");
  EXPECT_EQ(XmlTreeDifference(a.Root(), b.Root()), "0 vs 1 children at /r/u");
  EXPECT_EQ(XmlTreeDifference(nullptr, nullptr), "");
  EXPECT_NE(XmlTreeDifference(a.Root(), nullptr), "");
}

}  // namespace
