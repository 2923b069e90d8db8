// Text, tspan and textPath: content in document order with positions.

#include <algorithm>

#include "svg/SVG.h"
#include "svg/SVGCommon.h"
#include "xml/XmlDoc.h"

namespace karto {

namespace {

// A list of lengths separated by commas and/or blanks; false when any item
// is no length.
bool ReadLengthList(const TXmlNode& node, std::string_view name, std::vector<TSVGLength>& out) {
  const TXmlAttribute* a = node.AttributeList().Find(name);
  if (!a) return false;
  std::vector<TSVGLength> items;
  std::string_view s = TrimBlanks(a->Value());
  while (!s.empty()) {
    size_t end = 0;
    while (end < s.size() && s[end] != ',' && !IsBlankChar(s[end])) ++end;
    TSVGLength len;
    if (!TryParseLength(s.substr(0, end), len)) return false;
    items.push_back(len);
    s.remove_prefix(end);
    SkipCommaWsp(s);
  }
  out = std::move(items);
  return true;
}

// Whether white space is preserved for content of this object.
bool PreservesSpace(const TSVGObject* o) {
  for (; o; o = o->SVGParent()) {
    if (o->XmlSpace() >= 0) return o->XmlSpace() == 1;
  }
  return false;
}

}  // namespace

void TSVGTextContent::CopyFrom(const TSVGObject& source) {
  TSVGObject::CopyFrom(source);
  if (const auto* t = dynamic_cast<const TSVGTextContent*>(&source)) FText = t->FText;
}

void TSVGCustomText::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGBasic::ReadFromXML(node, context);
  ReadLengthList(node, "x", m_xLengths);
  ReadLengthList(node, "y", m_yLengths);
  ReadLengthList(node, "dx", m_dxLengths);
  ReadLengthList(node, "dy", m_dyLengths);
  if (const TXmlAttribute* a = node.AttributeList().Find("rotate")) {
    std::vector<float> rotate;
    if (TryParseNumberList(a->Value(), rotate)) m_rotate = std::move(rotate);
  }
  ReadLength(node, "textLength", m_textLength, context, true);
  m_adjustGlyphs = TrimBlanks(node.GetAttribute("lengthAdjust")) == "spacingAndGlyphs";
}

std::unique_ptr<TSVGObject> TSVGCustomText::CreateChildElement(std::string_view local) const {
  if (local == "tspan" || local == "a") return std::make_unique<TSVGTSpan>();
  if (local == "textPath") return std::make_unique<TSVGTextPath>();
  return nullptr;
}

void TSVGCustomText::AddCharacters(std::string_view text, TSVGReadContext&) {
  if (text.empty()) return;
  if (Count() > 0 && Items(Count() - 1)->HasKind(skTextContent)) {
    auto* run = static_cast<TSVGTextContent*>(Items(Count() - 1));
    run->SetText(run->Text() + std::string(text));
    return;
  }
  auto run = std::make_unique<TSVGTextContent>();
  run->SetObjectName("#text");
  run->SetText(std::string(text));
  Add(std::move(run));
}

void TSVGText::EndOfElement(TSVGReadContext&) { NormalizeTextWhiteSpace(*this); }

void TSVGCustomText::CopyFrom(const TSVGObject& source) {
  TSVGBasic::CopyFrom(source);
  if (const auto* t = dynamic_cast<const TSVGCustomText*>(&source)) {
    m_xLengths = t->m_xLengths;
    m_yLengths = t->m_yLengths;
    m_dxLengths = t->m_dxLengths;
    m_dyLengths = t->m_dyLengths;
    m_rotate = t->m_rotate;
    m_textLength = t->m_textLength;
    m_textLengthValue = t->m_textLengthValue;
    m_adjustGlyphs = t->m_adjustGlyphs;
  }
}

std::string TSVGCustomText::Text() const {
  std::string text;
  std::vector<const TSVGObject*> stack{this};
  while (!stack.empty()) {
    const TSVGObject* o = stack.back();
    stack.pop_back();
    if (const auto* run = dynamic_cast<const TSVGTextContent*>(o)) text += run->Text();
    for (int i = o->Count() - 1; i >= 0; --i) stack.push_back(o->Items(i));
  }
  return text;
}

std::vector<float> TSVGCustomText::Resolved(const std::vector<TSVGLength>& lengths, TAxis axis) const {
  std::vector<float> values;
  values.reserve(lengths.size());
  for (const TSVGLength& l : lengths) values.push_back(ResolveLength(l, axis));
  return values;
}

void TSVGCustomText::ResolveGeometry() {
  FX = m_xLengths.empty() ? 0 : ResolveLength(m_xLengths.front(), TAxis::Horizontal);
  FY = m_yLengths.empty() ? 0 : ResolveLength(m_yLengths.front(), TAxis::Vertical);
  m_textLengthValue = Resolve(m_textLength, TAxis::Horizontal);
}

void TSVGTextPath::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGCustomText::ReadFromXML(node, context);
  if (const TXmlAttribute* a = node.AttributeList().Find("href")) FPathRef.assign(TrimBlanks(a->Value()));
  for (const TXmlAttribute& a : node.AttributeList())
    if (FPathRef.empty() && EndsWith(a.Name(), ":href")) FPathRef.assign(TrimBlanks(a.Value()));
  ReadLength(node, "startOffset", m_offset, context);
  FMethod = TrimBlanks(node.GetAttribute("method")) == "stretch" ? TTextPathMethod::tpmStretch
                                                                  : TTextPathMethod::tpmAlign;
  FSpacing = TrimBlanks(node.GetAttribute("spacing")) == "exact" ? TTextPathSpacing::tpsExact
                                                                  : TTextPathSpacing::tpsAuto;
  FSide = TrimBlanks(node.GetAttribute("side")) == "right" ? TTextPathSide::Right : TTextPathSide::Left;
}

void TSVGTextPath::CopyFrom(const TSVGObject& source) {
  TSVGCustomText::CopyFrom(source);
  if (const auto* t = dynamic_cast<const TSVGTextPath*>(&source)) {
    FPathRef = t->FPathRef;
    m_offset = t->m_offset;
    FOffset = t->FOffset;
    FOffsetIsPercent = t->FOffsetIsPercent;
    FMethod = t->FMethod;
    FSpacing = t->FSpacing;
    FSide = t->FSide;
  }
}

void TSVGTextPath::ResolveGeometry() {
  TSVGCustomText::ResolveGeometry();
  FOffsetIsPercent = m_offset.Set && m_offset.Length().Unit == luPercent;
  FOffset = !m_offset.Set ? 0 : FOffsetIsPercent ? m_offset.Length().Value / 100 : ResolveLength(m_offset.Length(), TAxis::Horizontal);
}

void NormalizeTextWhiteSpace(TSVGCustomText& text) {
  // Runs in document order, each with its xml:space.
  std::vector<TSVGTextContent*> runs;
  std::vector<TSVGObject*> stack{&text};
  while (!stack.empty()) {
    TSVGObject* o = stack.back();
    stack.pop_back();
    if (auto* run = dynamic_cast<TSVGTextContent*>(o)) runs.push_back(run);
    for (int i = o->Count() - 1; i >= 0; --i) stack.push_back(o->Items(i));
  }
  // With "default" spaces collapse across runs: lastWasSpace carries over.
  bool lastWasSpace = true;  // no space at the start of the text
  TSVGTextContent* lastSpaceRun = nullptr;
  for (TSVGTextContent* run : runs) {
    const bool preserve = PreservesSpace(run->SVGParent());
    std::string out;
    out.reserve(run->Text().size());
    for (char c : run->Text()) {
      if (preserve) {
        out += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
        lastWasSpace = false;
        continue;
      }
      if (c == '\n' || c == '\r') continue;
      if (c == '\t') c = ' ';
      if (c == ' ') {
        if (lastWasSpace) continue;
        lastWasSpace = true;
        lastSpaceRun = run;
      } else {
        lastWasSpace = false;
      }
      out += c;
    }
    run->SetText(std::move(out));
  }
  // The trailing space of the whole text goes.
  if (lastWasSpace && lastSpaceRun && !lastSpaceRun->Text().empty() && lastSpaceRun->Text().back() == ' ' &&
      !PreservesSpace(lastSpaceRun->SVGParent()))
    lastSpaceRun->SetText(lastSpaceRun->Text().substr(0, lastSpaceRun->Text().size() - 1));
}

}  // namespace karto
