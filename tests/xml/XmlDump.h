#pragma once
// A one-line picture of a small XML tree, so that a table row can state the
// whole tree it expects: name{attr=value,...}'text'[child child ...]; the
// braces, quotes and brackets appear only when there are attributes, text or
// children. Recursive: for small trees only.

#include <string>

#include "xml/XmlDoc.h"

namespace karto::testing {

inline std::string Dump(const TXmlNode* n) {
  if (!n) return "(none)";
  std::string s(n->NodeName());
  if (n->AttributeList().Count() > 0) {
    s += '{';
    for (int i = 0; i < n->AttributeList().Count(); ++i) {
      if (i) s += ',';
      s += std::string(n->AttributeList()[i].Name()) + "=" + std::string(n->AttributeList()[i].Value());
    }
    s += '}';
  }
  if (!n->Text().empty()) s += "'" + std::string(n->Text()) + "'";
  if (!n->ChildNodes().IsEmpty()) {
    s += '[';
    bool first = true;
    for (const TXmlNode* c : n->ChildNodes()) {
      if (!first) s += ' ';
      first = false;
      s += Dump(c);
    }
    s += ']';
  }
  return s;
}

inline std::string DumpRoot(std::string_view xml) {
  TXMLDocument doc;
  doc.LoadFromBytes(xml);
  return Dump(doc.Root());
}

}  // namespace karto::testing
