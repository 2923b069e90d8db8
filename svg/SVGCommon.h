#pragma once
// Scanner helpers shared by the SVG value, colour and style parsers. Each
// works on a std::string_view: the Skip and Read forms consume from the front
// of the view what they recognise and say whether they did; the caller decides
// what to do with what is left.

#include <string_view>

namespace karto {

// A character that trimming removes: codes 0 to 32 (space, tab, line breaks
// and the other control characters).
constexpr bool IsBlankChar(char c) { return static_cast<unsigned char>(c) <= 32; }

constexpr bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

constexpr char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// s without blank characters at both ends.
std::string_view TrimBlanks(std::string_view s);

// Consumes leading blank characters; true when there were any.
bool SkipBlanks(std::string_view& s);

// Consumes c when s starts with it.
bool SkipChar(std::string_view& s, char c);

// Consumes prefix when s starts with it (exact case).
bool SkipPrefix(std::string_view& s, std::string_view prefix);

// Consumes the characters up to the first c (or all of s) and returns them;
// c itself stays at the front of s.
std::string_view ReadUntil(std::string_view& s, char c);

constexpr bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

constexpr bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// True when a and b are equal after mapping ASCII "A" to "Z" to lower case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace karto
