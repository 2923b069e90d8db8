#pragma once
// The named colours users pick from (the CSS colour keywords), in
// alphabetical order, so a colour box lists them as people know them.

#include <cstddef>
#include <string_view>

#include "platform/Types.h"

namespace karto {

struct TNamedColor {
  const char* name;
  TAlphaColor color;
};

// All 147 names, sorted; aliases (grey and gray, aqua and cyan) both appear.
struct TNamedColorList {
  const TNamedColor* b;
  const TNamedColor* e;
  const TNamedColor* begin() const { return b; }
  const TNamedColor* end() const { return e; }
  size_t size() const { return size_t(e - b); }
};
TNamedColorList NamedColors();
// The position of a name in NamedColors() (exact, lower case), or -1.
int NamedColorIndex(std::string_view name);

}  // namespace karto
