#include "bench/GeneratedDrawing.h"

#include <cstdint>

namespace karto::bench {

namespace {

constexpr size_t kTargetBytes = 20'000'000;

class Numbers {
 public:
  // A fixed-point number with two decimals, as drawing programs write.
  void Append(std::string& out) {
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    const uint32_t v = uint32_t(m_state >> 33) % 100000;
    out += std::to_string(v / 100);
    out += '.';
    out += std::to_string(v % 100);
  }

 private:
  uint64_t m_state = 42;
};

}  // namespace

const Drawing& GeneratedDrawing() {
  static const Drawing drawing = [] {
    Drawing d;
    std::string& s = d.text;
    s.reserve(kTargetBytes + 4096);
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
    s += "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\" [\n"
         "\t<!ENTITY ns_svg \"http://www.w3.org/2000/svg\">\n]>\n";
    s += "<!-- Generated for the reader benchmark -->\n";
    s += "<svg\n   xmlns=\"http://www.w3.org/2000/svg\"\n   xmlns:xlink=\"http://www.w3.org/1999/xlink\"\n"
         "   width=\"210mm\"\n   height=\"297mm\"\n   viewBox=\"0 0 210 297\"\n   version=\"1.1\">\n";
    s += "  <style type=\"text/css\"><![CDATA[\n    .st0{fill:#FFFFFF;}\n    .st1{fill:none;stroke:#000;}\n  ]]></style>\n";
    d.elements = 2;
    Numbers n;
    size_t i = 0;
    while (s.size() < kTargetBytes) {
      if (i % 50 == 0) {
        if (i) s += "  </g>\n";
        s += "  <g id=\"layer" + std::to_string(i / 50) + "\" transform=\"translate(1.5,2)\">\n";
        ++d.elements;
      }
      switch (i % 10) {
        case 0: case 1: case 2:
          s += "    <path\n       id=\"path" + std::to_string(i) + "\"\n"
               "       style=\"fill:none;stroke:#1a2b3c;stroke-width:0.26\"\n       d=\"M ";
          n.Append(s); s += ','; n.Append(s); s += " L "; n.Append(s); s += ','; n.Append(s);
          s += "\" />\n";
          break;
        case 3: case 4: case 5:
          s += "    <rect class=\"st1\" x=\""; n.Append(s); s += "\" y=\""; n.Append(s);
          s += "\" width=\""; n.Append(s); s += "\" height=\""; n.Append(s); s += "\"/>\n";
          break;
        case 6: case 7: case 8:
          s += "    <circle cx=\""; n.Append(s); s += "\" cy=\""; n.Append(s);
          s += "\" r=\""; n.Append(s); s += "\"/>\n";
          break;
        default:
          s += "    <text x=\""; n.Append(s); s += "\" y=\""; n.Append(s);
          s += "\">Label &amp; caf&#233; " + std::to_string(i) + "</text>\n";
          break;
      }
      ++d.elements;
      ++i;
    }
    s += "  </g>\n</svg>\n";
    return d;
  }();
  return drawing;
}


}  // namespace karto::bench
