#pragma once
// Karto's own XML reader, node tree and writer. Plain C++17 and the standard
// library only: the SVG import, the tests and the fuzz targets use it without
// Qt.
//
// The reader never rejects input: every input gives some tree, and what it
// cannot place it drops. It does note the first well-formedness error it
// meets (TXMLDocument::Error), for callers that must refuse malformed files.
// What it understands:
//  - elements with attributes: name="value", name='value', a bare unquoted
//    value (up to the next white space) or a bare name (empty value).
//    Attributes are separated by any run of white space (space, tab, CR, LF),
//    "=" may have white space around it, and a line break anywhere inside a
//    tag counts as one space. A value that starts with a double quote runs to
//    the next double quote, one that starts with a single quote to the next
//    single quote; the other quote, ">" and "<" are ordinary characters
//    inside it. White space characters inside a value become spaces, as in
//    XML's attribute-value normalisation.
//  - the declaration <?xml ...?> before the document element, which becomes
//    Header() (its closing "?" is not part of the last pseudo-attribute);
//  - CDATA sections: each becomes a child node named "#cdata-section" whose
//    Text is the section's raw content, line breaks included;
//  - the references &amp; &lt; &gt; &quot; &apos; &#N; and &#xH;, decoded in
//    attribute values and text; any other "&" sequence stays as written;
//  - general entities declared in the internal subset of the document type
//    (<!ENTITY name "value"> or with single quotes). When the subset declares
//    at least one and the document uses one, the text after the document
//    type is expanded before it is read: a reference in content is replaced
//    by the replacement text, which is then read as markup (an element there
//    becomes a real element); one in an attribute value becomes part of the
//    value. Comments and CDATA sections are left alone. Parameter entities
//    and external entities (SYSTEM, PUBLIC) are not read; references to them
//    stay as written. The expanded text is limited (TXmlReadLimits); an
//    entity that refers to itself, directly or through others, is not
//    expanded. Errors found after such an expansion have their line and
//    column counted in the expanded text, so they may lie further down than
//    in the file when replacement texts span lines;
//  - comments, processing instructions and document type declarations are
//    skipped.
//
// Text content. An element's Text is the text between its opening tag and the
// next markup of any kind, with its leading spaces (U+0020) and line breaks
// dropped, each CR LF pair and each lone CR turned into LF (XML's end-of-line
// normalisation), and references decoded. Text after a self-closing child is
// collected for the parent and replaces the parent's Text; text after a
// closing tag, a comment, a CDATA section, a processing instruction or a
// document type declaration is dropped. A double quote in text is an
// ordinary character.
//
// Mixed content. Inside an element named in
// TXMLDocument::MixedContentElements, and inside all its descendants, every
// run of character data also becomes a child node named "#text", in document
// order among the other children: its Text is the whole run, references
// decoded and line breaks normalised to LF, nothing trimmed (a run of white
// space only is kept too). The elements' own Text keeps the meaning above.
// Outside such elements there are no "#text" nodes.
//
// Tree shape. Closing tags close the innermost open element whatever their
// name; a closing tag with nothing open is ignored; an element left open at
// the end stays in the tree. A later top-level element replaces an earlier one
// as Root(). Nesting depth is not limited: nothing in this unit walks the tree
// recursively (reading, writing, comparing; freeing needs no walk at all), so
// 100 000 levels cost no stack. The amount of work is limited by
// TXmlReadLimits.
//
// Errors. Error() holds the first of these the reader meets, with the line
// and column (1-based, the column counted in characters of the text after
// decoding its bytes) of the markup at fault: a file that ends inside a tag,
// comment, CDATA section, processing instruction or document type; a closing
// tag whose name differs from the open element's, or with nothing open;
// elements still open at the end; a second top-level element; text, or a
// CDATA section, outside the document element; an attribute without "=value",
// with an unquoted value, with text after its closing quote, with a "<" in
// its value, or given twice (names compared exactly); a tag without a name or
// with a name that cannot start an XML name; a "<" inside a tag; an "&" that
// starts no reference; a reference to an undeclared entity (not reported
// when the document type names an external subset, which may declare it); an
// XML declaration that is not at the very start; a document type after the
// document element; markup "<!..." of an unknown kind; an entity that refers
// to itself; an expansion beyond the limit; no element at all. Reaching
// MaxNodes or MaxAttributes is not an error (see LimitReached). The checks
// cost the common path next to nothing: a plainly written tag is read by a
// scanner that knows its shape, and the line and column are counted only once
// an error is found.
//
// Bytes to text. A UTF-8 byte-order mark selects UTF-8 (a broken sequence
// becomes U+FFFD), a UTF-16 mark selects UTF-16 in its byte order. Without a
// mark the bytes are UTF-8 when they are valid UTF-8; otherwise the encoding
// named in the XML declaration decides when it is ISO-8859-15 or
// Windows-1251, and Windows-1252 is used for all else (ISO-8859-1 and
// US-ASCII included: files that say so and are not ASCII mostly hold
// Windows-1252 quotes and dashes, which is also how browsers read them).
// Every string in a tree built by the reader is valid UTF-8.
//
// Storage. A document keeps its nodes, attributes and strings in one arena
// that it releases as a whole (on Clear, on the next load, when it dies). The
// reader decodes the text in place in that arena, so names, values and texts
// are views into it. Editing copies the new strings into the arena; the
// memory of a replaced string is only given back with the document, so the
// editing functions suit building a document, not changing one value
// millions of times. Node pointers and string views stay valid until the
// document is cleared, reloaded or destroyed.
//
// Writing. See TXMLDocument::SaveToBytes. Whatever the reader built, and any
// tree built through this interface whose element and attribute names are XML
// names and whose strings are valid UTF-8, writes to text that reads back to
// the same tree (names, attributes in order, texts and children), as long as
// Ident is empty or made of spaces, and the reading document has the same
// MixedContentElements. Inside mixed content a built tree must be shaped as
// the reader shapes it: its text in non-empty "#text" nodes, each element's
// Text what the reader would derive from them. The header's own text and
// children, which the reader never gives it, are written but do not read
// back.
//
// Names are looked up ignoring ASCII case ("A" to "Z" match "a" to "z",
// nothing else is folded); attribute values are compared exactly.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace karto {

class TXmlArena;
class TXmlNode;

// True when a and b are equal after mapping ASCII "A" to "Z" to lower case.
bool SameXmlName(std::string_view a, std::string_view b);

// The names of the nodes the reader makes for a run of character data inside
// mixed content and for a CDATA section.
inline constexpr std::string_view kXmlTextName = "#text";
inline constexpr std::string_view kXmlCdataName = "#cdata-section";

// A string held by the arena of its document.
class TXmlString {
 public:
  constexpr TXmlString() = default;
  explicit constexpr TXmlString(std::string_view s) : m_data(s.data()), m_size(s.size()) {}
  constexpr std::string_view View() const { return {m_data, m_size}; }

 private:
  const char* m_data = "";
  size_t m_size = 0;
};

class TXmlAttribute {
 public:
  std::string_view Name() const { return m_name.View(); }    // as it stood in the tag
  std::string_view Value() const { return m_value.View(); }  // unquoted, references decoded

 private:
  friend class TXmlNode;
  friend class TXmlReader;
  TXmlString m_name;
  TXmlString m_value;
};

// The attributes of one node, in the order they were read or added.
class TXmlAttributeList {
 public:
  int Count() const { return int(m_count); }
  const TXmlAttribute& operator[](int index) const { return m_items[index]; }
  const TXmlAttribute* begin() const { return m_items; }
  const TXmlAttribute* end() const { return m_items + m_count; }
  // The first attribute whose name matches (ASCII case ignored), or null.
  const TXmlAttribute* Find(std::string_view name) const;

 private:
  friend class TXmlNode;
  friend class TXmlReader;
  TXmlAttribute* m_items = nullptr;
  uint32_t m_count = 0;
  uint32_t m_capacity = 0;
};

// The children of a node in document order.
class TXmlNodeList {
 public:
  int Count() const { return int(m_count); }
  bool IsEmpty() const { return m_count == 0; }
  TXmlNode* operator[](int index) const { return m_items[index]; }
  TXmlNode* const* begin() const { return m_items; }
  TXmlNode* const* end() const { return m_items + m_count; }

 private:
  friend class TXmlNode;
  TXmlNode** m_items = nullptr;
  uint32_t m_count = 0;
  uint32_t m_capacity = 0;
};

// One element of the tree. The nodes of a document live in its arena and are
// released with it. A node constructed on its own (TXmlNode n("rect")) owns
// an arena for itself and the children added to it.
class TXmlNode {
 public:
  explicit TXmlNode(std::string_view name = {});
  ~TXmlNode();
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  // As written: case kept, a namespace prefix kept.
  std::string_view NodeName() const { return m_name.View(); }
  void SetNodeName(std::string_view name);
  // See the text rules at the top of this file.
  std::string_view Text() const { return m_text.View(); }
  TXmlNode* SetText(std::string_view value);

  TXmlNode* Parent() const { return m_parent; }
  const TXmlNodeList& ChildNodes() const { return m_children; }
  const TXmlAttributeList& AttributeList() const { return m_attributes; }

  // Appends a new child named name and returns it.
  TXmlNode* AddChild(std::string_view name);

  // The first direct child whose name matches; with attribute, one that also
  // has that attribute; with value, one whose attribute equals value exactly.
  // Null when there is none. No search goes below the direct children.
  TXmlNode* Find(std::string_view name) const;
  TXmlNode* Find(std::string_view name, std::string_view attribute) const;
  TXmlNode* Find(std::string_view name, std::string_view attribute, std::string_view value) const;
  // Every direct child whose name matches, in order; the nodes stay owned here.
  std::vector<TXmlNode*> FindNodes(std::string_view name) const;

  bool HasAttribute(std::string_view name) const { return m_attributes.Find(name) != nullptr; }
  // The value of the first attribute whose name matches, or the empty string.
  std::string_view GetAttribute(std::string_view name) const;
  // Overwrites the first matching attribute (its Name takes the letter case
  // of name) or appends a new one. Returns this node.
  TXmlNode* SetAttribute(std::string_view name, std::string_view value);
  void SetAttr(std::string_view name, std::string_view value) { SetAttribute(name, value); }

 private:
  friend class TXmlReader;
  friend class TXMLDocument;
  explicit TXmlNode(TXmlArena* arena) : m_arena(arena) {}
  static TXmlNode* Create(TXmlArena& arena);
  void AppendChild(TXmlNode* child);

  TXmlString m_name;
  TXmlString m_text;
  TXmlNode* m_parent = nullptr;
  TXmlArena* m_arena;
  TXmlAttributeList m_attributes;
  TXmlNodeList m_children;
  bool m_ownsArena = false;
};

// Limits that keep a hostile file from exhausting memory. When one is reached
// the reader stops; what it read so far stays in the tree and
// TXMLDocument::LimitReached() says so.
struct TXmlReadLimits {
  // Elements, CDATA sections and "#text" nodes together. A 20 MB drawing has
  // about 200 000.
  static constexpr size_t kDefaultMaxNodes = 4'000'000;
  // Attributes of all elements together.
  static constexpr size_t kDefaultMaxAttributes = 16'000'000;
  // The text after entity expansion may be this many times the size of the
  // input, plus the allowance, which leaves room for small files that use
  // entities freely. Beyond it the expansion stops (the rest of the document
  // is read as written) and Error() says so; this one does not set
  // LimitReached. The work of expanding counts against the same limit, so
  // that entities which expand to nothing cannot multiply it either.
  static constexpr size_t kDefaultEntityExpansionFactor = 16;
  static constexpr size_t kDefaultEntityExpansionAllowance = size_t(1) << 20;

  size_t MaxNodes = kDefaultMaxNodes;
  size_t MaxAttributes = kDefaultMaxAttributes;
  size_t EntityExpansionFactor = kDefaultEntityExpansionFactor;
  size_t EntityExpansionAllowance = kDefaultEntityExpansionAllowance;
};

// The first well-formedness error of the last load. The message is an
// English sentence for the user, without the position; callers put "line L,
// column C: " in front.
struct TXmlError {
  bool Present = false;
  int Line = 0;    // 1-based
  int Column = 0;  // 1-based, in characters (code points), not bytes
  std::string Message;
};

// A file that cannot be opened, read or written.
class EXmlFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Receives a document's elements in document order from
// TXMLDocument::ReadFromBytes, which builds no tree: a large file is read
// with the memory of its text and of what the handler keeps.
class TXmlHandler {
 public:
  virtual ~TXmlHandler() = default;
  // An element opens. element has its name and attributes (no children and
  // no text yet); it and the strings it holds stay valid until the element
  // closes.
  virtual void StartElement(const TXmlNode& element) = 0;
  // Character data inside an element named in MixedContentElements (every
  // run, white space included), and every CDATA section's content. The text
  // is valid during the call only.
  virtual void Characters(std::string_view text) = 0;
  // The element opened last (and not yet closed) closes.
  virtual void EndElement() = 0;
  // The reader starts over from the beginning (it found a use of an entity
  // declared in the document type and reads again with it expanded): forget
  // what was received.
  virtual void Restart() = 0;
};

class TXMLDocument {
 public:
  // The writer's indentation step. Empty switches to output without line
  // breaks. Use spaces only: the reader keeps tabs at the start of text.
  std::string Ident = "  ";
  TXmlReadLimits Limits;
  // Elements whose content is mixed (ASCII case ignored), such as SVG's
  // "text": inside them and their descendants the reader keeps every run of
  // character data as a "#text" child (see the top of this file), and the
  // writer writes "#text" children as character data and adds no line breaks
  // or indentation, which would become text. Empty by default. Like Limits,
  // it is kept by Clear and by the loads.
  std::vector<std::string> MixedContentElements;

  TXMLDocument();
  ~TXMLDocument();
  TXMLDocument(const TXMLDocument&) = delete;
  TXMLDocument& operator=(const TXMLDocument&) = delete;

  // An empty unnamed Root(), a Header() "?xml" with version="1.0", Ident "  ".
  void Clear();

  // Each load starts with Clear(); afterwards Root() is the document element
  // or null when the input held none, and Header() the input's declaration or
  // the default one. The file and stream forms throw EXmlFileError when the
  // bytes cannot be read; malformed XML never throws.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(std::istream& stream);  // from the current position to the end
  void LoadFromBytes(std::string_view bytes);
  // Reads like LoadFromBytes but gives the elements to handler instead of
  // building a tree: Root() is null afterwards; Header(), Error() and
  // LimitReached() are as after a load. With owned given, its bytes may be
  // taken over instead of copied.
  void ReadFromBytes(std::string_view bytes, TXmlHandler& handler, std::string* owned = nullptr);

  // The text form, as UTF-8. With the declaration's "encoding" equal to
  // "utf-8" (ASCII case ignored) a byte-order mark comes first. Every line
  // ends with CR LF (no line breaks at all when Ident is empty); each child is
  // indented by one more Ident, up to kMaxIndentDepth steps. An element with
  // both text and children is written on one line, because the line break
  // and indentation after its text would otherwise become part of that text;
  // so is an element named in MixedContentElements, with all it holds. There
  // a "#text" child is written as its text without a tag (elsewhere, where
  // text would not read back as a node, it is written as an element named
  // "#text"), two of them in a row with an empty comment between, and the
  // element's own Text is not written again: its "#text" children hold it.
  std::string SaveToBytes() const;
  void SaveToStream(std::ostream& stream) const;
  void SaveToFile(const std::string& fileName) const;  // throws EXmlFileError

  // Deeper levels are written with this many indentation steps, so that the
  // size of the output stays linear in the size of the tree.
  static constexpr int kMaxIndentDepth = 64;

  TXmlNode* Root() { return m_root; }
  const TXmlNode* Root() const { return m_root; }
  TXmlNode& Header() { return *m_header; }
  const TXmlNode& Header() const { return *m_header; }

  // True when the last load stopped at one of Limits.
  bool LimitReached() const { return m_limitReached; }
  // The first well-formedness error of the last load; not Present after a
  // load of well-formed XML, after Clear and on a new document.
  const TXmlError& Error() const { return m_error; }

 private:
  friend class TXmlReader;
  // Decodes bytes into the arena and reads them; owned, when given, holds the
  // same bytes and may be taken over instead of copied.
  void Load(std::string_view bytes, std::string* owned, TXmlHandler* handler = nullptr);

  std::unique_ptr<TXmlArena> m_arena;
  TXmlNode* m_root = nullptr;
  TXmlNode* m_header = nullptr;
  bool m_limitReached = false;
  TXmlError m_error;
};

// Where two trees differ first (name, attributes in order, text, number of
// children), as a sentence with the path to the node; empty when they are the
// same. Either may be null. Walks without recursion.
std::string XmlTreeDifference(const TXmlNode* a, const TXmlNode* b);

}  // namespace karto
