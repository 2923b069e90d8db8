#pragma once
// The generated SVG drawing the XML and SVG benchmarks read: about 20 MB
// with over 200 000 elements, mixing what real files hold (Inkscape's
// one-attribute-per-line paths, single-line rectangles and circles, text with
// references, groups, a CDATA style sheet, a document type with an internal
// subset and comments).

#include <cstddef>
#include <string>

namespace karto::bench {

struct Drawing {
  std::string text;
  size_t elements = 0;
};

// Made once, on first use.
const Drawing& GeneratedDrawing();

}  // namespace karto::bench
