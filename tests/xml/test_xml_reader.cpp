// The XML reader: which tree each kind of input gives, line breaks and white
// space in tags, references, CDATA, the prolog, the text rules, byte
// encodings, hostile depth and the read limits.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/xml/XmlDump.h"
#include "xml/XmlDoc.h"

using namespace karto;
using karto::testing::Dump;
using karto::testing::DumpRoot;

namespace {

struct ReadCase {
  const char* what;
  const char* xml;
  const char* tree;  // Dump of the root
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.what; }

class ReadTree : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTree, GivesTheExpectedTree) {
  EXPECT_EQ(DumpRoot(GetParam().xml), GetParam().tree) << GetParam().xml;
}

// Tags: names, attributes and white space.
const ReadCase kTags[] = {
    {"names keep case and prefix", "<svg:SVG xlink:href=\"#a\"/>", "svg:SVG{xlink:href=#a}"},
    {"attributes on indented lines, as Inkscape writes them",
     "<svg\n   width=\"10\"\n   height=\"20\"\n   id=\"s\">\n</svg>", "svg{width=10,height=20,id=s}"},
    {"attributes separated by tabs and runs of spaces", "<a\tb=\"1\"  \t c=\"2\"\r\n\td=\"3\"/>",
     "a{b=1,c=2,d=3}"},
    {"a name that ends a line is not joined to the next line", "<svg\nwidth=\"1\"/>", "svg{width=1}"},
    {"CR LF, CR and LF after the name", "<a\r\nb=\"1\"\rc=\"2\"\nd=\"3\"/>", "a{b=1,c=2,d=3}"},
    {"self-closing with and without a space before the slash", "<r><a x=\"1\"/><b x=\"1\" /></r>",
     "r[a{x=1} b{x=1}]"},
    {"white space around the equals sign", "<a b = \"1\" c= \"2\" d =\"3\"/>", "a{b=1,c=2,d=3}"},
    {"an attribute without a value gets the empty value", "<a b c=\"1\" d/>", "a{b=,c=1,d=}"},
    {"an unquoted value runs to the next white space", "<a b=1 c=two/>", "a{b=1,c=two}"},
    {"a value without its closing quote keeps the rest", "<a b=\"x y\"z c=\"1\"/>", "a{b=x y\"z,c=1}"},
    {"a \">\" inside quotes does not end the tag", "<a b=\"x>y\">t</a>", "a{b=x>y}'t'"},
    {"single quotes are ordinary characters", "<a b='x'/>", "a{b='x'}"},
    {"line breaks and tabs inside a value become spaces", "<p points=\"1,2\r\n3,4\n5,6\t7,8\"/>",
     "p{points=1,2 3,4 5,6 7,8}"},
    {"duplicate attributes are all kept", "<a b=\"1\" b=\"2\"/>", "a{b=1,b=2}"},
};
INSTANTIATE_TEST_SUITE_P(Tags, ReadTree, ::testing::ValuesIn(kTags));

// References in values and text; anything unknown stays as written.
const ReadCase kReferences[] = {
    {"the five predefined entities in a value", "<a v=\"&amp;&lt;&gt;&quot;&apos;\"/>", "a{v=&<>\"'}"},
    {"the five predefined entities in text", "<a>&amp;&lt;&gt;&quot;&apos;</a>", "a'&<>\"''"},
    {"decimal and hexadecimal character references", "<a v=\"&#65;&#x42;&#x43;\">&#97;&#x62;</a>",
     "a{v=ABC}'ab'"},
    {"references beyond the basic plane become UTF-8", "<a>&#x1F600;&#233;</a>", "a'\xF0\x9F\x98\x80\xC3\xA9'"},
    {"references to white space survive in a value", "<a v=\"a&#9;b&#10;c&#13;d\"/>", "a{v=a\tb\nc\rd}"},
    {"unknown entities stay as written", "<a v=\"&nbsp;&AMP;\">&copy;</a>", "a{v=&nbsp;&AMP;}'&copy;'"},
    {"broken references stay as written", "<a>&amp &#; &#x; &#xZ1; &#12a; &</a>",
     "a'&amp &#; &#x; &#xZ1; &#12a; &'"},
    {"references to no character stay as written", "<a>&#0;&#xD800;&#x110000;</a>",
     "a'&#0;&#xD800;&#x110000;'"},
    {"an escaped space at the start of text stays", "<a>  &#32;x</a>", "a' x'"},
    {"references in names are not decoded", "<a&amp;b c&lt;=\"1\"/>", "a&amp;b{c&lt;=1}"},
};
INSTANTIATE_TEST_SUITE_P(References, ReadTree, ::testing::ValuesIn(kReferences));

// CDATA sections, comments, processing instructions and document types.
const ReadCase kMarkup[] = {
    {"a CDATA section is a child with its raw content",
     "<style><![CDATA[\n.a { fill: red }\r\n&amp; <b> ]]></style>",
     "style[#cdata-section'\n.a { fill: red }\r\n&amp; <b> ']"},
    {"an empty CDATA section", "<a><![CDATA[]]></a>", "a[#cdata-section]"},
    {"text after a CDATA section is not collected", "<a>x<![CDATA[y]]>z</a>", "a'x'[#cdata-section'y']"},
    {"a CDATA section outside every element is dropped", "<![CDATA[x]]><a/>", "a"},
    {"a document type is skipped", "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\"><svg/>",
     "svg"},
    {"a document type with an internal subset, as Illustrator writes it",
     "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n"
     "\t<!ENTITY ns_svg \"http://www.w3.org/2000/svg\">\n"
     "\t<!-- ] > -->\n"
     "\t<!ENTITY gt2 '>'>\n"
     "]>\n<svg xmlns=\"&ns_svg;\"/>",
     "svg{xmlns=&ns_svg;}"},
    {"processing instructions are skipped", "<?xml-stylesheet href=\"a.css\"?><a><?pi x?><b/></a>", "a[b]"},
    {"comments are skipped, also over several lines", "<!-- a\n<b>\n --><a><!--x--><c/></a>", "a[c]"},
    {"a comment inside text ends the text", "<a>one<!-- c -->two</a>", "a'one'"},
    {"a declaration inside an element is skipped", "<a><?xml version=\"1.0\"?><b/></a>", "a[b]"},
};
INSTANTIATE_TEST_SUITE_P(Markup, ReadTree, ::testing::ValuesIn(kMarkup));

// Which text lands where, and how broken structure is absorbed.
const ReadCase kTextAndStructure[] = {
    {"text before a child is the element's; text after a closing tag is lost",
     "<p>a<b>x</b>c</p>", "p'a'[b'x']"},
    {"text after a self-closing child replaces the parent's", "<p>a<b/>c</p>", "p'c'[b]"},
    {"leading spaces are dropped, line breaks removed, tabs kept",
     "<t>  \n  Hello\r\n World \t</t>", "t'Hello World \t'"},
    {"a double quote in text is an ordinary character", "<t>say \"hi <b/>there</t>", "t'there'[b]"},
    {"white space only gives no text", "<a>\n   <b/>\n</a>", "a[b]"},
    {"a closing tag closes the innermost element whatever its name", "<a><b></a><c/>", "a[b c]"},
    {"an unmatched closing tag at the top level is ignored", "</x><a/></y>", "a"},
    {"an element left open stays in the tree", "<a><b><c>", "a[b[c]]"},
    {"a later top-level element replaces an earlier one", "<a/><b/>", "b"},
    {"an unfinished tag at the end is dropped", "<a><b x=\"1", "a"},
    {"an empty tag is an element without a name", "<a><></a>", "a[]"},
    {"stray text outside elements is ignored", "junk<a>t</a>more", "a't'"},
};
INSTANTIATE_TEST_SUITE_P(TextAndStructure, ReadTree, ::testing::ValuesIn(kTextAndStructure));

TEST(ReadDocument, EmptyInputOrOnlyProlog_GivesHeaderAndNoRoot) {
  TXMLDocument doc;
  doc.LoadFromBytes("");
  EXPECT_EQ(doc.Root(), nullptr);
  EXPECT_EQ(Dump(&doc.Header()), "?xml{version=1.0}");

  doc.LoadFromBytes("<?xml version=\"1.1\" standalone=\"no\"?>\n<!-- only a comment -->\n");
  EXPECT_EQ(doc.Root(), nullptr);
  EXPECT_EQ(Dump(&doc.Header()), "?xml{version=1.1,standalone=no}");
}

TEST(ReadDocument, DeclarationQuestionMarkIsNotPartOfTheLastValue) {
  // With and without a space before "?", and the writer's own " ?" form.
  for (const char* xml : {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>",
                          "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><a/>",
                          "<?XML version=\"1.0\"\n encoding=\"UTF-8\"?><a/>"}) {
    TXMLDocument doc;
    doc.LoadFromBytes(xml);
    EXPECT_EQ(doc.Header().GetAttribute("encoding"), "UTF-8") << xml;
    EXPECT_EQ(doc.Header().AttributeList().Count(), 2) << xml;
    EXPECT_EQ(Dump(doc.Root()), "a");
  }
}

TEST(ReadDocument, EachLoadStartsAfresh) {
  TXMLDocument doc;
  doc.LoadFromBytes("<?xml version=\"1.1\"?><a x=\"1\"/>");
  doc.Ident = "";
  doc.LoadFromBytes("<b/>");
  EXPECT_EQ(Dump(doc.Root()), "b");
  EXPECT_EQ(Dump(&doc.Header()), "?xml{version=1.0}");
  EXPECT_EQ(doc.Ident, "  ");
}

// --- bytes to text ---------------------------------------------------------------

struct EncodingCase {
  const char* what;
  std::string bytes;
  const char* text;  // the root's Text, UTF-8
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.what; }

class ReadEncoding : public ::testing::TestWithParam<EncodingCase> {};

std::string Utf16(const std::u16string& s, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : s) {
    const char hi = char(u >> 8), lo = char(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

TEST_P(ReadEncoding, DecodesToUtf8) {
  TXMLDocument doc;
  doc.LoadFromBytes(GetParam().bytes);
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->Text(), GetParam().text);
}

const EncodingCase kEncodings[] = {
    {"UTF-8 without a mark", "<a>caf\xC3\xA9 \xE2\x82\xAC</a>", "caf\xC3\xA9 \xE2\x82\xAC"},
    {"UTF-8 with a mark", "\xEF\xBB\xBF<a>caf\xC3\xA9</a>", "caf\xC3\xA9"},
    {"a broken sequence after a UTF-8 mark", "\xEF\xBB\xBF<a>a\xC3(\xFF</a>", "a\xEF\xBF\xBD(\xEF\xBF\xBD"},
    {"bytes that are no UTF-8 read as Windows-1252", "<a>caf\xE9 \x80 \x9F</a>",
     "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8"},
    {"UTF-16 little endian", Utf16(u"<a>caf\u00E9 \U0001F600</a>", false), "caf\xC3\xA9 \xF0\x9F\x98\x80"},
    {"UTF-16 big endian", Utf16(u"<a>\u20AC</a>", true), "\xE2\x82\xAC"},
    {"an unpaired surrogate in UTF-16", Utf16(u"<a>x", false) + std::string("\x00\xD8", 2) + Utf16(u"</a>", false).substr(2),
     "x\xEF\xBF\xBD"},
};
INSTANTIATE_TEST_SUITE_P(Bytes, ReadEncoding, ::testing::ValuesIn(kEncodings));

// --- files and streams -----------------------------------------------------------

TEST(ReadFiles, MissingFileThrowsWithItsName) {
  TXMLDocument doc;
  try {
    doc.LoadFromFile("/nonexistent/karto/drawing.svg");
    FAIL() << "no exception";
  } catch (const EXmlFileError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/karto/drawing.svg"), std::string::npos);
  }
}

TEST(ReadFiles, StreamIsReadFromItsCurrentPosition) {
  std::istringstream in("garbage<b/><a x=\"1\"/>");
  in.seekg(11);
  TXMLDocument doc;
  doc.LoadFromStream(in);
  EXPECT_EQ(Dump(doc.Root()), "a{x=1}");
}

// --- hostile input ----------------------------------------------------------------

TEST(ReadHostile, HundredThousandLevelsLoadWriteAndFreeWithoutRecursion) {
  constexpr int kDepth = 100000;
  std::string xml;
  for (int i = 0; i < kDepth; ++i) xml += "<g>";
  xml += "deep";
  auto doc = std::make_unique<TXMLDocument>();
  doc->LoadFromBytes(xml);
  int depth = 0;
  const TXmlNode* n = doc->Root();
  for (; n && !n->ChildNodes().IsEmpty(); n = n->ChildNodes()[0]) ++depth;
  EXPECT_EQ(depth, kDepth - 1);

  // Written and read back (the indentation stops growing, so the text stays
  // linear in the depth), compared, and freed: all without deep recursion.
  const std::string written = doc->SaveToBytes();
  EXPECT_LT(written.size(), size_t(kDepth) * 2 * (2 * TXMLDocument::kMaxIndentDepth + 16));
  TXMLDocument again;
  again.LoadFromBytes(written);
  EXPECT_EQ(XmlTreeDifference(doc->Root(), again.Root()), "");
  doc.reset();
}

TEST(ReadHostile, NodeLimitStopsTheReadAndKeepsWhatCameBefore) {
  TXMLDocument doc;
  doc.Limits.MaxNodes = 3;
  doc.LoadFromBytes("<a><b/><![CDATA[x]]><c/><d/></a>");
  EXPECT_TRUE(doc.LimitReached());
  EXPECT_EQ(Dump(doc.Root()), "a[b #cdata-section'x']");

  doc.Limits.MaxNodes = 4;
  doc.LoadFromBytes("<a><b/><![CDATA[x]]><c/></a>");
  EXPECT_FALSE(doc.LimitReached());
  EXPECT_EQ(Dump(doc.Root()), "a[b #cdata-section'x' c]");
}

TEST(ReadHostile, AttributeLimitStopsTheRead) {
  TXMLDocument doc;
  doc.Limits.MaxAttributes = 3;
  doc.LoadFromBytes("<a x=\"1\"><b y=\"2\" z=\"3\"/><c w=\"4\"/></a>");
  EXPECT_TRUE(doc.LimitReached());
  EXPECT_EQ(Dump(doc.Root()), "a{x=1}[b{y=2,z=3}]");
}

TEST(ReadHostile, DefaultLimitsLeaveRoomForLargeDrawings) {
  EXPECT_GE(TXmlReadLimits::kDefaultMaxNodes, 1'000'000u);
  EXPECT_GE(TXmlReadLimits::kDefaultMaxAttributes, 4 * TXmlReadLimits::kDefaultMaxNodes);
}

// The fuzzers' seed inputs, and inputs that once broke the reader or the
// round trip under the fuzzer: each must load, and write out to text that
// reads back to the same tree.
TEST(ReadHostile, FuzzInputsLoadAndRoundTrip) {
  int count = 0;
  for (const std::filesystem::path& dir :
       {std::filesystem::path(KARTO_FUZZ_CORPUS) / "xml_roundtrip",
        std::filesystem::path(KARTO_XML_TEST_DATA) / "fuzz-regressions"}) {
    if (!std::filesystem::exists(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      std::ifstream f(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      TXMLDocument doc;
      doc.LoadFromBytes(bytes);
      TXMLDocument again;
      again.LoadFromBytes(doc.SaveToBytes());
      EXPECT_EQ(XmlTreeDifference(doc.Root(), again.Root()), "") << entry.path();
      EXPECT_EQ(XmlTreeDifference(&doc.Header(), &again.Header()), "") << entry.path();
      ++count;
    }
  }
  EXPECT_GT(count, 0);
}

}  // namespace
