#include "platform/PropertyText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/PathData.h"

namespace karto::proptext {

std::string Float(float v) { return FloatToText(v); }

bool ReadFloat(const std::string& s, float& v) {
  if (s.empty()) return false;
  const char* b = s.data();
  const char* e = b + s.size();
  if (*b == '+') ++b;
  float r;
  auto res = std::from_chars(b, e, r);
  // "nan" and "inf" parse, but no property holds them: a stream carrying one
  // is hostile or broken.
  if (res.ec != std::errc() || res.ptr != e || !std::isfinite(r)) return false;
  v = r;
  return true;
}

std::string Int(long long v) { return std::to_string(v); }

bool ReadInt(const std::string& s, long long& v) {
  long long r;
  auto res = std::from_chars(s.data(), s.data() + s.size(), r);
  if (s.empty() || res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
  v = r;
  return true;
}

std::string Bool(bool v) { return v ? "True" : "False"; }

bool ReadBool(const std::string& s, bool& v) {
  if (s == "True") { v = true; return true; }
  if (s == "False") { v = false; return true; }
  return false;
}

std::string Color(TAlphaColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "x%08X", c);
  return buf;
}

bool ReadColor(const std::string& s, TAlphaColor& c) {
  if (s.size() != 9 || (s[0] != 'x' && s[0] != '$')) return false;
  uint32_t r;
  auto res = std::from_chars(s.data() + 1, s.data() + s.size(), r, 16);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
  c = r;
  return true;
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char ch : s) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (ch == '\'') {
      out += "''";
    } else if (u < 32) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "'#%d'", int(u));
      out += buf;
    } else {
      out += ch;
    }
  }
  out += '\'';
  return out;
}

// Reads 'abc''d'#10'e': quoted runs joined with #nn character codes.
bool ReadQuoted(const std::string& s, std::string& out) {
  std::string r;
  size_t i = 0;
  if (s.empty()) return false;
  while (i < s.size()) {
    if (s[i] == '\'') {
      ++i;
      for (;;) {
        if (i >= s.size()) return false;
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            r += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        r += s[i++];
      }
    } else if (s[i] == '#') {
      ++i;
      size_t j = i;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      if (j == i || j - i > 3) return false;
      const int code = std::stoi(s.substr(i, j - i));
      if (code > 255) return false;
      r += char(code);
      i = j;
    } else {
      return false;
    }
  }
  out = r;
  return true;
}

}  // namespace karto::proptext
