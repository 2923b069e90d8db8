#include "svg/SVGCommon.h"

namespace karto {

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlankChar(s[b])) ++b;
  while (e > b && IsBlankChar(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SkipBlanks(std::string_view& s) {
  size_t i = 0;
  while (i < s.size() && IsBlankChar(s[i])) ++i;
  s.remove_prefix(i);
  return i > 0;
}

bool SkipChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

bool SkipPrefix(std::string_view& s, std::string_view prefix) {
  if (!StartsWith(s, prefix)) return false;
  s.remove_prefix(prefix.size());
  return true;
}

std::string_view ReadUntil(std::string_view& s, char c) {
  const size_t at = s.find(c);
  const std::string_view head = s.substr(0, at);
  s.remove_prefix(head.size());
  return head;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  return true;
}

}  // namespace karto
