// Whatever the reader makes of arbitrary bytes, the writer writes as text
// that reads back to the same tree, and writing that again gives the same
// text - with indentation and without.

#include <string>

#include "fuzz/FuzzCheck.h"
#include "xml/XmlDoc.h"

using namespace karto;
using namespace karto::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TXMLDocument doc;
  doc.LoadFromBytes(AsText(data, size));
  for (const char* ident : {"  ", ""}) {
    doc.Ident = ident;
    const std::string written = doc.SaveToBytes();
    TXMLDocument again;
    again.LoadFromBytes(written);
    again.Ident = ident;
    const std::string rootDiff = XmlTreeDifference(doc.Root(), again.Root());
    Check(rootDiff.empty(), "the written tree reads back", rootDiff);
    const std::string headerDiff = XmlTreeDifference(&doc.Header(), &again.Header());
    Check(headerDiff.empty(), "the written declaration reads back", headerDiff);
    Check(again.SaveToBytes() == written, "writing the read-back tree gives the same text", written);
  }
  return 0;
}
