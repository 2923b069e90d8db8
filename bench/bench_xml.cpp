// Karto's XML reader on a generated 20 MB SVG drawing with over 200 000
// elements, next to pugixml on the same bytes in the same run: milliseconds
// and MB/s of each, and on pugixml's row the factor "Karto x" by which
// Karto's reader takes longer. Also the writer.
//
// The drawing mixes what real files hold: Inkscape's one-attribute-per-line
// paths, single-line rectangles and circles, text with references, groups, a
// CDATA style sheet, a document type with an internal subset and comments.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "xml/XmlDoc.h"

#ifdef KARTO_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

using namespace karto;

namespace {

constexpr size_t kTargetBytes = 20'000'000;

// Freed memory stays with the process, so that each iteration measures
// parsing rather than the kernel handing out and zeroing fresh pages (which
// would otherwise dominate both readers on a 20 MB input). Set
// KARTO_BENCH_COLD_MEMORY to measure with fresh pages, as a single load of a
// file in a new process sees it.
const bool kKeepFreedMemory = [] {
  if (std::getenv("KARTO_BENCH_COLD_MEMORY")) return false;
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  return true;
}();

// Karto's mean time per read in the last run, for the comparison on
// pugixml's row.
double g_kartoSecondsPerRead = 0;

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

struct Drawing {
  std::string text;
  size_t elements = 0;
};

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

// Seconds per iteration, timed around the loop.
class LoopTimer {
 public:
  double SecondsPerIteration(const benchmark::State& state) const {
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    return total / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
  }

 private:
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

void Report(benchmark::State& state, double secondsPerIteration) {
  const double mb = double(GeneratedDrawing().text.size()) / 1e6;
  state.counters["MB"] = mb;
  state.counters["MB/s"] = mb / secondsPerIteration;
}

void BM_KartoRead(benchmark::State& state) {
  const std::string& text = GeneratedDrawing().text;
  const LoopTimer timer;
  for (auto _ : state) {
    TXMLDocument doc;
    doc.LoadFromBytes(text);
    benchmark::DoNotOptimize(doc.Root());
  }
  g_kartoSecondsPerRead = timer.SecondsPerIteration(state);
  Report(state, g_kartoSecondsPerRead);
  state.counters["elements"] = double(GeneratedDrawing().elements);
}
BENCHMARK(BM_KartoRead)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef KARTO_HAVE_PUGIXML
void BM_PugixmlRead(benchmark::State& state) {
  const std::string& text = GeneratedDrawing().text;
  const LoopTimer timer;
  for (auto _ : state) {
    pugi::xml_document doc;
    // Default options: references decoded, attribute white space normalised,
    // line ends normalised, CDATA kept - the same work as Karto's reader.
    const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size());
    if (!result) state.SkipWithError(result.description());
    benchmark::DoNotOptimize(doc.first_child());
  }
  const double seconds = timer.SecondsPerIteration(state);
  Report(state, seconds);
  if (g_kartoSecondsPerRead > 0) state.counters["Karto x"] = g_kartoSecondsPerRead / seconds;
}
BENCHMARK(BM_PugixmlRead)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_KartoWrite(benchmark::State& state) {
  TXMLDocument doc;
  doc.LoadFromBytes(GeneratedDrawing().text);
  const LoopTimer timer;
  for (auto _ : state) {
    const std::string out = doc.SaveToBytes();
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, timer.SecondsPerIteration(state));
}
BENCHMARK(BM_KartoWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
