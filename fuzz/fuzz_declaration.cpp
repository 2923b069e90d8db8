// Declaration blocks on arbitrary text: each key at most once, trimmed,
// within the limit, and a copy holds the same declarations.

#include <set>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "svg/SVGCommon.h"
#include "svg/SVGStyle.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  TStyle style;
  style.SetValues(text);
  style.SetValues(text);  // merging into existing keys
  Check(style.Count() <= TStyle::kMaxDeclarations, "declarations within the limit");
  std::set<std::string> keys;
  for (int i = 0; i < style.Count(); ++i) {
    Check(keys.insert(style.GetKey(i)).second, "each key once", style.GetKey(i));
    Check(style.IndexOf(style.GetKey(i)) == i, "IndexOf finds the key", style.GetKey(i));
    Check(TrimBlanks(style.GetKey(i)) == style.GetKey(i), "keys are trimmed", style.GetKey(i));
  }
  const auto copy = style.Clone();
  for (int i = 0; i < style.Count(); ++i)
    Check(copy->GetKey(i) == style.GetKey(i) && copy->GetValue(i) == style.GetValue(i), "a clone is equal");
  return 0;
}
