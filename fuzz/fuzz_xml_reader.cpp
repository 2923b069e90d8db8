// The XML reader on arbitrary bytes: no crash, no undefined behaviour, and
// the tree keeps its promises - parents linked, every string valid UTF-8, an
// error with a position and a message or none at all. Read once more as mixed
// content, the same holds, and the tree writes to text that reads back to it
// (fuzz_xml_roundtrip covers the round trip without mixed content).

#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "xml/XmlDoc.h"

using namespace karto;
using namespace karto::fuzz;

namespace {

bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < len; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

void CheckNode(const TXmlNode& n) {
  Check(ValidUtf8(n.NodeName()), "name is UTF-8", n.NodeName());
  Check(ValidUtf8(n.Text()), "text is UTF-8", n.Text());
  for (const TXmlAttribute& a : n.AttributeList()) {
    Check(ValidUtf8(a.Name()) && ValidUtf8(a.Value()), "attribute is UTF-8", a.Name());
    Check(n.HasAttribute(a.Name()), "attribute found by its name", a.Name());
  }
  for (const TXmlNode* c : n.ChildNodes()) Check(c->Parent() == &n, "child links its parent", c->NodeName());
}

void CheckDocument(const TXMLDocument& doc) {
  const TXmlError& error = doc.Error();
  if (error.Present)
    Check(error.Line >= 1 && error.Column >= 1 && !error.Message.empty(), "error has a position and a message",
          error.Message);
  else
    Check(error.Line == 0 && error.Column == 0 && error.Message.empty(), "no error, no details", error.Message);
  CheckNode(doc.Header());
  std::vector<const TXmlNode*> pending;
  if (doc.Root()) pending.push_back(doc.Root());
  while (!pending.empty()) {
    const TXmlNode* n = pending.back();
    pending.pop_back();
    CheckNode(*n);
    for (const TXmlNode* c : n->ChildNodes()) pending.push_back(c);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TXMLDocument doc;
  doc.LoadFromBytes(AsText(data, size));
  CheckDocument(doc);

  const std::vector<std::string> mixed = {"text", "a"};
  TXMLDocument mixedDoc;
  mixedDoc.MixedContentElements = mixed;
  mixedDoc.LoadFromBytes(AsText(data, size));
  CheckDocument(mixedDoc);
  for (const char* ident : {"  ", ""}) {
    mixedDoc.Ident = ident;
    const std::string written = mixedDoc.SaveToBytes();
    TXMLDocument again;
    again.MixedContentElements = mixed;
    again.LoadFromBytes(written);
    const std::string diff = XmlTreeDifference(mixedDoc.Root(), again.Root());
    Check(diff.empty(), "mixed content reads back", diff);
  }
  return 0;
}
