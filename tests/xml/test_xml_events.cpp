// Reading without a tree: the handler sees what the tree would hold, in the
// same order, for the same documents.

#include <gtest/gtest.h>

#include <string>

#include "xml/XmlDoc.h"

using namespace karto;

namespace {

// Elements as "<name a=v>", characters as "[text]", closings as "</>".
class Recorder : public TXmlHandler {
 public:
  std::string events;
  int restarts = 0;
  void StartElement(const TXmlNode& e) override {
    events += "<" + std::string(e.NodeName());
    for (const TXmlAttribute& a : e.AttributeList()) events += " " + std::string(a.Name()) + "=" + std::string(a.Value());
    events += ">";
  }
  void Characters(std::string_view text) override { events += "[" + std::string(text) + "]"; }
  void EndElement() override { events += "</>"; }
  void Restart() override {
    events.clear();
    ++restarts;
  }
};

// The same notation from a tree read with the same options.
void Walk(const TXmlNode& n, std::string& out) {
  const std::string_view name = n.NodeName();
  if (name == kXmlTextName || name == kXmlCdataName) {
    out += "[" + std::string(n.Text()) + "]";
    return;
  }
  out += "<" + std::string(name);
  for (const TXmlAttribute& a : n.AttributeList()) out += " " + std::string(a.Name()) + "=" + std::string(a.Value());
  out += ">";
  for (const TXmlNode* c : n.ChildNodes()) Walk(*c, out);
  out += "</>";
}

}  // namespace

TEST(XmlEvents, HandlerSeesWhatTheTreeHolds) {
  const char* documents[] = {
      "<svg a='1' b=\"2\"><g><rect x='1'/><rect/></g><circle/></svg>",
      // Mixed content: every run, white space included, and CDATA.
      "<svg><text x='1'> a <tspan>b</tspan> c<![CDATA[<d>]]></text><style><![CDATA[.a{}]]></style></svg>",
      // Entities declared in the document type and used: the reader starts over.
      "<!DOCTYPE svg [<!ENTITY f \"lime\"><!ENTITY r \"<rect fill='&f;'/>\">]><svg><g>&r;</g><text>&f;</text></svg>",
      // References, an XML declaration, comments and processing instructions.
      "<?xml version='1.0'?><!-- c --><svg><?pi x?><text>&amp;&#65;</text></svg>",
  };
  for (const char* text : documents) {
    SCOPED_TRACE(text);
    TXMLDocument tree;
    tree.MixedContentElements = {"text"};
    tree.LoadFromBytes(text);
    ASSERT_NE(tree.Root(), nullptr);
    std::string expected;
    Walk(*tree.Root(), expected);

    TXMLDocument streaming;
    streaming.MixedContentElements = {"text"};
    Recorder recorder;
    streaming.ReadFromBytes(text, recorder);
    EXPECT_EQ(recorder.events, expected);
    EXPECT_EQ(streaming.Root(), nullptr);
    EXPECT_EQ(streaming.Error().Present, tree.Error().Present);
  }
}

TEST(XmlEvents, ErrorsAndLimitsAreReportedAsAfterALoad) {
  TXMLDocument doc;
  Recorder recorder;
  doc.ReadFromBytes("<svg>\n  <g>\n</svg>", recorder);
  EXPECT_TRUE(doc.Error().Present);
  EXPECT_EQ(doc.Error().Line, 3);

  std::string many = "<svg>";
  for (int i = 0; i < 1000; ++i) many += "<rect/>";
  many += "</svg>";
  TXMLDocument limited;
  limited.Limits.MaxNodes = 100;
  Recorder r2;
  limited.ReadFromBytes(many, r2);
  EXPECT_TRUE(limited.LimitReached());
}

TEST(XmlEvents, DeepNestingNeedsNoTree) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<g>";
  for (int i = 0; i < 100000; ++i) deep += "</g>";
  TXMLDocument doc;
  Recorder recorder;
  doc.ReadFromBytes(deep, recorder);
  EXPECT_FALSE(doc.Error().Present);
  EXPECT_EQ(recorder.events.size(), 100000u * 6);  // "<g>" and "</>" each
}
