// Style sheets on arbitrary text: parsing is linear and bounded, and the
// name index always answers as a plain search would.

#include "fuzz/FuzzCheck.h"
#include "svg/SVGStyle.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  TStyleList list;
  const int last = list.Add(text);
  Check(last == list.Count() - 1, "the result is the last style appended", text);
  for (int i = 0; i < list.Count(); ++i) {
    const TStyle* style = list.Get(i);
    Check(!style->Name().empty(), "selectors are not empty", text);
    const TStyle* found = list.GetStyle(style->Name());
    Check(found && list.IndexOf(found) <= i && found->Name() == style->Name(), "GetStyle finds the first",
          style->Name());
  }
  return 0;
}
