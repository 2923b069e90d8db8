#include "xml/XmlDoc.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <fstream>
#include <initializer_list>
#include <istream>
#include <ostream>
#include <unordered_map>

namespace karto {

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr char32_t kReplacementChar = 0xFFFD;

inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Whether s starts with the literal prefix. The reader asks this for every
// piece of markup: with the length known, it compiles to a few compares
// rather than a call to memcmp.
template <size_t N>
[[gnu::always_inline]] inline bool StartsWith(std::string_view s, const char (&prefix)[N]) {
  if (s.size() < N - 1) return false;
  for (size_t i = 0; i + 1 < N; ++i)
    if (s[i] != prefix[i]) return false;
  return true;
}

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

// The single-byte encodings a file that is not UTF-8 may name.
enum class TSingleByte { Windows1252, Windows1251, Latin9 };

// Windows-1252 for 0x80 to 0x9F; the five unassigned bytes keep their C1 code.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Windows-1251 for 0x80 to 0xBF (0xC0 to 0xFF are U+0410 to U+044F in order);
// the unassigned 0x98 keeps its C1 code.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t SingleByteCodePoint(unsigned char c, TSingleByte encoding) {
  switch (encoding) {
    case TSingleByte::Windows1252:
      return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
    case TSingleByte::Windows1251:
      if (c < 0x80) return c;
      return c < 0xC0 ? kCp1251High[c - 0x80] : char32_t(0x0410 + (c - 0xC0));
    case TSingleByte::Latin9:
      // ISO-8859-1 but for the euro sign and seven letters.
      switch (c) {
        case 0xA4: return 0x20AC;
        case 0xA6: return 0x0160;
        case 0xA8: return 0x0161;
        case 0xB4: return 0x017D;
        case 0xB8: return 0x017E;
        case 0xBC: return 0x0152;
        case 0xBD: return 0x0153;
        case 0xBE: return 0x0178;
        default: return c;
      }
  }
  return c;
}

std::string SingleByteToUtf8(std::string_view text, TSingleByte encoding) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80)
      out += ch;
    else
      AppendUtf8(out, SingleByteCodePoint(c, encoding));
  }
  return out;
}

// The single-byte encoding named by the "encoding" of an XML declaration at
// the start of bytes; Windows-1252 when there is none or it names another
// one. Only looked for once the bytes are known not to be UTF-8.
TSingleByte DeclaredSingleByte(std::string_view bytes) {
  if (!StartsWith(bytes, "<?xml")) return TSingleByte::Windows1252;
  const std::string_view declaration = bytes.substr(0, std::min(bytes.find("?>"), size_t(1024)));
  size_t i = declaration.find("encoding");
  if (i == npos) return TSingleByte::Windows1252;
  i += 8;
  while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
  if (i >= declaration.size() || declaration[i] != '=') return TSingleByte::Windows1252;
  ++i;
  while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
  if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return TSingleByte::Windows1252;
  const size_t close = declaration.find(declaration[i], i + 1);
  if (close == npos) return TSingleByte::Windows1252;
  const std::string_view label = declaration.substr(i + 1, close - i - 1);
  for (std::string_view name : {"windows-1251", "cp1251", "x-cp1251"})
    if (SameXmlName(label, name)) return TSingleByte::Windows1251;
  for (std::string_view name : {"iso-8859-15", "iso8859-15", "iso_8859-15", "iso885915", "latin-9", "latin9", "l9"})
    if (SameXmlName(label, name)) return TSingleByte::Latin9;
  return TSingleByte::Windows1252;
}

// --- UTF-8 text to the bytes a declaration names ---------------------------------

// The "encoding" of a declaration as the writer can honour it.
enum class TWrittenEncoding { Utf8, Ascii, Latin1, SingleByte, Other };

TWrittenEncoding WrittenEncoding(std::string_view label, TSingleByte& table) {
  auto any = [&](std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
      if (SameXmlName(label, name)) return true;
    return false;
  };
  if (label.empty() || any({"utf-8", "utf8"})) return TWrittenEncoding::Utf8;
  if (any({"us-ascii", "ascii"})) return TWrittenEncoding::Ascii;
  if (any({"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1"})) return TWrittenEncoding::Latin1;
  table = TSingleByte::Windows1252;
  if (any({"windows-1252", "cp1252"})) return TWrittenEncoding::SingleByte;
  table = TSingleByte::Windows1251;
  if (any({"windows-1251", "cp1251", "x-cp1251"})) return TWrittenEncoding::SingleByte;
  table = TSingleByte::Latin9;
  if (any({"iso-8859-15", "iso8859-15", "iso_8859-15", "iso885915", "latin-9", "latin9", "l9"}))
    return TWrittenEncoding::SingleByte;
  return TWrittenEncoding::Other;
}

// text (UTF-8) in a single-byte encoding; false when it holds a character the
// encoding lacks, or bytes that are no UTF-8. ISO-8859-1 leaves out 0x80 to
// 0x9F, which readers take either as controls or as Windows-1252.
bool EncodeSingleByte(std::string_view text, TWrittenEncoding kind, TSingleByte table, std::string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  out.clear();
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      out += char(s[i++]);
      continue;
    }
    const size_t len = Utf8SequenceLength(s, n, i);
    if (len == 0) return false;
    char32_t cp = s[i] & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += len;
    int byte = -1;
    if (kind == TWrittenEncoding::Latin1) {
      if (cp >= 0xA0 && cp <= 0xFF) byte = int(cp);
    } else if (kind == TWrittenEncoding::SingleByte) {
      for (int c = 0x80; c <= 0xFF && byte < 0; ++c)
        if (SingleByteCodePoint(static_cast<unsigned char>(c), table) == cp) byte = c;
    }
    if (byte < 0) return false;
    out += char(byte);
  }
  return true;
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

bool IsPredefinedEntity(std::string_view name) {
  return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}


// The text of the "&..." that failed to decode at s, for a message: up to its
// ";" or a few characters.
std::string ReferenceText(std::string_view s) {
  const size_t semi = s.substr(0, 2 + kMaxReferenceBody).find(';');
  if (semi != npos) return std::string(s.substr(0, semi + 1));
  size_t n = 1;
  while (n < s.size() && n < 12 && !IsXmlSpace(s[n]) && s[n] != '<' && s[n] != '&') ++n;
  return std::string(s.substr(0, n));
}

// --- in-place decoding -------------------------------------------------------------
//
// Every change below makes the text shorter or keeps its length (a reference
// is longer than its UTF-8, a CR LF pair becomes one character), so the
// reader decodes inside the document's copy of the text and never allocates
// a string.

enum class TPieceKind { Name, Value, Text };

// Character classes for the scanners.
enum : uint8_t {
  kSpaceClass = 1,    // space, tab, CR, LF: separates inside tags
  kSpecialClass = 2,  // "&", tab, CR, LF: a piece holding one needs decoding
  kTagClass = 4,      // anything a tag scanner must look at
  kNameStartClass = 8,  // may start an XML name (ASCII checked; any byte of a multi-byte character passes)
  kNameClass = 16,      // may stand inside an XML name
  kQuotedClass = 32,    // anything a scanner must look at between quotes
  kQuoteClass = 64,     // the two quote characters
};

constexpr auto kClasses = [] {
  struct Table {
    uint8_t c[256];
  } t{};
  for (unsigned char ch : {' ', '\t', '\r', '\n'}) t.c[ch] |= kSpaceClass;
  for (unsigned char ch : {'&', '\t', '\r', '\n'}) t.c[ch] |= kSpecialClass;
  for (unsigned char ch : {' ', '\t', '\r', '\n', '&', '"', '\'', '>', '=', '<'}) t.c[ch] |= kTagClass;
  for (unsigned char ch : {'"', '\'', '<', '&', '\t', '\r', '\n'}) t.c[ch] |= kQuotedClass;
  for (unsigned char ch : {'"', '\''}) t.c[ch] |= kQuoteClass;
  for (int ch = 0; ch < 256; ++ch) {
    const bool start = ch >= 0x80 || ch == '_' || ch == ':' || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    if (start) t.c[ch] |= kNameStartClass | kNameClass;
    if ((ch >= '0' && ch <= '9') || ch == '-' || ch == '.') t.c[ch] |= kNameClass;
  }
  return t;
}();

inline uint8_t ClassOf(char c) { return kClasses.c[static_cast<unsigned char>(c)]; }
inline bool CannotStartName(char c) { return !(ClassOf(c) & kNameStartClass); }
inline bool IsNameChar(char c) { return ClassOf(c) & kNameClass; }

// Decodes buf[b, e) in place and returns the new end. Each "&" that starts no
// reference it knows stays as written and is shown to unresolved(position)
// while the text there is still as read.
//  Name:  a line break (CR LF counting as one) becomes a space.
//  Value: every white space character becomes a space (CR LF one space);
//         references are decoded.
//  Text:  a line break (CR LF, lone CR, LF) becomes LF; references are
//         decoded.
template <class Unresolved>
size_t DecodeInPlace(char* buf, size_t b, size_t e, TPieceKind kind, Unresolved&& unresolved) {
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
      // Writing lags reading: the text from r on is as read.
      unresolved(r);
    } else if (c == '\r' || c == '\n') {
      r += (c == '\r' && r + 1 < e && buf[r + 1] == '\n') ? 2 : 1;
      buf[w++] = kind == TPieceKind::Text ? '\n' : ' ';
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

// Counts lines and columns over text, as an error position needs them: a
// line ends at LF, CR LF or a lone CR; a column is one character (the bytes
// of a UTF-8 sequence after its first do not count).
class TPositionCounter {
 public:
  void Add(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const char c = s[i];
      if (c == '\n') {
        if (!m_afterCr) NewLine();
        m_afterCr = false;
      } else if (c == '\r') {
        NewLine();
        m_afterCr = true;
      } else {
        m_afterCr = false;
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++m_column;
      }
    }
  }
  int Line() const { return int(std::min<size_t>(m_line, INT_MAX)); }
  int Column() const { return int(std::min<size_t>(m_column, INT_MAX)); }

 private:
  void NewLine() {
    ++m_line;
    m_column = 1;
  }
  size_t m_line = 1;
  size_t m_column = 1;
  bool m_afterCr = false;
};

// A name or other piece of markup for a message: at most 40 characters, cut
// at a character boundary.
std::string Clip(std::string_view s) {
  constexpr size_t kMax = 40;
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
    if (++chars > kMax) return std::string(s.substr(0, i)) + "...";
  }
  return std::string(s);
}

std::string Quote(std::string_view s) { return "\"" + Clip(s) + "\""; }

}  // namespace

// --- arena ----------------------------------------------------------------------------

// Memory for one document: the decoded text, in which the reader leaves the
// strings it finds, and blocks for nodes, attribute arrays, child arrays and
// edited strings. Everything is released together.
class TXmlArena {
 public:
  std::string Source;
  // The text after entity expansion, when the reader made one; Source stays,
  // because what was read before points into it.
  std::string Expanded;

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
// next: the open element (m_current), whether the text up to the next "<"
// belongs to it (m_inText), and the outermost open element with mixed
// content (m_mixedRoot). Each tag is scanned once, its pieces noted as
// positions, and only the pieces that hold references or white space to
// normalise are rewritten, in place.
//
// Error positions. In-place decoding rewrites the text before the place where
// a later error is found (a value loses its line breaks, a reference
// shrinks), but it never moves anything outside the piece it decodes. So,
// until the first error, each decoded piece is saved as it stood (m_edits,
// m_saved); the line and column of an error are then counted over the text
// as read, with the saved pieces put back. Nothing else is counted on the
// way, and after the first error nothing more is saved.
//
// Entities. Expanding them means a pass over the whole text, which a
// document that only declares entities (as many drawing programs' files do)
// should not pay for. Every "&" in content and in values comes past the
// reader anyway; so the first read only notes the declarations, and stops
// when it meets a reference to one of them (NeedsExpansion). Its journal of
// decoded pieces, kept whole while entities may still come, then gives back
// the text as read (RestoreText), and a second read expands the entities
// right after the document type and reads the result.
class TXmlReader {
 public:
  TXmlReader(TXMLDocument& doc, TXmlArena& arena, bool expandEntities, TXmlHandler* sink = nullptr)
      : m_sink(sink),
        m_doc(doc),
        m_arena(arena),
        m_buf(arena.Source.data()),
        m_n(arena.Source.size()),
        m_mixedNames(doc.MixedContentElements),
        m_expandEntities(expandEntities),
        m_keepJournal(!expandEntities) {}

  bool NeedsExpansion() const { return m_needsExpansion; }

  // Puts every piece decoded in place back as it was read.
  void RestoreText() {
    for (const Edit& edit : m_edits) std::memcpy(m_buf + edit.begin, m_saved.data() + edit.saved, edit.end - edit.begin);
  }

  void Run() {
    size_t p = 0;
    bool complete = false;
    for (;;) {
      if (m_needsExpansion) return;
      if (p >= m_n) {
        complete = true;
        break;
      }
      const void* hit = std::memchr(m_buf + p, '<', m_n - p);
      if (!hit) {
        complete = true;  // text without a following "<" is never stored
        break;
      }
      const size_t lt = size_t(static_cast<const char*>(hit) - m_buf);
      if (!TakeRun(p, lt)) break;
      p = lt;
      // Rebuilt on every round: expanding entities replaces the text.
      const std::string_view s(m_buf, m_n);
      const std::string_view rest(m_buf + p, m_n - p);
      if (StartsWith(rest, "<!--")) {
        const size_t end = s.find("-->", p + 4);
        if (end == npos) {
          Fail(p, "The file ends inside a comment.");
          break;
        }
        p = end + 3;
      } else if (StartsWith(rest, "<![CDATA[")) {
        const size_t end = s.find("]]>", p + 9);
        if (end == npos) {
          Fail(p, "The file ends inside a CDATA section.");
          break;
        }
        if (m_current && m_sink) {
          m_sink->Characters(s.substr(p + 9, end - p - 9));
        } else if (m_current) {
          if (!CountNode()) break;
          TXmlNode* node = TXmlNode::Create(m_arena);
          node->m_name = TXmlString(kXmlCdataName);
          node->m_text = TXmlString(s.substr(p + 9, end - p - 9));
          m_current->AppendChild(node);
        } else if (!Failed()) {
          Fail(p, "A CDATA section stands outside the document element.");
        }
        p = end + 3;
      } else if (StartsWith(rest, "<!")) {
        const bool doctype = StartsWith(rest, "<!DOCTYPE");
        const size_t end = EndOfDeclaration(p + 2);
        if (end == npos) {
          Fail(p, doctype ? std::string("The file ends inside the document type declaration.")
                          : "The file ends inside the markup " + Quote(MarkupName(p)) + ".");
          break;
        }
        if (doctype)
          ReadDoctype(p, end);  // may replace the text from end on
        else if (!Failed())
          Fail(p, "The markup " + Quote(MarkupName(p)) + " is not allowed here.");
        p = end + 1;
      } else if (StartsWith(rest, "<?")) {
        size_t k = p + 2;
        while (k < m_n && !IsXmlSpace(m_buf[k]) && m_buf[k] != '?' && m_buf[k] != '>') ++k;
        const bool declaration = SameXmlName(s.substr(p + 2, k - p - 2), "xml");
        if (declaration && p != 0 && !Failed())
          Fail(p, "The XML declaration must stand at the very start of the file.");
        if (declaration && !m_current) {
          const size_t end = ScanTag(p + 1, '?');
          if (end == npos) {
            Fail(p, "The file ends inside the XML declaration.");
            break;
          }
          if (!ReadDeclaration(p)) break;
          p = end + 1;
        } else {
          const size_t end = s.find("?>", p + 2);
          if (end == npos) {
            Fail(p, "The file ends inside the processing instruction " + Quote(s.substr(p, k - p)) + ".");
            break;
          }
          p = end + 2;
        }
      } else if (p + 1 < m_n && m_buf[p + 1] == '/') {
        const size_t end = EndOfTag(p + 2);
        if (end == npos) {
          Fail(p, "The file ends inside the closing tag </" + Clip(ClosingName(p, m_n)) + ">.");
          break;
        }
        if (m_current) {
          if (!Failed()) CheckClosingTag(p, end);
          if (m_current == m_mixedRoot) m_mixedRoot = nullptr;
          TXmlNode* closed = m_current;
          m_current = m_current->m_parent;  // no text is collected after a closing tag
          if (m_sink) Close(closed);
        } else if (!Failed()) {
          Fail(p, "The closing tag </" + Clip(ClosingName(p, end)) + "> has no open element.");
        }
        p = end + 1;
      } else {
        size_t end = ScanStrictTag(p + 1);
        if (end == kNotStrict) end = ScanTag(p + 1, '/');
        if (end == npos) {  // an unfinished tag is dropped
          Fail(p, "The file ends inside the tag <" + Clip(RawText(m_name)) + ">.");
          break;
        }
        if (!ReadElement(p)) break;
        p = end + 1;
      }
    }
    if (complete && m_watchEntities) CheckReferences(p, m_n);
    if (complete && !m_needsExpansion && !m_doc.m_limitReached && !Failed()) Finish(p);
  }

 private:
  struct Range {
    size_t begin = 0, end = 0;
    // The quote characters that opened or closed a quoted stretch (at most
    // 3 counted), and the flags below: one word, so that the check of a
    // well-formed piece is one comparison.
    uint32_t flags = 0;
    uint32_t Quotes() const { return flags & kQuoteCount; }
    bool Special() const { return flags & kSpecial; }
    bool Lt() const { return flags & kLt; }
  };
  static constexpr uint32_t kQuoteCount = 3;
  static constexpr uint32_t kSpecial = 4;  // holds a character that decoding changes
  static constexpr uint32_t kLt = 8;       // holds a "<"
  struct Piece {
    Range name, value;
    bool hasValue = false;
  };
  struct Edit {
    size_t begin, end;  // the decoded piece
    size_t saved;       // where its text as read starts in m_saved
  };
  struct Entity {
    std::string value;  // character references already decoded, as XML wants
    bool external = false;
  };

  // --- errors --------------------------------------------------------------------

  bool Failed() const { return m_doc.m_error.Present; }

  // Notes the error at text position pos unless an earlier one was noted.
  void Fail(size_t pos, std::string message) {
    TXmlError& error = m_doc.m_error;
    if (error.Present) return;
    pos = std::min(pos, m_n);
    TPositionCounter counter;
    size_t cursor = 0;
    for (const Edit& edit : m_edits) {
      if (edit.begin >= pos) break;
      counter.Add(m_buf + cursor, edit.begin - cursor);
      const size_t upTo = std::min(edit.end, pos);
      counter.Add(m_saved.data() + edit.saved, upTo - edit.begin);
      cursor = upTo;
    }
    if (cursor < pos) counter.Add(m_buf + cursor, pos - cursor);
    error.Present = true;
    error.Line = counter.Line();
    error.Column = counter.Column();
    error.Message = std::move(message);
    if (!m_keepJournal) DropJournal();
  }

  void DropJournal() {
    m_edits = {};
    m_saved = {};
  }

  // From here on no entity can be declared (the document element has begun)
  // or none was: the journal is only needed until the first error.
  void NoEntitiesToCome() {
    m_keepJournal = false;
    if (Failed()) DropJournal();
  }

  // An "&" at pos that decoding could not resolve; the text ends at e.
  void Unresolved(size_t pos, size_t e) {
    if (m_watchEntities) {
      size_t length = 0;
      const int entity = EntityAt(std::string_view(m_buf, e), pos, length);
      if (entity >= 0 && !m_entities[size_t(entity)].external) {
        m_needsExpansion = true;
        return;
      }
    }
    if (!Failed()) ReportReference(pos, ReferenceText(std::string_view(m_buf + pos, e - pos)));
  }

  static bool IsName(std::string_view s) {
    if (s.empty() || CannotStartName(s[0])) return false;
    for (char c : s)
      if (!IsNameChar(c)) return false;
    return true;
  }

  // An "&" at pos that starts no reference the reader could decode; text is
  // what stands there.
  void ReportReference(size_t pos, std::string_view text) {
    if (Failed()) return;
    if (text.size() >= 2 && text[1] == '#') {
      Fail(pos, "The character reference " + Quote(text) + " does not stand for a character.");
      return;
    }
    if (text.size() >= 3 && text.back() == ';' && IsName(text.substr(1, text.size() - 2))) {
      // The external subset, which is not read, may declare it.
      if (m_externalDtd || m_entityIndex.count(text.substr(1, text.size() - 2))) return;
      Fail(pos, "The entity " + Quote(text) + " is not declared.");
      return;
    }
    Fail(pos, "A \"&\" starts no reference; write it as &amp;.");
  }

  // Checks the references in text that is not stored (after a closing tag).
  // Such runs are mostly a line break and indentation: a plain loop costs
  // less there than a call to memchr.
  void CheckReferences(size_t b, size_t e) {
    for (size_t k = b; k < e && !m_needsExpansion && (!Failed() || m_watchEntities); ++k) {
      if (m_buf[k] != '&') continue;
      char decoded[4];
      size_t length = 0;
      if (!DecodeReference(std::string_view(m_buf + k, e - k), decoded, length)) Unresolved(k, e);
    }
  }

  void CheckStrayText(size_t b, size_t e) {
    for (size_t i = b; i < e; ++i) {
      if (!IsXmlSpace(m_buf[i])) {
        Fail(i, "Text stands outside the document element.");
        return;
      }
    }
  }

  // What the end of a complete read finds wrong.
  void Finish(size_t p) {
    if (m_current) {
      Fail(TagStart(*m_current),
           "The file ends before the element <" + Clip(m_current->NodeName()) + "> is closed.");
    } else if (!m_doc.m_root) {
      Fail(m_n, "The file holds no element.");
    } else {
      CheckStrayText(p, m_n);
    }
  }

  // The "<" of the opening tag of a node read from the current text: its name
  // is a view that starts right after it.
  size_t TagStart(const TXmlNode& node) const {
    const char* name = node.NodeName().data();
    if (name > m_buf && name <= m_buf + m_n) return size_t(name - m_buf) - 1;
    return m_n;
  }

  std::string_view RawText(const Range& r) const { return {m_buf + r.begin, r.end - r.begin}; }

  size_t FirstLt(const Range& r) const {
    const void* hit = std::memchr(m_buf + r.begin, '<', r.end - r.begin);
    return hit ? size_t(static_cast<const char*>(hit) - m_buf) : r.begin;
  }

  // "<!NAME" of the markup declaration at p.
  std::string_view MarkupName(size_t p) const {
    size_t k = p + 2;
    while (k < m_n && k < p + 64 && !IsXmlSpace(m_buf[k]) && m_buf[k] != '>' && m_buf[k] != '[' && m_buf[k] != '<')
      ++k;
    return {m_buf + p, k - p};
  }

  // The name in the closing tag at p, whose text ends before end.
  std::string_view ClosingName(size_t p, size_t end) const {
    size_t k = p + 2;
    while (k < end && !IsXmlSpace(m_buf[k]) && m_buf[k] != '>' && m_buf[k] != '<') ++k;
    return {m_buf + p + 2, k - p - 2};
  }

  void CheckClosingTag(size_t p, size_t end) {
    const std::string_view name = ClosingName(p, end);
    if (name != m_current->NodeName()) {
      Fail(p, "The closing tag </" + Clip(name) + "> does not match the open element <" +
                  Clip(m_current->NodeName()) + ">.");
      return;
    }
    for (size_t k = p + 2 + name.size(); k < end; ++k) {
      if (!IsXmlSpace(m_buf[k])) {
        Fail(k, "The closing tag </" + Clip(name) + "> holds more than the element name.");
        return;
      }
    }
  }

  // A name is checked at its ends only: a full check of every character of
  // every name would cost the reader a noticeable share of its time.
  bool BadName(const Range& r) const {
    if (r.begin == r.end || r.Quotes()) return true;
    if (CannotStartName(m_buf[r.begin]) || !IsNameChar(m_buf[r.end - 1])) return true;
    return r.Special() && std::memchr(m_buf + r.begin, '&', r.end - r.begin);
  }

  // The index of the first attribute whose name (compared exactly, as XML
  // does) an earlier one has, or npos.
  size_t DuplicateAttribute(bool declaration) const {
    const size_t k = m_pieces.size();
    if (k < 2) return npos;
    auto name = [&](size_t i) { return RawText(m_pieces[i].name); };
    auto skipped = [&](size_t i) { return declaration && name(i) == "?"; };
    if (k <= 32) {
      for (size_t i = 1; i < k; ++i) {
        if (skipped(i)) continue;
        for (size_t j = 0; j < i; ++j)
          if (name(i) == name(j) && !skipped(j)) return i;
      }
      return npos;
    }
    // Many attributes: sorted, so that a hostile tag costs n log n.
    std::vector<std::pair<std::string_view, size_t>> sorted;
    sorted.reserve(k);
    for (size_t i = 0; i < k; ++i)
      if (!skipped(i)) sorted.emplace_back(name(i), i);
    std::sort(sorted.begin(), sorted.end());
    size_t first = npos;
    for (size_t i = 1; i < sorted.size(); ++i)
      if (sorted[i].first == sorted[i - 1].first) first = std::min(first, sorted[i].second);
    return first;
  }

  // The checks of a scanned tag, before its pieces are decoded.
  void CheckTag(bool declaration, size_t tagStart) {
    // A tag that ScanStrictTag could read breaks none of the rules below but
    // perhaps the one against duplicates.
    if (m_strict && !m_maybeDuplicate) return;
    auto tag = [&] { return declaration ? std::string("<?xml>") : "<" + Clip(RawText(m_name)) + ">"; };
    if (!declaration) {
      if (m_name.Lt()) {
        Fail(FirstLt(m_name), "A \"<\" stands inside the tag " + tag() + "; a \">\" may be missing before it.");
        return;
      }
      if (m_name.begin == m_name.end) {
        Fail(tagStart, "A tag has no name.");
        return;
      }
      if (BadName(m_name)) {
        Fail(m_name.begin, "The tag name " + Quote(RawText(m_name)) + " is not a valid XML name.");
        return;
      }
    }
    const size_t duplicate = DuplicateAttribute(declaration);
    for (size_t i = 0; i < m_pieces.size(); ++i) {
      const Piece& piece = m_pieces[i];
      const std::string_view name = RawText(piece.name);
      if (declaration && name == "?") continue;
      if (piece.name.Lt()) {
        Fail(FirstLt(piece.name), "A \"<\" stands inside the tag " + tag() + "; a \">\" may be missing before it.");
        return;
      }
      if (BadName(piece.name)) {
        Fail(piece.name.begin, name.empty() ? std::string("A value stands without an attribute name.")
                                            : "The attribute name " + Quote(name) + " is not a valid XML name.");
        return;
      }
      const Range& v = piece.value;
      if (!piece.hasValue || v.begin == v.end) {
        Fail(piece.hasValue ? v.begin : piece.name.begin, "The attribute " + Quote(name) + " has no value.");
        return;
      }
      const char q = m_buf[v.begin];
      if (q != '"' && q != '\'') {
        Fail(v.begin, "The value of the attribute " + Quote(name) + " is not in quotes.");
        return;
      }
      if (v.Quotes() != 2 || v.end - v.begin < 2 || m_buf[v.end - 1] != q) {
        const void* close = std::memchr(m_buf + v.begin + 1, q, v.end - v.begin - 1);
        const size_t after = close ? size_t(static_cast<const char*>(close) - m_buf) + 1 : v.end;
        Fail(after, "The attribute " + Quote(name) + " has more text after its closing quote.");
        return;
      }
      if (v.Lt()) {
        Fail(FirstLt(v), "The value of the attribute " + Quote(name) + " holds a \"<\"; write it as &lt;.");
        return;
      }
      if (i == duplicate) {
        Fail(piece.name.begin, "The attribute " + Quote(name) + " is given twice.");
        return;
      }
    }
  }

  // --- scanning --------------------------------------------------------------------

  // The ">" that ends the tag whose text starts at i; a ">" between quotes
  // does not count.
  size_t EndOfTag(size_t i) const {
    char quote = 0;
    for (; i < m_n; ++i) {
      const char c = m_buf[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        return i;
      }
    }
    return npos;
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
        if (end == npos) return end;
        i = end + 2;
      } else if (c == '>' && depth == 0) {
        return i;
      }
    }
    return npos;
  }

  // Skips from i, just after an opening quote q, to the closing quote (or the
  // end of the text), noting special characters and "<" on the way. Inside
  // quotes white space, "=", ">" and the other quote are ordinary, so values
  // such as path data go by in the tight loop.
  [[gnu::always_inline]] size_t SkipQuoted(size_t i, char q, bool& special, bool& lt) const {
    for (;;) {
      while (i + 4 <= m_n && !((ClassOf(m_buf[i]) | ClassOf(m_buf[i + 1]) | ClassOf(m_buf[i + 2]) |
                                ClassOf(m_buf[i + 3])) & kQuotedClass))
        i += 4;
      while (i < m_n && !(ClassOf(m_buf[i]) & kQuotedClass)) ++i;
      if (i >= m_n) return i;
      const char c = m_buf[i];
      if (c == q) return i;
      if (c == '<')
        lt = true;
      else if (ClassOf(c) & kSpecialClass)
        special = true;
      ++i;
    }
  }

  // Scans from i to the end of one piece: up to white space (or "=" when
  // stopAtEquals) outside quotes, or the ">" that ends the tag. A quote
  // character opens a quoted stretch that only the same character closes (an
  // unclosed one runs to the end of the text, and the tag with it). Notes
  // whether the piece holds a special character or a "<".
  [[gnu::always_inline]] size_t ScanPiece(size_t i, bool stopAtEquals, Range& range) const {
    const size_t begin = i;
    uint32_t quotes = 0;
    bool special = false, lt = false;
    for (;;) {
      // Most characters of a tag matter to nobody: skip them in a tight loop.
      while (i + 4 <= m_n && !((ClassOf(m_buf[i]) | ClassOf(m_buf[i + 1]) | ClassOf(m_buf[i + 2]) |
                                ClassOf(m_buf[i + 3])) & kTagClass))
        i += 4;
      while (i < m_n && !(ClassOf(m_buf[i]) & kTagClass)) ++i;
      if (i >= m_n) break;
      const char c = m_buf[i];
      const uint8_t cls = ClassOf(c);
      if (cls & kQuoteClass) {
        ++quotes;
        i = SkipQuoted(i + 1, c, special, lt);
        if (i >= m_n) break;
        ++quotes;
      } else if ((cls & kSpaceClass) || c == '>' || (stopAtEquals && c == '=')) {
        break;
      } else if (c == '<') {
        lt = true;
      } else if (cls & kSpecialClass) {
        special = true;
      }
      ++i;
    }
    range.begin = begin;
    range.end = i;
    range.flags = std::min(quotes, kQuoteCount) | (special ? kSpecial : 0) | (lt ? kLt : 0);
    return i;
  }

  size_t SkipSpaces(size_t i) const {
    while (i < m_n && (ClassOf(m_buf[i]) & kSpaceClass)) ++i;
    return i;
  }

  // Scans the tag whose text starts at i into m_name and m_pieces and returns
  // the position of its ">" (npos when there is none). White space separates
  // outside quotes. When the tag text ends with closer ("/" for an element,
  // "?" for the declaration) that character is taken off first, as if it had
  // not been there; m_closed tells whether it was.
  size_t ScanTag(size_t i, char closer) {
    m_strict = false;
    m_pieces.clear();
    i = ScanPiece(i, false, m_name);
    const size_t tagBegin = m_name.begin;
    while (i < m_n && m_buf[i] != '>') {
      i = SkipSpaces(i);
      if (i >= m_n || m_buf[i] == '>') break;
      Piece piece;
      i = ScanPiece(i, true, piece.name);
      const size_t afterName = SkipSpaces(i);
      if (afterName < m_n && m_buf[afterName] == '=') {
        piece.hasValue = true;
        i = SkipSpaces(afterName + 1);
        i = ScanPiece(i, false, piece.value);
      } else {
        i = afterName;
      }
      m_pieces.push_back(piece);
    }
    if (i >= m_n) return npos;
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

  // Reads the element tag whose text starts at i the way ScanTag would, but
  // only when it is well-formed and plainly written: a name, then attributes
  // name="value" or name='value' each after white space, then ">" or "/>".
  // Returns the position of its ">", or kNotStrict to leave the tag to
  // ScanTag, which also reads broken tags (and notes that CheckTag has work
  // to do). Nearly every tag of every file is read here; knowing the shape
  // makes it both quicker than ScanTag and free of further checks, but for
  // duplicate attribute names, which are only looked for when two names
  // agree in length, first and last character. The text ends with a NUL
  // (std::string), so looking one character ahead is safe.
  static constexpr size_t kNotStrict = npos - 1;
  [[gnu::always_inline]] size_t ScanStrictTag(size_t i) {
    const char* const buf = m_buf;
    m_pieces.clear();
    m_strict = true;
    m_closed = false;
    uint64_t seen = 0;
    bool maybeDuplicate = false;
    const size_t nameBegin = i;
    if (CannotStartName(buf[i])) return kNotStrict;
    while (IsNameChar(buf[i])) ++i;
    m_name.begin = nameBegin;
    m_name.end = i;
    m_name.flags = 0;
    for (;;) {
      if (buf[i] == '>' || (buf[i] == '/' && buf[i + 1] == '>')) break;
      if (!(ClassOf(buf[i]) & kSpaceClass)) return kNotStrict;
      while (ClassOf(buf[i]) & kSpaceClass) ++i;
      if (buf[i] == '>' || (buf[i] == '/' && buf[i + 1] == '>')) break;
      Piece piece;
      piece.hasValue = true;
      const size_t attributeBegin = i;
      if (CannotStartName(buf[i])) return kNotStrict;
      while (IsNameChar(buf[i])) ++i;
      piece.name.begin = attributeBegin;
      piece.name.end = i;
      while (ClassOf(buf[i]) & kSpaceClass) ++i;
      if (buf[i] != '=') return kNotStrict;
      ++i;
      while (ClassOf(buf[i]) & kSpaceClass) ++i;
      const char quote = buf[i];
      if (!(ClassOf(quote) & kQuoteClass)) return kNotStrict;
      bool special = false, lt = false;
      const size_t close = SkipQuoted(i + 1, quote, special, lt);
      if (close >= m_n || lt) return kNotStrict;
      piece.value.begin = i;
      piece.value.end = close + 1;
      piece.value.flags = 2 | (special ? kSpecial : 0);
      i = close + 1;
      m_pieces.push_back(piece);
      const uint64_t key = uint64_t(piece.name.end - attributeBegin) |
                           uint64_t(static_cast<unsigned char>(buf[attributeBegin])) << 8 |
                           uint64_t(static_cast<unsigned char>(buf[piece.name.end - 1])) << 16;
      const uint64_t bit = uint64_t(1) << ((key * 0x9E3779B97F4A7C15ull) >> 58);
      maybeDuplicate = maybeDuplicate || (seen & bit);
      seen |= bit;
    }
    if (buf[i] == '/') {
      m_closed = true;
      ++i;
    }
    m_maybeDuplicate = maybeDuplicate;
    return i;
  }

  // --- decoding ------------------------------------------------------------------

  // Decodes buf[b, e) in place, saving it first while the journal is kept.
  std::string_view Decode(size_t b, size_t e, TPieceKind kind) {
    // (While entities are watched the journal is kept.)
    if (Failed() && !m_keepJournal) return {m_buf + b, DecodeInPlace(m_buf, b, e, kind, [](size_t) {}) - b};
    m_edits.push_back(Edit{b, e, m_saved.size()});
    m_saved.append(m_buf + b, e - b);
    const size_t w = DecodeInPlace(m_buf, b, e, kind, [&](size_t pos) { Unresolved(pos, e); });
    return {m_buf + b, w - b};
  }

  std::string_view InPlace(const Range& r, TPieceKind kind) {
    if (!r.Special()) return RawText(r);
    return Decode(r.begin, r.end, kind);
  }

  // Text content: leading spaces and line breaks dropped, then line breaks
  // normalised and references decoded. Leading white space goes before
  // decoding, so a space written as &#32; stays.
  std::string_view TextInPlace(size_t b, size_t e) {
    while (b < e && (m_buf[b] == ' ' || m_buf[b] == '\r' || m_buf[b] == '\n')) ++b;
    if (b == e) return {};
    for (size_t i = b; i < e; ++i) {
      const char c = m_buf[i];
      if (c == '&' || c == '\r') return Decode(b, e, TPieceKind::Text);
    }
    return {m_buf + b, e - b};
  }

  // The character data between the markup before b and the "<" at e.
  bool TakeRun(size_t b, size_t e) {
    if (m_mixedRoot) return TakeMixedRun(b, e);
    if (m_inText) {
      m_inText = false;
      if (m_current) {
        m_current->m_text = TXmlString(TextInPlace(b, e));
        return true;
      }
    }
    if (b == e) return true;
    if (m_current) {
      CheckReferences(b, e);
    } else {
      if (!Failed()) CheckStrayText(b, e);
      if (m_watchEntities) CheckReferences(b, e);
    }
    return true;
  }

  // Inside mixed content every run becomes a "#text" node; the element's Text
  // is still the run after its opening tag or a self-closing child, less the
  // leading white space that TextInPlace would drop.
  bool TakeMixedRun(size_t b, size_t e) {
    const bool collect = m_inText;
    m_inText = false;
    if (b == e) {
      if (collect) m_current->m_text = TXmlString();
      return true;
    }
    if (!CountNode()) return false;
    // The dropped white space decodes to one character per space or break.
    size_t lead = 0;
    for (size_t i = b; i < e && (m_buf[i] == ' ' || m_buf[i] == '\r' || m_buf[i] == '\n'); ++i, ++lead)
      if (m_buf[i] == '\r' && i + 1 < e && m_buf[i + 1] == '\n') ++i;
    std::string_view text(m_buf + b, e - b);
    for (char c : text) {
      if (c == '&' || c == '\r') {
        text = Decode(b, e, TPieceKind::Text);
        break;
      }
    }
    if (m_sink) {
      m_sink->Characters(text);
    } else {
      TXmlNode* node = TXmlNode::Create(m_arena);
      node->m_name = TXmlString(kXmlTextName);
      node->m_text = TXmlString(text);
      m_current->AppendChild(node);
    }
    if (collect) m_current->m_text = TXmlString(text.substr(std::min(lead, text.size())));
    return true;
  }

  // --- nodes ---------------------------------------------------------------------

  bool CountNode() {
    if (m_nodes >= m_doc.Limits.MaxNodes) {
      m_doc.m_limitReached = true;
      return false;
    }
    ++m_nodes;
    return true;
  }

  // A new node from m_name and m_pieces; null when a limit stops the reading.
  TXmlNode* BuildNode(bool declaration, size_t tagStart) {
    if (!CountNode()) return nullptr;
    if (m_attributes + m_pieces.size() > m_doc.Limits.MaxAttributes) {
      m_doc.m_limitReached = true;
      return nullptr;
    }
    if (!Failed()) CheckTag(declaration, tagStart);
    m_attributes += m_pieces.size();
    TXmlNode* node = m_sink && !declaration ? RecycledNode() : TXmlNode::Create(m_arena);
    node->m_name = TXmlString(InPlace(m_name, TPieceKind::Name));
    if (m_pieces.empty()) return node;
    TXmlAttributeList& list = node->m_attributes;
    if (list.m_capacity < m_pieces.size()) {
      list.m_items = m_arena.AllocateArray<TXmlAttribute>(m_pieces.size());
      list.m_capacity = uint32_t(m_pieces.size());
    }
    for (const Piece& piece : m_pieces) {
      const std::string_view name = InPlace(piece.name, TPieceKind::Name);
      // The writer's own form ends the declaration with " ?"; a lone "?" is
      // not a pseudo-attribute.
      if (declaration && name == "?") continue;
      Range value = piece.value;
      if (value.end > value.begin) {
        const char quote = m_buf[value.begin];
        if (quote == '"' || quote == '\'') {
          ++value.begin;
          if (value.end > value.begin && m_buf[value.end - 1] == quote) --value.end;
        }
      }
      TXmlAttribute& a = list.m_items[list.m_count++];
      a.m_name = TXmlString(name);
      a.m_value = TXmlString(InPlace(value, TPieceKind::Value));
    }
    return node;
  }

  bool ReadDeclaration(size_t tagStart) {
    TXmlNode* header = BuildNode(true, tagStart);
    if (!header) return false;
    m_doc.m_header = header;
    m_inText = false;
    return true;
  }

  bool IsMixedName(std::string_view name) const {
    for (const std::string& mixed : m_mixedNames)
      if (SameXmlName(name, mixed)) return true;
    return false;
  }

  [[gnu::always_inline]] bool ReadElement(size_t tagStart) {
    TXmlNode* node = BuildNode(false, tagStart);
    if (!node) return false;
    TXmlNode* parent = m_current;
    if (m_keepJournal && !m_watchEntities) NoEntitiesToCome();
    if (parent && m_sink) {
      node->m_parent = parent;  // no child lists: nothing keeps the node once it closes
    } else if (parent) {
      parent->AppendChild(node);
    } else {
      if (m_doc.m_root && !Failed())
        Fail(tagStart, "A second top-level element <" + Clip(node->NodeName()) + "> follows the document element.");
      m_doc.m_root = node;  // a later top-level element replaces an earlier one
    }
    if (m_sink) m_sink->StartElement(*node);
    if (m_closed) {
      m_current = parent;  // the text that follows belongs to the parent
      if (m_sink) Close(node);
    } else {
      m_current = node;
      if (!m_mixedRoot && !m_mixedNames.empty() && IsMixedName(node->NodeName())) m_mixedRoot = node;
    }
    m_inText = true;
    return true;
  }

  // --- reading without a tree ------------------------------------------------------
  //
  // With a handler, a node lives only while its element is open: closed
  // nodes go to a free list and are used again (with their attribute
  // arrays), so the memory of the read is that of the deepest open chain.

  TXmlNode* RecycledNode() {
    if (m_free.empty()) return TXmlNode::Create(m_arena);
    TXmlNode* node = m_free.back();
    m_free.pop_back();
    node->m_name = node->m_text = TXmlString();
    node->m_parent = nullptr;
    node->m_attributes.m_count = 0;
    return node;
  }

  void Close(TXmlNode* node) {
    m_sink->EndElement();
    // The document element stays: the second-element check looks at it.
    if (node != m_doc.m_root) m_free.push_back(node);
  }

  // --- document type and entities ------------------------------------------------

  // The document type at p, whose ">" is at end: notes an external subset and
  // reads the entity declarations of the internal one; when the document
  // uses one of them, the text after end is expanded.
  void ReadDoctype(size_t p, size_t end) {
    if (m_current || m_doc.m_root) {
      if (!Failed()) Fail(p, "The document type declaration must come before the document element.");
      return;
    }
    if (m_sawDoctype) {
      if (!Failed()) Fail(p, "A second document type declaration follows the first.");
      return;
    }
    m_sawDoctype = true;
    size_t i = p + 9;
    while (i < end && IsXmlSpace(m_buf[i])) ++i;
    while (i < end && !IsXmlSpace(m_buf[i]) && m_buf[i] != '[') ++i;
    while (i < end && IsXmlSpace(m_buf[i])) ++i;
    const std::string_view external(m_buf + i, end - i);
    if (StartsWith(external, "SYSTEM") || StartsWith(external, "PUBLIC")) m_externalDtd = true;
    // The internal subset: from the first "[" outside quotes to the last "]".
    char quote = 0;
    size_t open = npos;
    for (; i < end && open == npos; ++i) {
      const char c = m_buf[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        open = i;
      }
    }
    if (open == npos) return;  // ReadElement ends the journal
    size_t close = end;
    while (close > open && m_buf[close] != ']') --close;
    if (close == open) return;
    ReadEntityDeclarations(open + 1, close);
    bool any = false;
    for (const Entity& entity : m_entities) any = any || !entity.external;
    if (!any) return;
    if (m_expandEntities)
      ExpandEntities(end + 1);
    else
      m_watchEntities = true;
  }

  // The ">" that ends the markup declaration at i (before e), outside quotes.
  size_t EndOfMarkupDeclaration(size_t i, size_t e) const {
    char quote = 0;
    for (; i < e; ++i) {
      const char c = m_buf[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        return i;
      }
    }
    return npos;
  }

  void ReadEntityDeclarations(size_t i, size_t e) {
    while (i < e) {
      const void* hit = std::memchr(m_buf + i, '<', e - i);
      if (!hit) return;
      i = size_t(static_cast<const char*>(hit) - m_buf);
      const std::string_view rest(m_buf + i, e - i);
      if (StartsWith(rest, "<!--") || StartsWith(rest, "<?")) {
        const size_t close = rest.find(rest[1] == '!' ? "-->" : "?>");
        if (close == npos) return;
        i += close + (rest[1] == '!' ? 3 : 2);
        continue;
      }
      const size_t declarationEnd = EndOfMarkupDeclaration(i + 1, e);
      if (declarationEnd == npos) return;
      if (StartsWith(rest, "<!ENTITY") && i + 8 < e && IsXmlSpace(m_buf[i + 8])) ReadEntity(i + 8, declarationEnd);
      i = declarationEnd + 1;
    }
  }

  // One <!ENTITY ...> from after its keyword to its ">" at end. Parameter
  // entities are not read; an external one is noted as declared.
  void ReadEntity(size_t i, size_t end) {
    while (i < end && IsXmlSpace(m_buf[i])) ++i;
    if (i >= end || m_buf[i] == '%') return;
    const size_t nameBegin = i;
    while (i < end && !IsXmlSpace(m_buf[i]) && m_buf[i] != '"' && m_buf[i] != '\'') ++i;
    const std::string_view name(m_buf + nameBegin, i - nameBegin);
    while (i < end && IsXmlSpace(m_buf[i])) ++i;
    if (name.empty() || i >= end) return;
    // The predefined entities keep their meaning; the first declaration of a
    // name binds.
    if (IsPredefinedEntity(name) || m_entityIndex.count(name)) return;
    Entity entity;
    const char quote = m_buf[i];
    if (quote == '"' || quote == '\'') {
      const void* close = std::memchr(m_buf + i + 1, quote, end - i - 1);
      if (!close) return;
      entity.value = WithCharacterReferencesDecoded(
          std::string_view(m_buf + i + 1, size_t(static_cast<const char*>(close) - m_buf) - i - 1));
    } else {
      entity.external = true;
    }
    m_entityIndex.emplace(name, m_entities.size());
    m_entities.push_back(std::move(entity));
    m_entityStarts[static_cast<unsigned char>(name[0])] = true;
  }

  static std::string WithCharacterReferencesDecoded(std::string_view literal) {
    std::string out;
    out.reserve(literal.size());
    for (size_t i = 0; i < literal.size();) {
      if (literal[i] == '&' && i + 1 < literal.size() && literal[i + 1] == '#') {
        char decoded[4];
        size_t length = 0;
        const size_t used = DecodeReference(literal.substr(i), decoded, length);
        if (used) {
          out.append(decoded, length);
          i += used;
          continue;
        }
      }
      out += literal[i++];
    }
    return out;
  }

  // The declared entity that the reference at t[pos] ("&") names, or -1;
  // length is the length of the reference.
  int EntityAt(std::string_view t, size_t pos, size_t& length) const {
    constexpr size_t kMaxEntityName = 256;
    if (pos + 1 >= t.size() || !m_entityStarts[static_cast<unsigned char>(t[pos + 1])]) return -1;
    const size_t limit = std::min(t.size(), pos + 2 + kMaxEntityName);
    size_t semi = pos + 1;
    while (semi < limit && t[semi] != ';') ++semi;
    if (semi >= limit) return -1;
    const auto it = m_entityIndex.find(t.substr(pos + 1, semi - pos - 1));
    if (it == m_entityIndex.end()) return -1;
    length = semi - pos + 1;
    return int(it->second);
  }

  // Replaces the text from `from` on with its expansion and reads on in it.
  // Content and attribute values are told apart by following tags, quotes,
  // comments, CDATA sections and processing instructions, in the document
  // and in each replacement text. Walks with a stack of its own: entities
  // nest as deep as the file makes them.
  void ExpandEntities(size_t from) {
    struct Frame {
      std::string_view text;
      size_t pos;
      int entity;      // -1 for the document
      bool attribute;  // a replacement text inside an attribute value
      char quote;      // the quote of that value
      bool inTag;      // in content: inside a tag
      char tagQuote;   // ... and inside a quoted value there
    };
    const size_t factor = m_doc.Limits.EntityExpansionFactor;
    const size_t allowance = m_doc.Limits.EntityExpansionAllowance;
    const size_t limit = (factor && m_n > (SIZE_MAX - allowance) / factor) ? SIZE_MAX : m_n * factor + allowance;
    std::string& out = m_arena.Expanded;
    out.reserve(m_n + m_n / 8);
    out.assign(m_buf, from);
    std::vector<Frame> frames{Frame{std::string_view(m_buf + from, m_n - from), 0, -1, false, 0, false, 0}};
    std::vector<bool> active(m_entities.size());
    size_t reference = from;  // the document's reference being expanded, for errors
    size_t expansions = 0;
    while (!frames.empty()) {
      if (out.size() + expansions > limit) {
        Fail(reference, "Entity expansion exceeds the limit.");
        // The rest of the document is read as written.
        const Frame& document = frames.front();
        out.append(document.text.substr(document.pos));
        break;
      }
      Frame& f = frames.back();
      const std::string_view t = f.text;
      if (f.pos >= t.size()) {
        if (f.entity >= 0) active[size_t(f.entity)] = false;
        frames.pop_back();
        continue;
      }
      if (f.attribute) {
        // Data of a value: only references count; what would end or break
        // the value is escaped.
        size_t i = f.pos;
        for (; i < t.size() && t[i] != '&'; ++i) {
          const char c = t[i];
          if (c == '<')
            out += "&lt;";
          else if (c == f.quote)
            out += c == '"' ? "&quot;" : "&apos;";
          else
            out += c;
        }
        f.pos = i;
        if (i == t.size()) continue;
      } else if (!f.inTag) {
        size_t lt = t.find('<', f.pos);
        if (lt == npos) lt = t.size();
        const size_t amp = t.substr(0, lt).find('&', f.pos);
        if (amp == npos) {
          out.append(t, f.pos, lt - f.pos);
          f.pos = lt;
          if (lt == t.size()) continue;
          const std::string_view rest = t.substr(lt);
          auto through = [&](std::string_view terminator, size_t skip) {
            const size_t e = rest.find(terminator, skip);
            return lt + (e == npos ? rest.size() : e + terminator.size());
          };
          size_t markupEnd;
          if (StartsWith(rest, "<!--"))
            markupEnd = through("-->", 4);
          else if (StartsWith(rest, "<![CDATA["))
            markupEnd = through("]]>", 9);
          else if (StartsWith(rest, "<?"))
            markupEnd = through("?>", 2);
          else if (StartsWith(rest, "<!"))
            markupEnd = through(">", 2);
          else {
            out += '<';
            f.pos = lt + 1;
            f.inTag = true;
            f.tagQuote = 0;
            continue;
          }
          out.append(t, lt, markupEnd - lt);
          f.pos = markupEnd;
          continue;
        }
        out.append(t, f.pos, amp - f.pos);
        f.pos = amp;
      } else {
        size_t i = f.pos;
        bool atReference = false;
        for (; i < t.size(); ++i) {
          const char c = t[i];
          if (f.tagQuote) {
            if (c == f.tagQuote) {
              f.tagQuote = 0;
            } else if (c == '&') {
              atReference = true;
              break;
            }
          } else if (c == '"' || c == '\'') {
            f.tagQuote = c;
          } else if (c == '>') {
            f.inTag = false;
            ++i;
            break;
          }
        }
        out.append(t, f.pos, i - f.pos);
        f.pos = i;
        if (!atReference) continue;
      }
      // At an "&" in content or in a quoted value.
      size_t length = 0;
      const int entity = EntityAt(t, f.pos, length);
      if (entity < 0 || m_entities[size_t(entity)].external) {
        out += '&';
        ++f.pos;
        continue;
      }
      if (frames.size() == 1) reference = from + f.pos;
      if (active[size_t(entity)]) {
        Fail(reference, "The entity " + Quote(t.substr(f.pos, length)) + " refers to itself.");
        out.append(t, f.pos, length);
        f.pos += length;
        continue;
      }
      const bool attribute = f.attribute || f.inTag;
      const char quote = f.attribute ? f.quote : f.tagQuote;
      f.pos += length;
      active[size_t(entity)] = true;
      ++expansions;
      frames.push_back(Frame{m_entities[size_t(entity)].value, 0, entity, attribute, quote, false, 0});
    }
    // Everything read so far points into the old text, which the arena keeps.
    m_buf = out.data();
    m_n = out.size();
  }

  TXmlHandler* m_sink;
  std::vector<TXmlNode*> m_free;  // closed nodes to use again (reading without a tree)
  TXMLDocument& m_doc;
  TXmlArena& m_arena;
  char* m_buf;
  size_t m_n;
  const std::vector<std::string>& m_mixedNames;
  TXmlNode* m_current = nullptr;
  TXmlNode* m_mixedRoot = nullptr;
  bool m_inText = false;
  size_t m_nodes = 0;
  size_t m_attributes = 0;
  Range m_name;
  bool m_closed = false;
  bool m_strict = false;          // the tag was read by ScanStrictTag
  bool m_maybeDuplicate = false;  // ... which saw two attribute names that may be the same
  std::vector<Piece> m_pieces;
  std::vector<Edit> m_edits;
  std::string m_saved;
  const bool m_expandEntities;  // the second read: expand what the document type declares
  bool m_keepJournal;           // keep m_edits whole: a first read that may need to restore the text
  bool m_watchEntities = false;  // a first read that has seen internal entities declared
  bool m_needsExpansion = false;  // ... and a reference to one of them
  bool m_sawDoctype = false;
  bool m_externalDtd = false;
  std::vector<Entity> m_entities;
  std::unordered_map<std::string_view, size_t> m_entityIndex;
  bool m_entityStarts[256] = {};
};

// --- writer ----------------------------------------------------------------------

namespace {

// Appends s with each character for which replace gives a text (it sees
// the character and its position) replaced by that text.
template <class Replace>
void AppendEscaped(std::string& out, std::string_view s, Replace replace) {
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char* rep = replace(s[i], i);
    if (!rep) continue;
    out.append(s.substr(run, i - run));
    out += rep;
    run = i + 1;
  }
  out.append(s.substr(run));
}

const char* MarkupEscape(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '\r': return "&#13;";
    default: return nullptr;
  }
}

void AppendEscapedValue(std::string& out, std::string_view s) {
  AppendEscaped(out, s, [](char c, size_t) -> const char* {
    switch (c) {
      case '"': return "&quot;";
      // The reader turns raw white space in values into spaces.
      case '\t': return "&#9;";
      case '\n': return "&#10;";
      default: return MarkupEscape(c);
    }
  });
}

// Text as an element's Text: the reader drops spaces and line breaks at its
// start and turns a raw CR into LF, so those are escaped (a space only at the
// start, a line break everywhere: that keeps it clear of the writer's own
// line ends).
void AppendEscapedText(std::string& out, std::string_view s) {
  AppendEscaped(out, s, [](char c, size_t i) -> const char* {
    if (c == '\n') return "&#10;";
    if (c == ' ') return i == 0 ? "&#32;" : nullptr;
    return MarkupEscape(c);
  });
}

// A "#text" node's run, which the reader takes whole: only markup characters
// and CR (which would read back as LF) need escaping.
void AppendEscapedRun(std::string& out, std::string_view s) {
  AppendEscaped(out, s, [](char c, size_t) { return MarkupEscape(c); });
}

class TXmlWriter {
 public:
  TXmlWriter(std::string& out, const std::string& ident, const std::vector<std::string>& mixed)
      : m_out(out), m_ident(ident), m_mixed(mixed) {}

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
    std::vector<Frame> stack;
    // mayClose: the node may be written self-closing when it is empty. Text
    // after a self-closing child replaces the parent's text, so a parent
    // decides that for its children. mustClose: it has to be, as an element
    // even if it could be a CDATA section (the reader makes an empty
    // "#cdata-section" element of <#cdata-section/>).
    auto open = [&](const TXmlNode& n, int d, bool compact, bool mayClose, bool mustClose, bool inMixed) {
      if (IsCdataForm(n) && !mustClose) {
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
        if (n.Text().empty() && mayClose) {
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
      Frame f{&n, 0, d, compact, false, false, false, false, -1, -1, 0};
      f.mixed = inMixed || IsMixedName(n.NodeName());
      f.mixedForm = f.mixed && HasTextChild(n);
      if (f.mixedForm)
        PlanMixedContent(f);
      else
        AppendEscapedText(m_out, n.Text());
      // Line breaks and indentation would become text: inside mixed content,
      // or after the node's text.
      f.childCompact = compact || f.mixed || !n.Text().empty() || m_ident.empty();
      if (!f.childCompact) EndLine();
      stack.push_back(f);
    };

    open(node, depth, false, true, false, false);
    while (!stack.empty()) {
      Frame& f = stack.back();
      const TXmlNodeList& children = f.node->ChildNodes();
      if (f.next < children.Count()) {
        const int index = f.next++;
        const TXmlNode& child = *children[index];
        if (f.mixed && IsTextForm(child)) {
          // Two runs in a row would read back as one; a first run that must
          // not become the Text is kept apart from the opening tag.
          if (index > 0 ? IsTextForm(*children[index - 1]) : f.emptyFirstRun) m_out += "<!---->";
          if (f.mixedForm && index == f.collect) {
            m_out.append(child.Text().substr(0, f.lead));
            AppendEscapedText(m_out, child.Text().substr(f.lead));
          } else {
            AppendEscapedRun(m_out, child.Text());
          }
          continue;
        }
        const bool mustClose = f.mixedForm && index == f.selfClose;
        const bool mayClose = f.mixedForm ? mustClose : f.node->Text().empty();
        // may grow the stack: f is not used after
        open(child, f.depth + 1, f.childCompact, mayClose, mustClose, f.mixed);
        continue;
      }
      if (!f.childCompact) Indent(f.depth);
      CloseTag(*f.node);
      if (!f.compact) EndLine();
      stack.pop_back();
    }
  }

 private:
  struct Frame {
    const TXmlNode* node;
    int next;
    int depth;
    bool compact;       // the node itself is written inside a one-line subtree
    bool childCompact;  // its children are
    bool mixed;         // its children are inside mixed content
    bool mixedForm;     // ... and "#text" children carry its text
    bool emptyFirstRun;  // in mixed form: an empty comment before the first child, whose run is not the Text
    int selfClose;      // in mixed form: the one child written self-closing, or -1
    int collect;        // in mixed form: the "#text" child that gives the node's Text, or -1
    size_t lead;        // ... the white space at its start that the reader drops from Text
  };

  // The reader makes such a node of every CDATA section; one that cannot be
  // written as a section is written as an element of that name.
  static bool IsCdataForm(const TXmlNode& n) {
    return n.NodeName() == kXmlCdataName && n.Parent() && n.AttributeList().Count() == 0 &&
           n.ChildNodes().IsEmpty() && n.Text().find("]]>") == std::string_view::npos;
  }

  // Inside mixed content, a node the reader makes of a run of text; any other
  // "#text" node is written as an element of that name, which reads back as
  // it was. (Empty text cannot be a run.)
  static bool IsTextForm(const TXmlNode& n) {
    return n.NodeName() == kXmlTextName && n.AttributeList().Count() == 0 && n.ChildNodes().IsEmpty() &&
           !n.Text().empty();
  }

  static bool HasTextChild(const TXmlNode& n) {
    for (const TXmlNode* c : n.ChildNodes())
      if (IsTextForm(*c)) return true;
    return false;
  }

  bool IsMixedName(std::string_view name) const {
    for (const std::string& mixed : m_mixed)
      if (SameXmlName(name, mixed)) return true;
    return false;
  }

  // The reader sets an element's Text from the run after its opening tag,
  // replaced by the run after each self-closing child, less the leading
  // spaces and line breaks. So the written text must make the right run the
  // last one collected: no child is self-closing when the first run gives the
  // Text (or the Text is empty: an empty comment then makes the first run
  // empty, as the comment or other markup the reader skipped did), else the
  // last empty child whose following run does. That run's leading white
  // space is written raw and the rest as Text, so that the reader drops
  // exactly what it dropped before.
  void PlanMixedContent(Frame& f) const {
    const TXmlNodeList& c = f.node->ChildNodes();
    const int count = c.Count();
    const std::string_view want = f.node->Text();
    auto textAt = [&](int i) { return (i < count && IsTextForm(*c[i])) ? i : -1; };
    // The length of the white space before want in the run of child i (none
    // for -1), or npos when that run does not give want.
    auto lead = [&](int i) -> size_t {
      const std::string_view run = i >= 0 ? c[i]->Text() : std::string_view();
      if (run.size() < want.size() || run.substr(run.size() - want.size()) != want) return npos;
      const size_t l = run.size() - want.size();
      for (size_t k = 0; k < l; ++k)
        if (run[k] != ' ' && run[k] != '\n') return npos;
      return l;
    };
    f.selfClose = -1;
    f.collect = textAt(0);
    f.lead = lead(f.collect);
    if (f.lead != npos) return;
    if (want.empty()) {
      f.emptyFirstRun = true;
      f.collect = -1;
      f.lead = 0;
      return;
    }
    for (int i = count - 1; i >= 0; --i) {
      const TXmlNode& child = *c[i];
      if (IsTextForm(child) || !child.ChildNodes().IsEmpty() || !child.Text().empty()) continue;
      const int run = textAt(i + 1);
      const size_t l = lead(run);
      if (l != npos) {
        f.selfClose = i;
        f.collect = run;
        f.lead = l;
        return;
      }
    }
    // A built tree whose Text no run gives: its runs are written as they are.
    f.collect = -1;
    f.lead = 0;
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
  const std::vector<std::string>& m_mixed;
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
  m_error = TXmlError();
}

void TXMLDocument::LoadFromBytes(std::string_view bytes) { Load(bytes, nullptr); }

void TXMLDocument::ReadFromBytes(std::string_view bytes, TXmlHandler& handler, std::string* owned) {
  Load(bytes, owned, &handler);
  // The nodes the handler saw are gone with their elements.
  m_root = nullptr;
}

void TXMLDocument::Load(std::string_view bytes, std::string* owned, TXmlHandler* handler) {
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
    text = SingleByteToUtf8(bytes, DeclaredSingleByte(bytes));
  }
  TXmlReader reader(*this, *m_arena, false, handler);
  reader.Run();
  if (reader.NeedsExpansion()) {
    // Read again from the start, with the entities expanded; the first read's
    // tree goes with its arena.
    reader.RestoreText();
    std::string source = std::move(m_arena->Source);
    Clear();
    m_root = nullptr;
    m_arena->Source = std::move(source);
    if (handler) handler->Restart();
    TXmlReader(*this, *m_arena, true, handler).Run();
  }
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
  const std::string_view encoding = m_header->GetAttribute("encoding");
  if (SameXmlName(encoding, "utf-8")) out = "\xEF\xBB\xBF";
  TXmlWriter writer(out, Ident, MixedContentElements);
  writer.WriteHeader(*m_header);
  if (m_root) writer.WriteTree(*m_root, 0);
  // The text is UTF-8; the bytes must be what the declaration says they are.
  TSingleByte table = TSingleByte::Windows1252;
  const TWrittenEncoding kind = WrittenEncoding(encoding, table);
  if (kind == TWrittenEncoding::Utf8) return out;
  std::string encoded;
  if (kind != TWrittenEncoding::Other && EncodeSingleByte(out, kind, table, encoded)) return encoded;
  // An encoding Karto cannot write, or text it cannot hold: the declaration
  // is corrected to the UTF-8 that is written.
  const size_t end = out.find("?>");
  const std::string quoted[] = {"encoding=\"" + std::string(encoding) + "\"",
                                "encoding='" + std::string(encoding) + "'"};
  for (const std::string& q : quoted) {
    const size_t at = out.find(q);
    if (at != std::string::npos && at < end) {
      out.replace(at, q.size(), "encoding=\"UTF-8\"");
      break;
    }
  }
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
