// The XML writer: its exact layout, escaping, encoding, mixed content, and
// round trips (what it writes reads back to the same tree).

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tests/xml/XmlDump.h"
#include "xml/XmlDoc.h"

using namespace karto;
using karto::testing::Dump;

namespace {

TEST(WriteLayout, FiveLineExample) {
  TXMLDocument doc;
  TXmlNode* a = doc.Root();
  a->SetNodeName("a");
  a->SetAttribute("b", "1");
  a->AddChild("c");
  a->AddChild("d")->SetText("x");
  EXPECT_EQ(doc.SaveToBytes(),
            "<?xml version=\"1.0\" ?>\r\n"
            "<a b=\"1\">\r\n"
            "  <c />\r\n"
            "  <d>x</d>\r\n"
            "</a>\r\n");
}

TEST(WriteLayout, FreshDocumentIsTwoLines) {
  TXMLDocument doc;
  EXPECT_EQ(doc.SaveToBytes(), "<?xml version=\"1.0\" ?>\r\n< />\r\n");
}

TEST(WriteLayout, DocumentWithoutRootIsTheDeclarationOnly) {
  TXMLDocument doc;
  doc.LoadFromBytes("<!-- nothing -->");
  EXPECT_EQ(doc.SaveToBytes(), "<?xml version=\"1.0\" ?>\r\n");
}

TEST(WriteLayout, EmptyIdentWritesWithoutLineBreaks) {
  TXMLDocument doc;
  doc.LoadFromBytes("<a>\n  <b>\n    <c x=\"1\"/>\n  </b>\n  <d>t</d>\n</a>");
  doc.Ident = "";
  EXPECT_EQ(doc.SaveToBytes(), "<?xml version=\"1.0\" ?><a><b><c x=\"1\" /></b><d>t</d></a>");
}

TEST(WriteLayout, TextWithChildrenIsWrittenOnOneLine) {
  // A line break and indentation after "a" would become part of the text,
  // and a self-closing child would make the text after it replace "a".
  TXMLDocument doc;
  doc.LoadFromBytes("<r><p>a<b>x</b><e></e><f><g/></f></p></r>");
  EXPECT_EQ(doc.SaveToBytes(),
            "<?xml version=\"1.0\" ?>\r\n"
            "<r>\r\n"
            "  <p>a<b>x</b><e></e><f><g /></f></p>\r\n"
            "</r>\r\n");
}

TEST(WriteLayout, Utf8DeclarationAddsByteOrderMark) {
  TXMLDocument doc;
  doc.Header().SetAttribute("encoding", "UTF-8");
  doc.Root()->SetNodeName("a");
  doc.Root()->SetText("caf\xC3\xA9");
  EXPECT_EQ(doc.SaveToBytes(),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<a>caf\xC3\xA9</a>\r\n");
}

TEST(WriteLayout, IndentationStopsGrowingAtTheCap) {
  TXMLDocument doc;
  doc.Ident = " ";
  TXmlNode* n = doc.Root();
  n->SetNodeName("g");
  for (int i = 0; i < TXMLDocument::kMaxIndentDepth + 10; ++i) n = n->AddChild("g");
  const std::string text = doc.SaveToBytes();
  const std::string capped = "\r\n" + std::string(TXMLDocument::kMaxIndentDepth, ' ') + "<g";
  EXPECT_NE(text.find(capped), std::string::npos);
  EXPECT_EQ(text.find(" " + capped.substr(2)), std::string::npos);
}

struct EscapeCase {
  const char* what;
  const char* value;
  const char* attributeForm;  // as written inside the quotes
  const char* textForm;       // as written between the tags
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.what; }

class WriteEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(WriteEscapes, AttributeAndText) {
  TXMLDocument doc;
  doc.Ident = "";
  doc.Root()->SetNodeName("a");
  doc.Root()->SetAttribute("v", GetParam().value);
  doc.Root()->SetText(GetParam().value);
  EXPECT_EQ(doc.SaveToBytes(), std::string("<?xml version=\"1.0\" ?><a v=\"") + GetParam().attributeForm +
                                   "\">" + GetParam().textForm + "</a>");
}

const EscapeCase kEscapes[] = {
    {"markup characters", "a&b<c>d", "a&amp;b&lt;c&gt;d", "a&amp;b&lt;c&gt;d"},
    {"quotes matter in values only", "say \"hi\" 'x'", "say &quot;hi&quot; 'x'", "say \"hi\" 'x'"},
    {"line breaks", "1\r\n2", "1&#13;&#10;2", "1&#13;&#10;2"},
    {"a tab is kept raw in text", "a\tb", "a&#9;b", "a\tb"},
    {"a leading space in text", "  x y", "  x y", "&#32; x y"},
    {"entity-like text is written literally", "&amp;", "&amp;amp;", "&amp;amp;"},
};
INSTANTIATE_TEST_SUITE_P(Escapes, WriteEscapes, ::testing::ValuesIn(kEscapes));

// --- round trips -------------------------------------------------------------------

::testing::AssertionResult RoundTrips(const TXMLDocument& doc) {
  const std::string first = doc.SaveToBytes();
  TXMLDocument again;
  again.MixedContentElements = doc.MixedContentElements;
  again.Ident = doc.Ident;
  again.LoadFromBytes(first);
  std::string diff = XmlTreeDifference(doc.Root(), again.Root());
  if (diff.empty()) diff = XmlTreeDifference(&doc.Header(), &again.Header());
  if (!diff.empty()) return ::testing::AssertionFailure() << diff << "\nwritten:\n" << first;
  again.Ident = doc.Ident;
  if (again.SaveToBytes() != first) return ::testing::AssertionFailure() << "second write differs";
  return ::testing::AssertionSuccess();
}

class RoundTripOfRead : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTripOfRead, WithIndentationAndWithout) {
  for (const char* ident : {"  ", "", "    "}) {
    TXMLDocument doc;
    doc.LoadFromBytes(GetParam());
    doc.Ident = ident;
    EXPECT_TRUE(RoundTrips(doc)) << "Ident \"" << ident << "\"";
  }
}

const char* const kReadInputs[] = {
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<svg width=\"10\" height=\"20\"><g><rect x=\"1\"/></g></svg>",
    "<a>text<b>x</b>lost</a>",
    "<a>t<b/>replaced</a>",
    "<a>x<![CDATA[raw <b> &amp; ]]>y</a>",
    "<style><![CDATA[\r\n.a{fill:red}\r\n]]></style>",
    "<a v=\"&#9;&#10;&#13; &quot;&amp;&lt;\">&#10;&#32;&amp;lt;</a>",
    "<a b c=d e=\"x y\"z/>",
    "<a/ >x</a/ >",
    "<a\"b c\"d x=\"1\"/>",
    "< x=\"1\">t</>",
    "<><></></>",
    "<a><b>\t</b>\t<c/></a>",
    "<?xml version=\"1.0\" ? ?><a b=\"?\"/>",
    "<a b='x\"y' c=\"it's\">line 1\r\nline 2\n  indented\r</a>",
    "<a>\n\n&#10;&#13;&#32;x\n</a>",
};
INSTANTIATE_TEST_SUITE_P(Inputs, RoundTripOfRead, ::testing::ValuesIn(kReadInputs));

// --- mixed content ----------------------------------------------------------------

TEST(WriteMixed, MixedElementsAreWrittenOnOneLineWithTheirRunsAsText) {
  TXMLDocument doc;
  doc.MixedContentElements = {"text"};
  doc.LoadFromBytes("<svg><text x=\"1\">a <tspan>b &amp; c</tspan>\n d</text><g><rect/></g></svg>");
  EXPECT_EQ(doc.SaveToBytes(),
            "<?xml version=\"1.0\" ?>\r\n"
            "<svg>\r\n"
            "  <text x=\"1\">a <tspan>b &amp; c</tspan>\n d</text>\r\n"
            "  <g>\r\n"
            "    <rect />\r\n"
            "  </g>\r\n"
            "</svg>\r\n");
}

TEST(WriteMixed, TwoRunsInARowAreKeptApartByAnEmptyComment) {
  TXMLDocument doc;
  doc.MixedContentElements = {"text"};
  doc.LoadFromBytes("<text>a<!-- note -->b<?pi?>c</text>");
  doc.Ident = "";
  EXPECT_EQ(doc.SaveToBytes(), "<?xml version=\"1.0\" ?><text>a<!---->b<!---->c</text>");
}

TEST(WriteMixed, TextNodesOutsideMixedContentAreWrittenAsElements) {
  // As character data they would read back into the parent's Text (or be
  // lost), not as a node.
  TXMLDocument doc;
  doc.Ident = "";
  doc.Root()->SetNodeName("a");
  doc.Root()->AddChild("#text")->SetText("x");
  EXPECT_EQ(doc.SaveToBytes(), "<?xml version=\"1.0\" ?><a><#text>x</#text></a>");
  EXPECT_TRUE(RoundTrips(doc));
}

class RoundTripOfMixed : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTripOfMixed, WithIndentationAndWithout) {
  for (const char* ident : {"  ", ""}) {
    TXMLDocument doc;
    doc.MixedContentElements = {"text", "p"};
    doc.LoadFromBytes(GetParam());
    doc.Ident = ident;
    EXPECT_TRUE(RoundTrips(doc)) << "Ident \"" << ident << "\"";
  }
}

// Each needs the writer to choose which run gives an element's Text: the
// first one, or the one after the last self-closing child.
const char* const kMixedInputs[] = {
    "<svg>\n  <text x=\"1\">\n    Hello <tspan dy=\"1\">big</tspan> world\n  </text>\n</svg>",
    "<text>  &#32;lead<a/>\n  <b/>  &#10;tail<c></c>z</text>",
    "<text>first<a/><b></b>middle<c/></text>",
    "<text>first<a/>second<b></b>third</text>",
    "<text><a/>x<b/></text>",
    "<text><!-- the first run is not the Text -->x<b/></text>",
    "<text>x<b/><?pi?>y</text>",
    "<text>x<#cdata-section/>y<![CDATA[]]>z</text>",
    "<text>\n \n</text>",
    "<text>a<!--1-->b<!--2--><![CDATA[c]]>d<?pi?>&amp;&lt;&#13;\r\n</text>",
    "<p>a<p>b<x/>c</p>d</p>",
    "<text><#text>x</#text><#text/><#text a=\"1\"/></text>",
    "<TEXT><g> <text>x</text> </g></TEXT>",
};
INSTANTIATE_TEST_SUITE_P(Inputs, RoundTripOfMixed, ::testing::ValuesIn(kMixedInputs));

TEST(RoundTripOfBuilt, MixedContentShapedAsTheReaderShapesIt) {
  TXMLDocument doc;
  doc.MixedContentElements = {"text"};
  TXmlNode* text = doc.Root();
  text->SetNodeName("text");
  text->SetText("Hello ");
  text->AddChild("#text")->SetText("Hello ");
  text->AddChild("tspan")->SetText("big")->AddChild("#text")->SetText("big");
  text->AddChild("#text")->SetText(" world");
  EXPECT_TRUE(RoundTrips(doc));
}

TEST(RoundTripOfBuilt, AwkwardStringsAndShapes) {
  TXMLDocument doc;
  TXmlNode* root = doc.Root();
  root->SetNodeName("svg");
  root->SetAttribute("d", "M 0 0\r\nL 1 1\tz");
  root->SetAttribute("q", "\"'<>&");
  root->SetText(" leading space and\nline breaks\r\n");
  root->AddChild("empty");
  root->AddChild("#cdata-section")->SetText("a ]]> b");         // cannot be a CDATA section
  root->AddChild("#cdata-section")->SetText("\r\n.a{}\n");      // can
  root->AddChild("#cdata-section")->SetAttribute("x", "1");     // cannot
  TXmlNode* deep = root->AddChild("g");
  deep->AddChild("h")->SetText("&#32;");
  deep->AddChild("i");
  EXPECT_TRUE(RoundTrips(doc));
}

TEST(RoundTripOfBuilt, HeaderAttributes) {
  TXMLDocument doc;
  doc.Header().SetAttribute("encoding", "UTF-8");
  doc.Header().SetAttribute("standalone", "a\"?>b");
  doc.Root()->SetNodeName("a");
  EXPECT_TRUE(RoundTrips(doc));
}

TEST(WriteFiles, SaveToFileAndLoadBack) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("karto-xml-" + std::to_string(::getpid()) + ".svg");
  TXMLDocument doc;
  doc.LoadFromBytes("<svg><rect width=\"5\"/></svg>");
  doc.SaveToFile(path.string());
  TXMLDocument again;
  again.LoadFromFile(path.string());
  std::filesystem::remove(path);
  EXPECT_EQ(Dump(again.Root()), "svg[rect{width=5}]");
}

TEST(WriteFiles, UnwritablePathThrows) {
  TXMLDocument doc;
  EXPECT_THROW(doc.SaveToFile("/nonexistent/karto/out.svg"), EXmlFileError);
}

// The bytes written are what the declaration says: its own encoding when
// the text fits, else UTF-8 under a corrected declaration. Each case reads
// back to the same text.
TEST(WriteEncoding, BytesFollowTheDeclaration) {
  const struct {
    const char* encoding;
    const char* text;      // UTF-8
    const char* expected;  // the element as written, after the declaration line
    const char* declared;  // the declaration's encoding as written
  } cases[] = {
      {"ISO-8859-1", "caf\xC3\xA9 \xC2\xA0x", "<a>caf\xE9 \xA0x</a>", "ISO-8859-1"},
      {"latin1", "plain", "<a>plain</a>", "latin1"},
      {"windows-1252", "\xE2\x82\xAC 5", "<a>\x80 5</a>", "windows-1252"},
      {"windows-1251", "\xD0\x9F\xD1\x80", "<a>\xCF\xF0</a>", "windows-1251"},
      {"ISO-8859-15", "\xE2\x82\xAC\xC5\x93", "<a>\xA4\xBD</a>", "ISO-8859-15"},
      {"US-ASCII", "abc", "<a>abc</a>", "US-ASCII"},
      // characters the encoding lacks: UTF-8, and the declaration says so
      {"ISO-8859-1", "\xE2\x82\xAC", "<a>\xE2\x82\xAC</a>", "UTF-8"},
      {"US-ASCII", "caf\xC3\xA9", "<a>caf\xC3\xA9</a>", "UTF-8"},
      {"windows-1251", "caf\xC3\xA9", "<a>caf\xC3\xA9</a>", "UTF-8"},
      // encodings Karto does not write
      {"UTF-16", "x", "<a>x</a>", "UTF-8"},
      {"Shift_JIS", "x", "<a>x</a>", "UTF-8"},
  };
  for (const auto& c : cases) {
    TXMLDocument doc;
    doc.Ident = "";
    doc.LoadFromBytes(std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?><a>" + c.text + "</a>");
    ASSERT_NE(doc.Root(), nullptr) << c.encoding;
    const std::string bytes = doc.SaveToBytes();
    EXPECT_NE(bytes.find(std::string("encoding=\"") + c.declared + "\""), std::string::npos) << c.encoding << ": " << bytes;
    EXPECT_NE(bytes.find(c.expected), std::string::npos) << c.encoding << ": " << bytes;
    TXMLDocument again;
    again.LoadFromBytes(bytes);
    ASSERT_NE(again.Root(), nullptr) << c.encoding;
    EXPECT_EQ(again.Root()->Text(), c.text) << c.encoding;
  }
}

TEST(WriteFiles, SaveToStreamWritesTheSameBytes) {
  TXMLDocument doc;
  doc.LoadFromBytes("<a x=\"1\"><b/></a>");
  std::ostringstream out;
  doc.SaveToStream(out);
  EXPECT_EQ(out.str(), doc.SaveToBytes());
}

}  // namespace
