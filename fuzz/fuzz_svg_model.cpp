// The SVG document model on arbitrary bytes: loading never crashes or
// throws, a failed load says why and leaves an empty document, and a
// successful one keeps within its element limit with finite sizes.

#include <cmath>

#include "fuzz/FuzzCheck.h"
#include "svg/SVG.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSVG doc;
  // A small limit keeps each run quick; the expansion logic is the same.
  doc.Limits.MaxElements = 20000;
  const TSVGLoadResult result = doc.LoadFromBytes(AsText(data, size));
  if (!result.Ok) {
    Check(!result.Error.empty(), "a failed load has a sentence");
    Check(doc.Count() == 0, "a failed load leaves the document empty");
    return 0;
  }
  Check(doc.ElementCount() <= doc.Limits.MaxElements, "element limit");
  Check(!std::isnan(doc.DocumentWidth()) && !std::isnan(doc.DocumentHeight()), "document size is a number");
  // Walk what was built: every child knows its parent.
  std::vector<const TSVGObject*> stack{&doc};
  while (!stack.empty()) {
    const TSVGObject* o = stack.back();
    stack.pop_back();
    for (int i = 0; i < o->Count(); ++i) {
      Check(o->Items(i)->SVGParent() == o, "parent link");
      stack.push_back(o->Items(i));
    }
  }
  return 0;
}
