// Base64: arbitrary text decodes without trouble, and any bytes encoded by
// the book (with line breaks every 76 characters and padding) decode back
// to themselves.

#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGParse.h"

using namespace karto;
using namespace karto::fuzz;

namespace {

std::string Encode(const uint8_t* data, size_t size) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t b0 = data[i], b1 = i + 1 < size ? data[i + 1] : 0, b2 = i + 2 < size ? data[i + 2] : 0;
    const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[v & 63] : '=';
    if (out.size() % 78 == 76) out += "\r\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> decoded;
  Base64ToStream(AsText(data, size), decoded);
  Check(decoded.size() <= size * 3 / 4, "at most three bytes per four characters");
  Base64ToStream(Encode(data, size), decoded);
  Check(decoded == std::vector<uint8_t>(data, data + size), "encoded bytes decode to themselves");
  return 0;
}
