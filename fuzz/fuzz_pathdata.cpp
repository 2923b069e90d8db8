// SVG path data on arbitrary bytes: no crash or hang (one pass); false comes
// with an error report whose offset lies within the input; the points form
// whole segments (a path starts with a moveto, cubics are triples); the
// report is optional and changes nothing; and a path whose numbers are
// moderate has finite points and reads back from its own text form.

#include <cmath>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGPathData.h"

using namespace karto;
using namespace karto::fuzz;

namespace {

// No exponent and no long digit run: every number is below 1e30, so sums
// over the input and arc radii grown from them stay far from float overflow.
bool ModerateNumbers(std::string_view text) {
  size_t run = 0;
  for (char c : text) {
    if (c == 'e' || c == 'E') return false;
    run = c >= '0' && c <= '9' ? run + 1 : 0;
    if (run >= 30) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  TPathData path;
  TPathDataError error{true, 12345, "stale"};
  const bool ok = ParseSVGPathData(text, path, &error);
  Check(ok != error.Present, "false comes with a report, true without", text);
  if (!ok) {
    Check(error.Offset <= size, "the error offset lies within the input", text);
    Check(error.Message.rfind("Path data: ", 0) == 0, "the message names path data", text);
  }

  TPathData without;
  Check(ParseSVGPathData(text, without) == ok && without == path, "the report changes nothing", text);

  int curveRun = 0;
  for (int i = 0; i < path.Count(); ++i) {
    const TPathPointKind kind = path.Points(i).Kind;
    if (i == 0) Check(kind == ppMoveTo, "a path starts with a moveto", text);
    if (kind == ppCurveTo) {
      ++curveRun;
    } else {
      Check(curveRun % 3 == 0, "cubics are whole triples", text);
      curveRun = 0;
    }
  }
  Check(curveRun % 3 == 0, "cubics are whole triples", text);

  if (ModerateNumbers(text)) {
    for (const TPathPoint& p : path.PointList())
      Check(std::isfinite(p.Point.X) && std::isfinite(p.Point.Y), "moderate numbers give finite points", text);
    TPathData again;
    Check(ParseSVGPathData(path.Data(), again) && again == path, "the text form reads back", text);
  }
  return 0;
}
