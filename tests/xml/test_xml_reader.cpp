// The XML reader: which tree each kind of input gives, line breaks and white
// space in tags, references, CDATA, the prolog, the text rules, entities,
// mixed content, byte encodings, hostile depth and the read limits. The
// well-formedness errors it notes are in test_xml_errors.cpp.

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
    {"... also with single quotes", "<a b='x y'z c='1'/>", "a{b=x y'z,c=1}"},
    {"a \">\" inside quotes does not end the tag", "<a b=\"x>y\" c='>'>t</a>", "a{b=x>y,c=>}'t'"},
    {"single quotes quote a value", "<a b='x' c = 'y z'/>", "a{b=x,c=y z}"},
    {"inside one kind of quote the other kind is ordinary", "<a b='say \"hi\"' c=\"it's\" d='\"'/>",
     "a{b=say \"hi\",c=it's,d=\"}"},
    {"single-quoted values in a closing tag do not end it early", "<r><a><b x='>'/></a x='>'><c/></r>",
     "r[a[b{x=>}] c]"},
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
     "svg{xmlns=http://www.w3.org/2000/svg}"},
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
    {"leading spaces and line breaks are dropped, later ones kept, tabs kept",
     "<t>  \n  Hello\r\n World \t</t>", "t'Hello\n World \t'"},
    {"CR LF and a lone CR become LF, LF stays", "<t>a\r\nb\rc\nd\r\n\r\n</t>", "t'a\nb\nc\nd\n\n'"},
    {"an escaped line break at the start stays", "<t>\n&#10;\r\nx</t>", "t'\n\nx'"},
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

// General entities from the internal subset of the document type.
#define KARTO_DOCTYPE(subset) "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [" subset "]>\n"
const ReadCase kEntities[] = {
    {"in attribute values and as markup in content, as hand-written files use them",
     "<!DOCTYPE svg [ <!ENTITY fill_value \"green\"> <!ENTITY Rect \"<rect id='rect1' width='20' height='20' "
     "fill='green'/>\"> ]>\n<svg><g fill=\"&fill_value;\">&Rect;</g></svg>",
     "svg[g{fill=green}[rect{id=rect1,width=20,height=20,fill=green}]]"},
    {"single-quoted declarations, and text around a reference in content",
     KARTO_DOCTYPE("<!ENTITY who 'World'>") "<a>Hello &who;!</a>", "a'Hello World!'"},
    {"a replacement text that uses other entities, also inside its own tags",
     KARTO_DOCTYPE("<!ENTITY c \"red\"><!ENTITY dot \"<circle fill='&c;' r='1'/>\"><!ENTITY two \"&dot;&dot;\">")
         "<g>&two;</g>",
     "g[circle{fill=red,r=1} circle{fill=red,r=1}]"},
    {"quotes and \"<\" of a replacement text stay data inside a value",
     KARTO_DOCTYPE("<!ENTITY q 'say \"hi &amp; <b>'><!ENTITY r \"it's\">") "<a v=\"&q;\" w='&r;'/>",
     "a{v=say \"hi & <b>,w=it's}"},
    {"character references in a declaration are decoded there, so &#60; makes markup",
     KARTO_DOCTYPE("<!ENTITY tag \"&#60;b/&#62;\"><!ENTITY amp2 \"&#38;#38;\">") "<a>&tag;&amp2;</a>",
     "a'&'[b]"},
    {"comments and CDATA sections are left alone",
     KARTO_DOCTYPE("<!ENTITY e \"x\">") "<a><!-- &e; --><![CDATA[&e;]]></a>", "a[#cdata-section'&e;']"},
    {"the first declaration of a name binds; the predefined ones cannot be redeclared",
     KARTO_DOCTYPE("<!ENTITY e \"1\"><!ENTITY e \"2\"><!ENTITY amp \"x\">") "<a v=\"&e;&amp;\"/>", "a{v=1&}"},
    {"parameter, external and unknown entities stay as written",
     KARTO_DOCTYPE("<!ENTITY % p \"x\"><!ENTITY ext SYSTEM \"ext.xml\"><!ENTITY e \"y\">")
         "<a v=\"&p;&ext;&e;&nope;\">&ext;</a>",
     "a{v=&p;&ext;y&nope;}'&ext;'"},
    {"declarations in comments and strings of the subset do not count",
     KARTO_DOCTYPE("<!-- <!ENTITY e \"comment\"> --><!ENTITY s \"<!ENTITY e 'string'>\">") "<a v=\"&e;\"/>",
     "a{v=&e;}"},
    {"a reference outside quotes in a tag is not expanded", KARTO_DOCTYPE("<!ENTITY e \"x\">") "<a &e; v=\"1\"/>",
     "a{&e;=,v=1}"},
    {"declared but unused entities change nothing", KARTO_DOCTYPE("<!ENTITY e \"x\">") "<a v=\"&amp;\">&#65;</a>",
     "a{v=&}'A'"},
    {"a first use after values decoded in place and after an error",
     KARTO_DOCTYPE("<!ENTITY e \"<c/>\">") "<a v=\"1&amp;2\" w=\"x&#10;y\">\r\n<b></x>t&e;</a>",
     "a{v=1&2,w=x\ny}[b c]"},
    {"a first use in text at the end of the file", KARTO_DOCTYPE("<!ENTITY e \"<b/>\">") "<a>&e;", "a[b]"},
};
#undef KARTO_DOCTYPE
INSTANTIATE_TEST_SUITE_P(Entities, ReadTree, ::testing::ValuesIn(kEntities));

TEST(ReadEntities, SelfReferenceIsNotExpandedAndIsAnError) {
  for (const char* xml : {"<!DOCTYPE a [<!ENTITY e \"x&e;\">]><a>&e;</a>",
                          "<!DOCTYPE a [<!ENTITY e \"&f;\"><!ENTITY f \"x&e;\">]><a>&e;</a>"}) {
    TXMLDocument doc;
    doc.LoadFromBytes(xml);
    EXPECT_EQ(Dump(doc.Root()), "a'x&e;'") << xml;
    ASSERT_TRUE(doc.Error().Present) << xml;
    EXPECT_NE(doc.Error().Message.find("refers to itself"), std::string::npos) << doc.Error().Message;
  }
}

// Ten levels of ten references each would expand to gigabytes ("billion
// laughs"); entities that expand to nothing would still multiply the work.
// Both stop at the limit, and the document is read on as written.
TEST(ReadEntities, ExpansionStopsAtTheLimit) {
  for (const char* leaf : {"xxxxxxxxxx", ""}) {
    std::string subset = std::string("<!ENTITY e0 \"") + leaf + "\">";
    for (int level = 1; level <= 10; ++level) {
      subset += "<!ENTITY e" + std::to_string(level) + " \"";
      for (int k = 0; k < 10; ++k) subset += "&e" + std::to_string(level - 1) + ";";
      subset += "\">";
    }
    const std::string xml = "<!DOCTYPE a [" + subset + "]><a><b>&e10;</b><c/></a>";
    TXMLDocument doc;
    doc.LoadFromBytes(xml);
    ASSERT_TRUE(doc.Error().Present);
    EXPECT_EQ(doc.Error().Message, "Entity expansion exceeds the limit.");
    EXPECT_FALSE(doc.LimitReached());
    ASSERT_NE(doc.Root(), nullptr);
    EXPECT_EQ(doc.Root()->ChildNodes().Count(), 2) << "the rest of the document is still read";
    EXPECT_LE(doc.Root()->ChildNodes()[0]->Text().size(),
              xml.size() * TXmlReadLimits::kDefaultEntityExpansionFactor + TXmlReadLimits::kDefaultEntityExpansionAllowance);
  }
}

TEST(ReadEntities, LimitIsInputSizeTimesFactorPlusAllowance) {
  // Five references of 3 characters that expand to 10: the text grows by 35.
  const std::string xml = "<!DOCTYPE a [<!ENTITY e \"0123456789\">]><a>&e;&e;&e;&e;&e;</a>";
  struct {
    size_t factor, allowance;
    bool fits;
  } const cases[] = {{1, 100, true}, {1, 0, false}, {1, 20, false}, {2, 0, true}, {0, 1000, true}, {0, 70, false}};
  for (const auto& c : cases) {
    TXMLDocument doc;
    doc.Limits.EntityExpansionFactor = c.factor;
    doc.Limits.EntityExpansionAllowance = c.allowance;
    doc.LoadFromBytes(xml);
    EXPECT_EQ(doc.Error().Present, !c.fits) << c.factor << " " << c.allowance;
    if (c.fits) {
      EXPECT_EQ(doc.Root()->Text().size(), 50u);
    }
  }
}

// --- mixed content ---------------------------------------------------------------

class ReadMixed : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadMixed, GivesTheExpectedTree) {
  TXMLDocument doc;
  doc.MixedContentElements = {"text"};
  doc.LoadFromBytes(GetParam().xml);
  EXPECT_EQ(Dump(doc.Root()), GetParam().tree) << GetParam().xml;
}

const ReadCase kMixed[] = {
    {"the space between two tspans is a node of its own",
     "<text><tspan>a</tspan> <tspan>b</tspan></text>", "text[tspan'a'[#text'a'] #text' ' tspan'b'[#text'b']]"},
    {"a run after each kind of markup, in document order with elements and CDATA",
     "<text>a<b/>c<!--x-->d<?pi?>e<![CDATA[f]]>g<h></h>i</text>",
     "text'c'[#text'a' b #text'c' #text'd' #text'e' #cdata-section'f' #text'g' h #text'i']"},
    {"runs are whole: references decoded, line breaks normalised, nothing trimmed",
     "<text>\r\n  x &amp; y\r z&#32;</text>", "text'x & y\n z '[#text'\n  x & y\n z ']"},
    {"the element's Text keeps its meaning, including &#32; at its start",
     "<text>\n  &#32;x<a/>\n  <b/>  y<c></c>z</text>", "text'y'[#text'\n   x' a #text'\n  ' b #text'  y' c #text'z']"},
    {"the name matches ignoring ASCII case, and descendants are mixed too",
     "<svg><TEXT><g><t> </t></g></TEXT><g> <t>x</t> </g></svg>", "svg[TEXT[g[t[#text' ']]] g[t'x']]"},
    {"after the mixed element closes, nothing changes", "<svg><text>a</text> <g> b </g></svg>",
     "svg[text'a'[#text'a'] g'b ']"},
    {"a self-closing mixed element holds nothing", "<svg><text/> x </svg>", "svg'x '[text]"},
    {"text at the end of an unclosed mixed element is not stored", "<text>a<b>c", "text'a'[#text'a' b]"},
};
INSTANTIATE_TEST_SUITE_P(Runs, ReadMixed, ::testing::ValuesIn(kMixed));

TEST(ReadMixedOption, IsKeptByClearAndLoadsAndEmptyByDefault) {
  TXMLDocument doc;
  EXPECT_TRUE(doc.MixedContentElements.empty());
  doc.MixedContentElements = {"text"};
  doc.LoadFromBytes("<text>a</text>");
  doc.Clear();
  doc.LoadFromBytes("<text>a<b/> </text>");
  EXPECT_EQ(Dump(doc.Root()), "text[#text'a' b #text' ']");
}

TEST(ReadMixedOption, RunsCountAgainstTheNodeLimit) {
  TXMLDocument doc;
  doc.MixedContentElements = {"text"};
  doc.Limits.MaxNodes = 3;
  doc.LoadFromBytes("<text>a<b/>c</text>");
  EXPECT_TRUE(doc.LimitReached());
  EXPECT_EQ(Dump(doc.Root()), "text'a'[#text'a' b]");
}

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
    {"... also when the declaration names ISO-8859-1, as browsers read it",
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\x93" "caf\xE9\x94</a>", "\xE2\x80\x9C" "caf\xC3\xA9\xE2\x80\x9D"},
    {"a declared Windows-1251", "<?xml version='1.0' encoding='windows-1251'?><a>\xCF\xF0\xE8\xE2\xE5\xF2 \x88 \xA8</a>",
     "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC \xD0\x81"},
    {"a declared ISO-8859-15", "<?xml version=\"1.0\" encoding=\"iso-8859-15\"?><a>\xA4 \xBD \xE9 \x80</a>",
     "\xE2\x82\xAC \xC5\x93 \xC3\xA9 \xC2\x80"},
    {"valid UTF-8 stays UTF-8 whatever the declaration says",
     "<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>caf\xC3\xA9</a>", "caf\xC3\xA9"},
    {"an unknown declared encoding reads as Windows-1252",
     "<?xml version=\"1.0\" encoding=\"x-unknown\"?><a>\x80</a>", "\xE2\x82\xAC"},
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

  // The same as mixed content, which gives every level a "#text" child and
  // makes the writer keep it all on one line; the error points at the
  // innermost open element, counted in characters on one long line.
  TXMLDocument mixed;
  mixed.MixedContentElements = {"g"};
  mixed.LoadFromBytes(xml);
  ASSERT_TRUE(mixed.Error().Present);
  EXPECT_EQ(mixed.Error().Line, 1);
  EXPECT_EQ(mixed.Error().Column, 3 * (kDepth - 1) + 1);
  TXMLDocument mixedAgain;
  mixedAgain.MixedContentElements = {"g"};
  mixedAgain.LoadFromBytes(mixed.SaveToBytes());
  EXPECT_EQ(XmlTreeDifference(mixed.Root(), mixedAgain.Root()), "");
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
// reads back to the same tree, also when read as mixed content.
TEST(ReadHostile, FuzzInputsLoadAndRoundTrip) {
  int count = 0;
  for (const std::filesystem::path& dir :
       {std::filesystem::path(KARTO_FUZZ_CORPUS) / "xml_roundtrip",
        std::filesystem::path(KARTO_XML_TEST_DATA) / "fuzz-regressions"}) {
    if (!std::filesystem::exists(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      std::ifstream f(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      for (const std::vector<std::string>& mixed : {std::vector<std::string>{}, {"text", "a"}}) {
        TXMLDocument doc;
        doc.MixedContentElements = mixed;
        doc.LoadFromBytes(bytes);
        TXMLDocument again;
        again.MixedContentElements = mixed;
        again.LoadFromBytes(doc.SaveToBytes());
        EXPECT_EQ(XmlTreeDifference(doc.Root(), again.Root()), "") << entry.path();
        EXPECT_EQ(XmlTreeDifference(&doc.Header(), &again.Header()), "") << entry.path();
      }
      ++count;
    }
  }
  EXPECT_GT(count, 0);
}

}  // namespace
