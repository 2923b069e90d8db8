#include "xml/XmlDoc.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <fstream>
#include <istream>
#include <ostream>

namespace karto {

namespace {

constexpr std::string_view kCdataName = "#cdata-section";
constexpr char32_t kReplacementChar = 0xFFFD;

inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Writes cp as UTF-8 into out and returns the number of bytes (1 to 4).
size_t EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = char(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = char(0xC0 | (cp >> 6));
    out[1] = char(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = char(0xE0 | (cp >> 12));
    out[1] = char(0x80 | ((cp >> 6) & 0x3F));
    out[2] = char(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = char(0xF0 | (cp >> 18));
  out[1] = char(0x80 | ((cp >> 12) & 0x3F));
  out[2] = char(0x80 | ((cp >> 6) & 0x3F));
  out[3] = char(0x80 | (cp & 0x3F));
  return 4;
}

void AppendUtf8(std::string& out, char32_t cp) {
  char buf[4];
  out.append(buf, EncodeUtf8(cp, buf));
}

// --- bytes to UTF-8 text -------------------------------------------------------

// The length of the well-formed UTF-8 sequence at s[i] (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
size_t Utf8SequenceLength(const unsigned char* s, size_t n, size_t i) {
  const unsigned char c = s[i];
  if (c < 0x80) return 1;
  auto cont = [&](size_t k) { return i + k < n && (s[i + k] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    const unsigned char c1 = s[i + 1];
    if (c == 0xE0 && c1 < 0xA0) return 0;  // overlong
    if (c == 0xED && c1 >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    const unsigned char c1 = s[i + 1];
    if (c == 0xF0 && c1 < 0x90) return 0;  // overlong
    if (c == 0xF4 && c1 >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

// The position of the first byte that does not start a well-formed sequence,
// or n. Runs of ASCII are skipped eight bytes at a time.
size_t FirstInvalidUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (i + 8 <= n) {
      uint64_t block;
      std::memcpy(&block, s + i, 8);
      if ((block & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    const size_t len = Utf8SequenceLength(s, n, i);
    if (len == 0) return i;
    i += len;
  }
  return n;
}

// UTF-8 with every ill-formed byte replaced by U+FFFD.
std::string RepairUtf8(std::string_view text, size_t firstBad) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  std::string out;
  out.reserve(n + 16);
  out.append(text.substr(0, firstBad));
  size_t i = firstBad;
  while (i < n) {
    const size_t len = Utf8SequenceLength(s, n, i);
    if (len == 0) {
      AppendUtf8(out, kReplacementChar);
      ++i;
    } else {
      out.append(text.substr(i, len));
      i += len;
    }
  }
  return out;
}

// Windows-1252 for 0x80 to 0x9F; the five unassigned bytes keep their C1 code.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80)
      out += ch;
    else if (c < 0xA0)
      AppendUtf8(out, kCp1252High[c - 0x80]);
    else
      AppendUtf8(out, c);
  }
  return out;
}

// UTF-16 without its mark; an unpaired surrogate and an odd last byte become
// U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t k) -> char32_t {
    const unsigned char a = s[2 * k], b = s[2 * k + 1];
    return bigEndian ? char32_t((a << 8) | b) : char32_t((b << 8) | a);
  };
  std::string out;
  out.reserve(bytes.size());
  for (size_t k = 0; k < units; ++k) {
    const char32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const char32_t lo = unit(k + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacementChar : u);
  }
  if (bytes.size() % 2) AppendUtf8(out, kReplacementChar);
  return out;
}

// --- references ------------------------------------------------------------------

// The longest body between "&" and ";" that is looked at; longer ones stay as
// written. Leaves room for numeric references padded with zeros.
constexpr size_t kMaxReferenceBody = 32;

// Decodes the reference at the start of s (which begins with "&") into out
// (UTF-8, at most four bytes). Returns the length of the reference and sets
// outLength, or returns 0 when the text there is no reference this reader
// knows.
size_t DecodeReference(std::string_view s, char (&out)[4], size_t& outLength) {
  const size_t limit = std::min(s.size(), 2 + kMaxReferenceBody);
  size_t semi = 1;
  while (semi < limit && s[semi] != ';') ++semi;
  if (semi >= limit) return 0;
  const std::string_view body = s.substr(1, semi - 1);
  const size_t consumed = body.size() + 2;
  if (body.empty()) return 0;
  outLength = 1;
  if (body[0] != '#') {
    if (body == "amp") out[0] = '&';
    else if (body == "lt") out[0] = '<';
    else if (body == "gt") out[0] = '>';
    else if (body == "quot") out[0] = '"';
    else if (body == "apos") out[0] = '\'';
    else return 0;
    return consumed;
  }
  const bool hex = body.size() > 1 && body[1] == 'x';
  const std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty()) return 0;
  uint32_t cp = 0;
  for (char c : digits) {
    uint32_t d;
    if (c >= '0' && c <= '9') d = uint32_t(c - '0');
    else if (hex && c >= 'a' && c <= 'f') d = uint32_t(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') d = uint32_t(c - 'A' + 10);
    else return 0;
    cp = cp * (hex ? 16 : 10) + d;
    if (cp > 0x10FFFF) return 0;
  }
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  outLength = EncodeUtf8(cp, out);
  return consumed;
}

// --- in-place decoding -------------------------------------------------------------
//
// Every change below makes the text shorter or keeps its length (a reference
// is longer than its UTF-8, a CR LF pair becomes one space), so the reader
// decodes inside the document's copy of the text and never allocates a
// string.

enum class TPieceKind { Name, Value, Text };

// Character classes for the scanners.
enum : uint8_t {
  kSpaceClass = 1,    // space, tab, CR, LF: separates inside tags
  kSpecialClass = 2,  // "&", tab, CR, LF: a piece holding one needs decoding
  kTagClass = 4,      // anything a tag scanner must look at
};

constexpr auto kClasses = [] {
  struct Table {
    uint8_t c[256];
  } t{};
  for (unsigned char ch : {' ', '\t', '\r', '\n'}) t.c[ch] |= kSpaceClass;
  for (unsigned char ch : {'&', '\t', '\r', '\n'}) t.c[ch] |= kSpecialClass;
  for (unsigned char ch : {' ', '\t', '\r', '\n', '&', '"', '>', '='}) t.c[ch] |= kTagClass;
  return t;
}();

inline uint8_t ClassOf(char c) { return kClasses.c[static_cast<unsigned char>(c)]; }

// Decodes buf[b, e) in place and returns the new end.
//  Name:  a line break (CR LF counting as one) becomes a space.
//  Value: every white space character becomes a space (CR LF one space);
//         references are decoded.
//  Text:  line breaks are dropped; references are decoded.
size_t DecodeInPlace(char* buf, size_t b, size_t e, TPieceKind kind) {
  size_t w = b;
  for (size_t r = b; r < e;) {
    const char c = buf[r];
    if (c == '&' && kind != TPieceKind::Name) {
      char decoded[4];
      size_t decodedLength = 0;
      const size_t used = DecodeReference(std::string_view(buf + r, e - r), decoded, decodedLength);
      if (used) {
        std::memcpy(buf + w, decoded, decodedLength);
        w += decodedLength;
        r += used;
        continue;
      }
    } else if (c == '\r' || c == '\n') {
      r += (c == '\r' && r + 1 < e && buf[r + 1] == '\n') ? 2 : 1;
      if (kind != TPieceKind::Text) buf[w++] = ' ';
      continue;
    } else if (c == '\t' && kind == TPieceKind::Value) {
      buf[w++] = ' ';
      ++r;
      continue;
    }
    buf[w++] = c;
    ++r;
  }
  return w;
}

}  // namespace

// --- arena ----------------------------------------------------------------------------

// Memory for one document: the decoded text, in which the reader leaves the
// strings it finds, and blocks for nodes, attribute arrays, child arrays and
// edited strings. Everything is released together.
class TXmlArena {
 public:
  std::string Source;

  void* Allocate(size_t size, size_t align) {
    size_t pad = (align - reinterpret_cast<uintptr_t>(m_cur) % align) % align;
    if (pad + size > m_left) {
      NewBlock(size + align);
      pad = (align - reinterpret_cast<uintptr_t>(m_cur) % align) % align;
    }
    char* p = m_cur + pad;
    m_cur = p + size;
    m_left -= pad + size;
    return p;
  }

  template <class T>
  T* AllocateArray(size_t n) {
    if (n > (size_t(1) << 40) / sizeof(T)) throw std::bad_alloc();
    T* items = static_cast<T*>(Allocate(n * sizeof(T), alignof(T)));
    for (size_t i = 0; i < n; ++i) new (items + i) T();
    return items;
  }

  std::string_view Copy(std::string_view s) {
    if (s.empty()) return {};
    char* p = static_cast<char*>(Allocate(s.size(), 1));
    std::memcpy(p, s.data(), s.size());
    return {p, s.size()};
  }

 private:
  // Blocks double from the first size up to the largest; a request larger
  // than that gets a block of its own size.
  static constexpr size_t kFirstBlock = 4096;
  static constexpr size_t kLargestBlock = size_t(8) << 20;

  void NewBlock(size_t atLeast) {
    const size_t size = std::max(atLeast, m_nextBlock);
    m_blocks.push_back(std::unique_ptr<char[]>(new char[size]));
    m_cur = m_blocks.back().get();
    m_left = size;
    m_nextBlock = std::min(m_nextBlock * 2, kLargestBlock);
  }

  std::vector<std::unique_ptr<char[]>> m_blocks;
  char* m_cur = nullptr;
  size_t m_left = 0;
  size_t m_nextBlock = kFirstBlock;
};

bool SameXmlName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// --- attribute list and node ---------------------------------------------------

const TXmlAttribute* TXmlAttributeList::Find(std::string_view name) const {
  for (const TXmlAttribute& a : *this)
    if (SameXmlName(a.Name(), name)) return &a;
  return nullptr;
}

TXmlNode::TXmlNode(std::string_view name) : m_arena(new TXmlArena), m_ownsArena(true) {
  SetNodeName(name);
}

TXmlNode::~TXmlNode() {
  // Nodes inside an arena are never destroyed one by one: the arena releases
  // them all, whatever the depth of the tree.
  if (m_ownsArena) delete m_arena;
}

TXmlNode* TXmlNode::Create(TXmlArena& arena) {
  return new (arena.Allocate(sizeof(TXmlNode), alignof(TXmlNode))) TXmlNode(&arena);
}

void TXmlNode::SetNodeName(std::string_view name) { m_name = TXmlString(m_arena->Copy(name)); }

TXmlNode* TXmlNode::SetText(std::string_view value) {
  m_text = TXmlString(m_arena->Copy(value));
  return this;
}

void TXmlNode::AppendChild(TXmlNode* child) {
  TXmlNodeList& list = m_children;
  if (list.m_count == list.m_capacity) {
    const uint32_t capacity = list.m_capacity ? list.m_capacity * 2 : 4;
    TXmlNode** items = m_arena->AllocateArray<TXmlNode*>(capacity);
    if (list.m_count) std::memcpy(items, list.m_items, list.m_count * sizeof(TXmlNode*));
    list.m_items = items;
    list.m_capacity = capacity;
  }
  list.m_items[list.m_count++] = child;
  child->m_parent = this;
}

TXmlNode* TXmlNode::AddChild(std::string_view name) {
  TXmlNode* child = Create(*m_arena);
  child->SetNodeName(name);
  AppendChild(child);
  return child;
}

TXmlNode* TXmlNode::Find(std::string_view name) const {
  for (TXmlNode* c : m_children)
    if (SameXmlName(c->NodeName(), name)) return c;
  return nullptr;
}

TXmlNode* TXmlNode::Find(std::string_view name, std::string_view attribute) const {
  for (TXmlNode* c : m_children)
    if (SameXmlName(c->NodeName(), name) && c->HasAttribute(attribute)) return c;
  return nullptr;
}

TXmlNode* TXmlNode::Find(std::string_view name, std::string_view attribute,
                         std::string_view value) const {
  for (TXmlNode* c : m_children) {
    if (!SameXmlName(c->NodeName(), name)) continue;
    const TXmlAttribute* a = c->m_attributes.Find(attribute);
    if (a && a->Value() == value) return c;
  }
  return nullptr;
}

std::vector<TXmlNode*> TXmlNode::FindNodes(std::string_view name) const {
  std::vector<TXmlNode*> found;
  for (TXmlNode* c : m_children)
    if (SameXmlName(c->NodeName(), name)) found.push_back(c);
  return found;
}

std::string_view TXmlNode::GetAttribute(std::string_view name) const {
  const TXmlAttribute* a = m_attributes.Find(name);
  return a ? a->Value() : std::string_view();
}

TXmlNode* TXmlNode::SetAttribute(std::string_view name, std::string_view value) {
  TXmlAttribute* a = const_cast<TXmlAttribute*>(m_attributes.Find(name));
  if (!a) {
    TXmlAttributeList& list = m_attributes;
    if (list.m_count == list.m_capacity) {
      const uint32_t capacity = list.m_capacity ? list.m_capacity * 2 : 4;
      TXmlAttribute* items = m_arena->AllocateArray<TXmlAttribute>(capacity);
      std::copy(list.m_items, list.m_items + list.m_count, items);
      list.m_items = items;
      list.m_capacity = capacity;
    }
    a = &list.m_items[list.m_count++];
  }
  a->m_name = TXmlString(m_arena->Copy(name));
  a->m_value = TXmlString(m_arena->Copy(value));
  return this;
}

// --- reader ----------------------------------------------------------------------

// One pass over the text. State that carries from one piece of markup to the
// next: the open element (m_current) and whether the text up to the next "<"
// belongs to it (m_inText). Each tag is scanned once, its pieces noted as
// positions, and only the pieces that hold references or white space to
// normalise are rewritten, in place.
class TXmlReader {
 public:
  TXmlReader(TXMLDocument& doc, TXmlArena& arena)
      : m_doc(doc), m_arena(arena), m_buf(arena.Source.data()), m_n(arena.Source.size()) {}

  void Run() {
    const std::string_view s(m_buf, m_n);
    size_t p = 0;
    while (p < m_n) {
      const void* hit = std::memchr(m_buf + p, '<', m_n - p);
      if (!hit) break;  // text without a following "<" is never stored
      const size_t lt = size_t(static_cast<const char*>(hit) - m_buf);
      if (m_inText) {
        if (m_current) m_current->m_text = TXmlString(TextInPlace(p, lt));
        m_inText = false;
      }
      p = lt;
      const std::string_view rest = s.substr(p);
      if (StartsWith(rest, "<!--")) {
        const size_t end = s.find("-->", p + 4);
        if (end == std::string_view::npos) break;
        p = end + 3;
      } else if (StartsWith(rest, "<![CDATA[")) {
        const size_t end = s.find("]]>", p + 9);
        if (end == std::string_view::npos) break;
        if (m_current) {
          if (!CountNode()) break;
          TXmlNode* node = TXmlNode::Create(m_arena);
          node->m_name = TXmlString(kCdataName);
          node->m_text = TXmlString(s.substr(p + 9, end - p - 9));
          m_current->AppendChild(node);
        }
        p = end + 3;
      } else if (StartsWith(rest, "<!")) {
        const size_t end = EndOfDeclaration(p + 2);
        if (end == std::string_view::npos) break;
        p = end + 1;
      } else if (StartsWith(rest, "<?")) {
        size_t k = p + 2;
        while (k < m_n && !IsXmlSpace(m_buf[k]) && m_buf[k] != '?' && m_buf[k] != '>') ++k;
        if (!m_current && SameXmlName(s.substr(p + 2, k - p - 2), "xml")) {
          const size_t end = ScanTag(p + 1, '?');
          if (end == std::string_view::npos) break;
          if (!ReadDeclaration()) break;
          p = end + 1;
        } else {
          const size_t end = s.find("?>", p + 2);
          if (end == std::string_view::npos) break;
          p = end + 2;
        }
      } else if (p + 1 < m_n && m_buf[p + 1] == '/') {
        const size_t end = EndOfTag(p + 2);
        if (end == std::string_view::npos) break;
        if (m_current) m_current = m_current->m_parent;  // no text is collected after a closing tag
        p = end + 1;
      } else {
        const size_t end = ScanTag(p + 1, '/');
        if (end == std::string_view::npos) break;  // an unfinished tag is dropped
        if (!ReadElement()) break;
        p = end + 1;
      }
    }
  }

 private:
  struct Range {
    size_t begin = 0, end = 0;
    bool special = false;  // holds a character that decoding changes
  };
  struct Piece {
    Range name, value;
    bool hasValue = false;
  };

  static bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
  }

  // The ">" that ends the tag whose text starts at i; a ">" between double
  // quotes does not count.
  size_t EndOfTag(size_t i) const {
    bool quoted = false;
    for (; i < m_n; ++i) {
      const char c = m_buf[i];
      if (c == '>') {
        if (!quoted) return i;
      } else if (c == '"') {
        quoted = !quoted;
      }
    }
    return std::string_view::npos;
  }

  // The ">" that ends a "<!" declaration such as DOCTYPE: not inside quotes
  // (single or double), not inside the internal subset in brackets, not
  // inside a comment there.
  size_t EndOfDeclaration(size_t i) const {
    const std::string_view s(m_buf, m_n);
    size_t depth = 0;
    char quote = 0;
    for (; i < m_n; ++i) {
      const char c = m_buf[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']') {
        if (depth) --depth;
      } else if (c == '<' && StartsWith(s.substr(i), "<!--")) {
        const size_t end = s.find("-->", i + 4);
        if (end == std::string_view::npos) return end;
        i = end + 2;
      } else if (c == '>' && depth == 0) {
        return i;
      }
    }
    return std::string_view::npos;
  }

  // Scans from i to the end of one piece: up to a character of stopClass
  // (or "=" when stopAtEquals) outside double quotes, or the ">" that ends
  // the tag. Notes whether the piece holds a special character.
  size_t ScanPiece(size_t i, bool stopAtEquals, bool& quoted, Range& range) const {
    range.begin = i;
    range.special = false;
    for (;;) {
      // Most characters of a tag matter to nobody: skip them in a tight loop.
      while (i + 4 <= m_n && !((ClassOf(m_buf[i]) | ClassOf(m_buf[i + 1]) | ClassOf(m_buf[i + 2]) |
                                ClassOf(m_buf[i + 3])) & kTagClass))
        i += 4;
      while (i < m_n && !(ClassOf(m_buf[i]) & kTagClass)) ++i;
      if (i >= m_n) break;
      const char c = m_buf[i];
      const uint8_t cls = ClassOf(c);
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && ((cls & kSpaceClass) || c == '>' || (stopAtEquals && c == '='))) {
        break;
      } else if (cls & kSpecialClass) {
        range.special = true;
      }
      ++i;
    }
    range.end = i;
    return i;
  }

  size_t SkipSpaces(size_t i) const {
    while (i < m_n && (ClassOf(m_buf[i]) & kSpaceClass)) ++i;
    return i;
  }

  // Scans the tag whose text starts at i into m_name and m_pieces and returns
  // the position of its ">" (npos when there is none). White space separates
  // outside double quotes. When the tag text ends with closer ("/" for an
  // element, "?" for the declaration) that character is taken off first, as
  // if it had not been there; m_closed tells whether it was.
  size_t ScanTag(size_t i, char closer) {
    bool quoted = false;
    m_pieces.clear();
    i = ScanPiece(i, false, quoted, m_name);
    const size_t tagBegin = m_name.begin;
    while (i < m_n && m_buf[i] != '>') {
      i = SkipSpaces(i);
      if (i >= m_n || m_buf[i] == '>') break;
      Piece piece;
      i = ScanPiece(i, true, quoted, piece.name);
      const size_t afterName = SkipSpaces(i);
      if (afterName < m_n && m_buf[afterName] == '=') {
        piece.hasValue = true;
        i = SkipSpaces(afterName + 1);
        i = ScanPiece(i, false, quoted, piece.value);
      } else {
        i = afterName;
      }
      m_pieces.push_back(piece);
    }
    if (i >= m_n) return std::string_view::npos;
    m_closed = i > tagBegin && m_buf[i - 1] == closer;
    if (m_closed) {
      // Whatever ends at the closer loses it; a bare piece that was nothing
      // but the closer goes.
      Range& last = m_pieces.empty()            ? m_name
                    : m_pieces.back().hasValue ? m_pieces.back().value
                                               : m_pieces.back().name;
      if (last.end == i) {
        --last.end;
        if (!m_pieces.empty() && !m_pieces.back().hasValue && last.begin == last.end) m_pieces.pop_back();
      }
    }
    return i;
  }

  std::string_view InPlace(const Range& r, TPieceKind kind) {
    if (!r.special) return {m_buf + r.begin, r.end - r.begin};
    return {m_buf + r.begin, DecodeInPlace(m_buf, r.begin, r.end, kind) - r.begin};
  }

  // Text content: line breaks removed, then leading spaces dropped, then
  // references decoded. Leading spaces go before decoding, so a space written
  // as &#32; stays.
  std::string_view TextInPlace(size_t b, size_t e) {
    while (b < e && (m_buf[b] == ' ' || m_buf[b] == '\r' || m_buf[b] == '\n')) ++b;
    if (b == e) return {};
    for (size_t i = b; i < e; ++i) {
      const char c = m_buf[i];
      if (c == '&' || c == '\r' || c == '\n')
        return {m_buf + b, DecodeInPlace(m_buf, b, e, TPieceKind::Text) - b};
    }
    return {m_buf + b, e - b};
  }

  bool CountNode() {
    if (m_nodes >= m_doc.Limits.MaxNodes) {
      m_doc.m_limitReached = true;
      return false;
    }
    ++m_nodes;
    return true;
  }

  // A new node from m_name and m_pieces; null when a limit stops the reading.
  TXmlNode* BuildNode(bool declaration) {
    if (!CountNode()) return nullptr;
    if (m_attributes + m_pieces.size() > m_doc.Limits.MaxAttributes) {
      m_doc.m_limitReached = true;
      return nullptr;
    }
    m_attributes += m_pieces.size();
    TXmlNode* node = TXmlNode::Create(m_arena);
    node->m_name = TXmlString(InPlace(m_name, TPieceKind::Name));
    if (m_pieces.empty()) return node;
    TXmlAttributeList& list = node->m_attributes;
    list.m_items = m_arena.AllocateArray<TXmlAttribute>(m_pieces.size());
    list.m_capacity = uint32_t(m_pieces.size());
    for (const Piece& piece : m_pieces) {
      const std::string_view name = InPlace(piece.name, TPieceKind::Name);
      // The writer's own form ends the declaration with " ?"; a lone "?" is
      // not a pseudo-attribute.
      if (declaration && name == "?") continue;
      Range value = piece.value;
      if (value.end > value.begin && m_buf[value.begin] == '"') {
        ++value.begin;
        if (value.end > value.begin && m_buf[value.end - 1] == '"') --value.end;
      }
      TXmlAttribute& a = list.m_items[list.m_count++];
      a.m_name = TXmlString(name);
      a.m_value = TXmlString(InPlace(value, TPieceKind::Value));
    }
    return node;
  }

  bool ReadDeclaration() {
    TXmlNode* header = BuildNode(true);
    if (!header) return false;
    m_doc.m_header = header;
    m_inText = false;
    return true;
  }

  bool ReadElement() {
    TXmlNode* node = BuildNode(false);
    if (!node) return false;
    TXmlNode* parent = m_current;
    if (parent) {
      parent->AppendChild(node);
    } else {
      m_doc.m_root = node;  // a later top-level element replaces an earlier one
    }
    // After a self-closing element the text that follows belongs to its parent.
    m_current = m_closed ? parent : node;
    m_inText = true;
    return true;
  }

  TXMLDocument& m_doc;
  TXmlArena& m_arena;
  char* m_buf;
  size_t m_n;
  TXmlNode* m_current = nullptr;
  bool m_inText = false;
  size_t m_nodes = 0;
  size_t m_attributes = 0;
  Range m_name;
  bool m_closed = false;
  std::vector<Piece> m_pieces;
};

// --- writer ----------------------------------------------------------------------

namespace {

void AppendEscapedValue(std::string& out, std::string_view s) {
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char* rep;
    switch (s[i]) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      case '"': rep = "&quot;"; break;
      // The reader turns raw white space in values into spaces.
      case '\t': rep = "&#9;"; break;
      case '\n': rep = "&#10;"; break;
      case '\r': rep = "&#13;"; break;
      default: continue;
    }
    out.append(s.substr(run, i - run));
    out += rep;
    run = i + 1;
  }
  out.append(s.substr(run));
}

void AppendEscapedText(std::string& out, std::string_view s) {
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char* rep;
    switch (s[i]) {
      case '&': rep = "&amp;"; break;
      case '<': rep = "&lt;"; break;
      case '>': rep = "&gt;"; break;
      // The reader drops raw line breaks in text, and spaces at its start.
      case '\n': rep = "&#10;"; break;
      case '\r': rep = "&#13;"; break;
      case ' ':
        if (i != 0) continue;
        rep = "&#32;";
        break;
      default: continue;
    }
    out.append(s.substr(run, i - run));
    out += rep;
    run = i + 1;
  }
  out.append(s.substr(run));
}

class TXmlWriter {
 public:
  TXmlWriter(std::string& out, const std::string& ident) : m_out(out), m_ident(ident) {}

  void WriteHeader(const TXmlNode& header) {
    OpenTag(header);
    m_out += " ?>";
    AppendEscapedText(m_out, header.Text());
    if (header.ChildNodes().IsEmpty() && !header.Text().empty()) CloseTag(header);
    EndLine();
    for (const TXmlNode* child : header.ChildNodes()) WriteTree(*child, 1);
  }

  // Writes node and its subtree, the node itself indented by depth steps.
  void WriteTree(const TXmlNode& node, int depth) {
    struct Frame {
      const TXmlNode* node;
      int next;
      int depth;
      bool compact;       // the node itself is written inside a one-line subtree
      bool childCompact;  // its children are
    };
    std::vector<Frame> stack;
    auto open = [&](const TXmlNode& n, int d, bool compact, bool parentHasText) {
      if (IsCdataForm(n)) {
        if (!compact) Indent(d);
        m_out += "<![CDATA[";
        m_out += n.Text();
        m_out += "]]>";
        if (!compact) EndLine();
        return;
      }
      if (!compact) Indent(d);
      OpenTag(n);
      if (n.ChildNodes().IsEmpty()) {
        if (n.Text().empty() && !parentHasText) {
          // Text after a self-closing child would replace the parent's text.
          m_out += " />";
        } else {
          m_out += '>';
          AppendEscapedText(m_out, n.Text());
          CloseTag(n);
        }
        if (!compact) EndLine();
        return;
      }
      m_out += '>';
      AppendEscapedText(m_out, n.Text());
      const bool childCompact = compact || !n.Text().empty() || m_ident.empty();
      if (!childCompact) EndLine();
      stack.push_back(Frame{&n, 0, d, compact, childCompact});
    };

    open(node, depth, false, false);
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next < f.node->ChildNodes().Count()) {
        const TXmlNode& child = *f.node->ChildNodes()[f.next++];
        const bool parentHasText = !f.node->Text().empty();
        open(child, f.depth + 1, f.childCompact, parentHasText);  // may grow the stack: f is not used after
        continue;
      }
      if (!f.childCompact) Indent(f.depth);
      CloseTag(*f.node);
      if (!f.compact) EndLine();
      stack.pop_back();
    }
  }

 private:
  // The reader makes such a node of every CDATA section; one that cannot be
  // written as a section is written as an element of that name.
  static bool IsCdataForm(const TXmlNode& n) {
    return n.NodeName() == kCdataName && n.Parent() && n.AttributeList().Count() == 0 &&
           n.ChildNodes().IsEmpty() && n.Text().find("]]>") == std::string_view::npos;
  }

  void OpenTag(const TXmlNode& n) {
    m_out += '<';
    m_out += n.NodeName();
    for (const TXmlAttribute& a : n.AttributeList()) {
      m_out += ' ';
      m_out += a.Name();
      m_out += "=\"";
      AppendEscapedValue(m_out, a.Value());
      m_out += '"';
    }
    // "<a/>" would read as a self-closing "a".
    if (n.AttributeList().Count() == 0 && !n.NodeName().empty() && n.NodeName().back() == '/') m_out += ' ';
  }

  void CloseTag(const TXmlNode& n) {
    m_out += "</";
    m_out += n.NodeName();
    m_out += '>';
  }

  void Indent(int depth) {
    if (m_ident.empty()) return;
    for (int k = std::min(depth, TXMLDocument::kMaxIndentDepth); k > 0; --k) m_out += m_ident;
  }

  void EndLine() {
    if (!m_ident.empty()) m_out += "\r\n";
  }

  std::string& m_out;
  const std::string& m_ident;
};

}  // namespace

// --- document --------------------------------------------------------------------

TXMLDocument::TXMLDocument() { Clear(); }

TXMLDocument::~TXMLDocument() = default;

void TXMLDocument::Clear() {
  m_arena = std::make_unique<TXmlArena>();
  m_root = TXmlNode::Create(*m_arena);
  m_header = TXmlNode::Create(*m_arena);
  m_header->SetNodeName("?xml");
  m_header->SetAttribute("version", "1.0");
  Ident = "  ";
  m_limitReached = false;
}

void TXMLDocument::LoadFromBytes(std::string_view bytes) { Load(bytes, nullptr); }

void TXMLDocument::Load(std::string_view bytes, std::string* owned) {
  Clear();
  m_root = nullptr;
  auto starts = [&](std::string_view mark) {
    return bytes.size() >= mark.size() && bytes.compare(0, mark.size(), mark) == 0;
  };
  std::string& text = m_arena->Source;
  if (starts("\xEF\xBB\xBF")) {
    const std::string_view body = bytes.substr(3);
    const size_t bad = FirstInvalidUtf8(body);
    if (bad == body.size())
      text.assign(body);
    else
      text = RepairUtf8(body, bad);
  } else if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    text = Utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
  } else if (FirstInvalidUtf8(bytes) == bytes.size()) {
    if (owned)
      text = std::move(*owned);  // the bytes are the text: no copy
    else
      text.assign(bytes);
  } else {
    text = Cp1252ToUtf8(bytes);
  }
  TXmlReader(*this, *m_arena).Run();
}

namespace {

// Everything from the stream's position to its end; EXmlFileError when the
// stream fails on the way.
std::string ReadToEnd(std::istream& in, const std::string& what) {
  constexpr size_t kChunk = size_t(1) << 16;
  std::string bytes;
  size_t used = 0;
  for (;;) {
    bytes.resize(used + kChunk);
    in.read(bytes.data() + used, std::streamsize(kChunk));
    used += size_t(in.gcount());
    if (!in) break;
  }
  if (in.bad()) throw EXmlFileError("Cannot read " + what);
  bytes.resize(used);
  return bytes;
}

}  // namespace

void TXMLDocument::LoadFromStream(std::istream& stream) {
  std::string bytes = ReadToEnd(stream, "the XML stream");
  Load(bytes, &bytes);
}

void TXMLDocument::LoadFromFile(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw EXmlFileError("Cannot open file \"" + fileName + "\": " + std::strerror(errno));
  std::string bytes = ReadToEnd(file, "file \"" + fileName + "\"");
  Load(bytes, &bytes);
}

std::string TXMLDocument::SaveToBytes() const {
  std::string out;
  if (SameXmlName(m_header->GetAttribute("encoding"), "utf-8")) out = "\xEF\xBB\xBF";
  TXmlWriter writer(out, Ident);
  writer.WriteHeader(*m_header);
  if (m_root) writer.WriteTree(*m_root, 0);
  return out;
}

void TXMLDocument::SaveToStream(std::ostream& stream) const {
  const std::string bytes = SaveToBytes();
  stream.write(bytes.data(), std::streamsize(bytes.size()));
  if (!stream) throw EXmlFileError("Cannot write the XML stream");
}

void TXMLDocument::SaveToFile(const std::string& fileName) const {
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file) throw EXmlFileError("Cannot create file \"" + fileName + "\": " + std::strerror(errno));
  const std::string bytes = SaveToBytes();
  file.write(bytes.data(), std::streamsize(bytes.size()));
  file.close();
  if (!file) throw EXmlFileError("Cannot write file \"" + fileName + "\"");
}

// --- comparison ------------------------------------------------------------------

std::string XmlTreeDifference(const TXmlNode* a, const TXmlNode* b) {
  if (!a || !b) return (a == b) ? std::string() : std::string(a ? "second tree is null" : "first tree is null");
  auto path = [](const TXmlNode* n) {
    std::vector<std::string_view> names;
    for (; n; n = n->Parent()) names.push_back(n->NodeName());
    std::string p;
    for (auto it = names.rbegin(); it != names.rend(); ++it) (p += '/') += *it;
    return p;
  };
  auto quoted = [](std::string_view s) { return "\"" + std::string(s) + "\""; };
  struct Pair {
    const TXmlNode* a;
    const TXmlNode* b;
  };
  std::vector<Pair> pending{{a, b}};
  while (!pending.empty()) {
    const Pair p = pending.back();
    pending.pop_back();
    auto where = [&] { return " at " + path(p.a); };
    if (p.a->NodeName() != p.b->NodeName())
      return "name " + quoted(p.a->NodeName()) + " vs " + quoted(p.b->NodeName()) + where();
    if (p.a->Text() != p.b->Text()) return "text " + quoted(p.a->Text()) + " vs " + quoted(p.b->Text()) + where();
    const TXmlAttributeList& aa = p.a->AttributeList();
    const TXmlAttributeList& ba = p.b->AttributeList();
    if (aa.Count() != ba.Count())
      return std::to_string(aa.Count()) + " vs " + std::to_string(ba.Count()) + " attributes" + where();
    for (int i = 0; i < aa.Count(); ++i) {
      if (aa[i].Name() != ba[i].Name() || aa[i].Value() != ba[i].Value())
        return "attribute " + std::string(aa[i].Name()) + "=" + quoted(aa[i].Value()) + " vs " +
               std::string(ba[i].Name()) + "=" + quoted(ba[i].Value()) + where();
    }
    const int n = p.a->ChildNodes().Count();
    if (n != p.b->ChildNodes().Count())
      return std::to_string(n) + " vs " + std::to_string(p.b->ChildNodes().Count()) + " children" + where();
    for (int i = n - 1; i >= 0; --i) pending.push_back({p.a->ChildNodes()[i], p.b->ChildNodes()[i]});
  }
  return {};
}

}  // namespace karto
