// The first well-formedness error the XML reader notes: which inputs give
// one, its line and column (also after text that in-place decoding has
// rewritten), and which inputs give none.

#include <gtest/gtest.h>

#include <string>

#include "tests/xml/XmlDump.h"
#include "xml/XmlDoc.h"

using namespace karto;

namespace {

struct ErrorCase {
  const char* what;
  std::string xml;
  int line;
  int column;
  const char* words;  // part of the message
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.what; }

class ReadError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReadError, IsNotedWithItsPosition) {
  const ErrorCase& c = GetParam();
  TXMLDocument doc;
  doc.LoadFromBytes(c.xml);
  const TXmlError& error = doc.Error();
  ASSERT_TRUE(error.Present) << c.xml;
  EXPECT_EQ(error.Line, c.line) << error.Message;
  EXPECT_EQ(error.Column, c.column) << error.Message;
  EXPECT_NE(error.Message.find(c.words), std::string::npos) << error.Message;
}

// Constructs that the end of the file cuts off; the position is where they
// start.
const ErrorCase kUnfinished[] = {
    {"a tag", "<svg>\n  <rect x=\"1\"", 2, 3, "ends inside the tag <rect>"},
    {"a tag inside an unclosed quote", "<svg>\n  <rect x=\"1/>\n</svg>", 2, 3, "ends inside the tag"},
    {"a closing tag", "<a></a", 1, 4, "ends inside the closing tag </a>"},
    {"a comment", "<a>\n<!-- note", 2, 1, "ends inside a comment"},
    {"a CDATA section", "<a><![CDATA[x", 1, 4, "ends inside a CDATA section"},
    {"a processing instruction", "<a/>\n<?pi x", 2, 1, "ends inside the processing instruction \"<?pi\""},
    {"the XML declaration", "<?xml version=\"1.0\"", 1, 1, "ends inside the XML declaration"},
    {"a document type", "<!DOCTYPE svg [\n<!ENTITY e \"x\">", 1, 1, "ends inside the document type"},
    {"an element: the innermost open one is named", "<svg>\n  <g>\n    <rect/>\n", 2, 3,
     "ends before the element <g> is closed"},
};
INSTANTIATE_TEST_SUITE_P(Unfinished, ReadError, ::testing::ValuesIn(kUnfinished));

const ErrorCase kStructure[] = {
    {"a closing tag for another element", "<svg>\n  <rect>\n  </g>\n</svg>", 3, 3,
     "The closing tag </g> does not match the open element <rect>."},
    {"names are compared exactly", "<svg></SVG>", 1, 6, "does not match"},
    {"a closing tag with more than a name", "<a></a b>", 1, 8, "holds more than the element name"},
    {"a closing tag with nothing open", "<a/></g>", 1, 5, "The closing tag </g> has no open element."},
    {"a second top-level element", "<a/>\n<foo/>", 2, 1, "A second top-level element <foo> follows"},
    {"no element at all", "<?xml version=\"1.0\"?>\n<!-- empty -->\n", 3, 1, "The file holds no element."},
    {"an empty file", "", 1, 1, "holds no element"},
    {"text after the document element", "<a/>\n  stray", 2, 3, "Text stands outside the document element."},
    {"text before it", "x<a/>", 1, 1, "outside the document element"},
    {"a CDATA section outside it", "<![CDATA[x]]><a/>", 1, 1, "CDATA section stands outside"},
    {"an XML declaration after white space", " <?xml version=\"1.0\"?><a/>", 1, 2, "very start"},
    {"an XML declaration inside an element", "<a><?xml version=\"1.0\"?></a>", 1, 4, "very start"},
    {"a document type after the document element", "<a/><!DOCTYPE a>", 1, 5, "before the document element"},
    {"markup of an unknown kind", "<a><!ELEMENT a ANY></a>", 1, 4, "The markup \"<!ELEMENT\" is not allowed"},
    {"only the first error counts", "<a><b></a></c>", 1, 7, "</a> does not match the open element <b>"},
};
INSTANTIATE_TEST_SUITE_P(Structure, ReadError, ::testing::ValuesIn(kStructure));

const ErrorCase kTags[] = {
    {"an attribute without a value", "<a\n  x/>", 2, 3, "The attribute \"x\" has no value."},
    {"an attribute with \"=\" and nothing after it", "<a x= ></a>", 1, 7, "The attribute \"x\" has no value."},
    {"an unquoted value", "<a x=1>", 1, 6, "The value of the attribute \"x\" is not in quotes."},
    {"text after the closing quote", "<a x=\"1\"y=\"2\"/>", 1, 9, "\"x\" has more text after its closing quote"},
    {"an attribute given twice", "<a x=\"1\" y='2' x=\"3\"/>", 1, 16, "The attribute \"x\" is given twice."},
    {"... among many attributes", [] {
       std::string xml = "<a";
       for (int i = 0; i < 40; ++i) xml += " n" + std::to_string(i) + "=\"1\"";
       return xml + " n7=\"2\"/>";
     }(),
     1, 2 + 10 * 7 + 30 * 8 + 2, "\"n7\" is given twice"},
    {"a \"<\" in a value", "<a x=\"1 < 2\"/>", 1, 9, "The value of the attribute \"x\" holds a \"<\""},
    {"a \"<\" in a tag: a missing \">\"", "<a x=\"1\"\n<b/></a>", 2, 1, "stands inside the tag <a>"},
    {"a tag without a name", "<a>< /></a>", 1, 4, "A tag has no name."},
    {"a name that cannot start an XML name", "<1a/>", 1, 2, "The tag name \"1a\" is not a valid XML name."},
    {"an attribute name with a quote", "<a b\"c\"=\"1\"/>", 1, 4, "not a valid XML name"},
};
INSTANTIATE_TEST_SUITE_P(Tags, ReadError, ::testing::ValuesIn(kTags));

const ErrorCase kReferences[] = {
    {"a bare \"&\" in text", "<a>fish & chips</a>", 1, 9, "A \"&\" starts no reference; write it as &amp;."},
    {"... in a value", "<a t=\"AT&T\"/>", 1, 9, "starts no reference"},
    {"... in text that is not stored", "<a><b></b>x &y</a>", 1, 13, "starts no reference"},
    {"an undeclared entity", "<a>&nbsp;</a>", 1, 4, "The entity \"&nbsp;\" is not declared."},
    {"a character reference to no character", "<a v=\"&#0;\"/>", 1, 7,
     "The character reference \"&#0;\" does not stand for a character."},
    {"an entity that refers to itself: at the reference in the document",
     "<!DOCTYPE a [<!ENTITY e \"&f;\"><!ENTITY f \"&e;\">]>\n<a>x&e;</a>", 2, 5,
     "The entity \"&e;\" refers to itself."},
};
INSTANTIATE_TEST_SUITE_P(References, ReadError, ::testing::ValuesIn(kReferences));

// Lines and columns over text that decoding rewrote before the error: values
// lose their line breaks, text loses CRs, references shrink.
const ErrorCase kPositions[] = {
    {"after multi-line attribute values", "<a v=\"1\n2\r\n3\" w=\"x&#10;y\">\n</b>", 4, 1, "</b>"},
    {"after multi-line text with references", "<a>one\r\ntwo &amp;\rthree<b/>x&#10;y\n</c>", 4, 1, "</c>"},
    {"in the line of a decoded value: references count as written",
     "<a v=\"&amp;&#233;\"><b></c></a>", 1, 23, "</c>"},
    {"columns count characters, not bytes", "<a v=\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"><b></c></a>", 1, 15,
     "</c>"},
    {"bytes read as Windows-1252 count as characters", "<a>\xE9\x80</b>", 1, 6, "</b>"},
    {"LF, CR and CR LF each end a line", "<a>\r<b>\n<c>\r\n</d>", 4, 1, "</d>"},
    {"after a byte-order mark, which is no character", "\xEF\xBB\xBF<a></b>", 1, 4, "</b>"},
    {"after an entity expansion the position is in the expanded text (line 2, column 9 in the file)",
     "<!DOCTYPE a [<!ENTITY two \"&#10;&#10;\">]>\n<a>&two;</b>", 4, 1, "</b>"},
};
INSTANTIATE_TEST_SUITE_P(Positions, ReadError, ::testing::ValuesIn(kPositions));

class ReadWithoutError : public ::testing::TestWithParam<const char*> {};

TEST_P(ReadWithoutError, NotesNone) {
  for (const std::vector<std::string>& mixed : {std::vector<std::string>{}, {"text"}}) {
    TXMLDocument doc;
    doc.MixedContentElements = mixed;
    doc.LoadFromBytes(GetParam());
    EXPECT_FALSE(doc.Error().Present) << doc.Error().Line << ":" << doc.Error().Column << " "
                                      << doc.Error().Message;
  }
}

const char* const kWellFormed[] = {
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
    "<!-- Created with Inkscape -->\n"
    "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n"
    "\t<!ENTITY ns_svg \"http://www.w3.org/2000/svg\">\n"
    "\t<!ENTITY Rect \"<rect width='1' height='1'/>\">\n"
    "]>\n"
    "<svg\n   xmlns=\"&ns_svg;\"\n   width='10'\r\n\theight = \"20\" >\n"
    "  <?xml-stylesheet href=\"a.css\"?>\n"
    "  <style><![CDATA[ .a { fill: red } & < ]]></style>\n"
    "  <g id=\"a\">&Rect;<rect x=\"1\" fill=\"url(#b)\"/></g >\n"
    "  <text x=\"1\">a &amp; b &#233; &#x1F600; &lt;&gt;&quot;&apos;<tspan> c</tspan> d</text>\n"
    "</svg>\n\n",
    "<?xml version='1.0' encoding='utf-8'?><a b = 'x' c=\"y\" />",
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"x.dtd\"><html>&nbsp;</html>",
    "<a>]]> > ' \" </a>",
    "<a><b/><b></b><c x=\"1\"\n/></a>",
};
INSTANTIATE_TEST_SUITE_P(WellFormed, ReadWithoutError, ::testing::ValuesIn(kWellFormed));

TEST(ReadErrorState, EachLoadAndClearStartAfresh) {
  TXMLDocument doc;
  EXPECT_FALSE(doc.Error().Present);
  doc.LoadFromBytes("<a>");
  ASSERT_TRUE(doc.Error().Present);
  doc.LoadFromBytes("<a/>");
  EXPECT_FALSE(doc.Error().Present);
  EXPECT_EQ(doc.Error().Line, 0);
  EXPECT_EQ(doc.Error().Message, "");
  doc.LoadFromBytes("<a>");
  doc.Clear();
  EXPECT_FALSE(doc.Error().Present);
}

TEST(ReadErrorState, ReachingALimitIsNoError) {
  TXMLDocument doc;
  doc.Limits.MaxNodes = 2;
  doc.LoadFromBytes("<a><b/><c/></a>");
  EXPECT_TRUE(doc.LimitReached());
  EXPECT_FALSE(doc.Error().Present) << doc.Error().Message;
}

TEST(ReadErrorState, TheTreeIsBuiltAsWithoutTheCheck) {
  TXMLDocument doc;
  doc.LoadFromBytes("<a x=1 x=2><b></c><d>t</d>");
  EXPECT_TRUE(doc.Error().Present);
  EXPECT_EQ(karto::testing::Dump(doc.Root()), "a{x=1,x=2}[b d't']");
}

}  // namespace
