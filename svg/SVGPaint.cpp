// Gradient stops, gradients and patterns.

#include <algorithm>
#include <cmath>

#include "svg/SVG.h"
#include "svg/SVGCommon.h"
#include "xml/XmlDoc.h"

namespace karto {

namespace {

std::string_view HrefOf(const TXmlNode& node) {
  if (const TXmlAttribute* a = node.AttributeList().Find("href")) return a->Value();
  for (const TXmlAttribute& a : node.AttributeList())
    if (EndsWith(a.Name(), ":href")) return a.Value();
  return {};
}

// The id of a local reference "#id" (blanks trimmed), or "".
std::string LocalId(std::string_view href) {
  std::string_view s = TrimBlanks(href);
  if (!SkipChar(s, '#')) return {};
  return std::string(s);
}

// A number, or a percentage as a fraction (percent set).
bool ReadFraction(const TXmlNode& node, std::string_view name, float& out, bool* percent = nullptr) {
  const TXmlAttribute* a = node.AttributeList().Find(name);
  if (!a) return false;
  TSVGLength len;
  if (!TryParseLength(a->Value(), len)) return false;
  out = len.Unit == luPercent ? len.Value / 100 : len.Value * CssUnitToPx(len.Unit);
  if (percent) *percent = len.Unit == luPercent;
  return true;
}

// A gradient coordinate in user units: a percentage of userSpaceOnUse
// counts against the viewport's side (base); every other value stands.
float InUserUnits(float value, bool percent, TSVGUnits units, float base) {
  return percent && units == TSVGUnits::UserSpaceOnUse ? value * base : value;
}

}  // namespace

// --- stop -----------------------------------------------------------------------------

void TSVGStop::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGObject::ReadFromXML(node, context);
  float offset = 0;
  if (ReadFraction(node, "offset", offset)) FStop = std::clamp(offset, 0.0f, 1.0f);
}

void TSVGStop::CopyFrom(const TSVGObject& source) {
  TSVGObject::CopyFrom(source);
  if (const auto* s = dynamic_cast<const TSVGStop*>(&source)) FStop = s->FStop;
}

// --- paint servers ------------------------------------------------------------------------

void TSVGFiller::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGObject::ReadFromXML(node, context);
}

void TSVGGradient::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGFiller::ReadFromXML(node, context);
  m_units = TSVGUnits::ObjectBoundingBox;
  const std::string_view units = TrimBlanks(node.GetAttribute("gradientUnits"));
  if (units == "userSpaceOnUse" || units == "objectBoundingBox") {
    m_hasUnits = true;
    m_units = units == "userSpaceOnUse" ? TSVGUnits::UserSpaceOnUse : TSVGUnits::ObjectBoundingBox;
  }
  const std::string_view spread = TrimBlanks(node.GetAttribute("spreadMethod"));
  if (spread == "pad" || spread == "reflect" || spread == "repeat") {
    m_hasSpread = true;
    m_spread = spread == "reflect" ? TSpreadMethod::Reflect : spread == "repeat" ? TSpreadMethod::Repeat : TSpreadMethod::Pad;
  }
  if (const TXmlAttribute* a = node.AttributeList().Find("gradientTransform")) {
    TMatrix m;
    if (TryParseTransform(a->Value(), m)) {
      FMatrix = m;
      m_hasTransform = true;
    }
  }
  FURI = LocalId(HrefOf(node));
}

std::unique_ptr<TSVGObject> TSVGGradient::CreateChildElement(std::string_view local) const {
  return local == "stop" ? std::make_unique<TSVGStop>() : nullptr;
}

void TSVGGradient::EndOfElement(TSVGReadContext&) {
  // Offsets never go back: a stop before the previous one sits on it.
  float previous = 0;
  for (int i = 0; i < Count(); ++i) {
    if (auto* stop = dynamic_cast<TSVGStop*>(Items(i))) {
      stop->FStop = std::max(stop->FStop, previous);
      previous = stop->FStop;
    }
  }
}

void TSVGGradient::CopyFrom(const TSVGObject& source) {
  TSVGFiller::CopyFrom(source);
  if (const auto* g = dynamic_cast<const TSVGGradient*>(&source)) {
    FURI = g->FURI;
    m_units = g->m_units;
    m_spread = g->m_spread;
    m_hasUnits = g->m_hasUnits;
    m_hasSpread = g->m_hasSpread;
    m_hasTransform = g->m_hasTransform;
    m_stopSource = g->m_stopSource == g ? nullptr : g->m_stopSource;
  }
}

void TSVGGradient::InheritFrom(const TSVGGradient& source) {
  if (!m_hasUnits && source.m_hasUnits) {
    m_units = source.m_units;
    m_hasUnits = true;
  }
  if (!m_hasSpread && source.m_hasSpread) {
    m_spread = source.m_spread;
    m_hasSpread = true;
  }
  if (!m_hasTransform && source.m_hasTransform) {
    FMatrix = source.FMatrix;
    m_hasTransform = true;
  }
}

std::vector<const TSVGStop*> TSVGGradient::EffectiveStops() const {
  const TSVGGradient* source = Count() > 0 ? this : m_stopSource;
  std::vector<const TSVGStop*> stops;
  if (!source) return stops;
  for (int i = 0; i < source->Count(); ++i)
    if (const auto* s = dynamic_cast<const TSVGStop*>(source->Items(i))) stops.push_back(s);
  return stops;
}

void TSVGGradient::ComposeColors(uint8_t alpha, TColors& colors) const {
  const std::vector<const TSVGStop*> stops = EffectiveStops();
  colors.ColorArray.clear();
  colors.OffsetArray.clear();
  colors.StopCount = 0;
  if (stops.empty()) return;
  auto color = [&](const TSVGStop* s) {
    const double a = double(alpha) * s->Opacity() * (ColorAlpha(s->StopColor()) / 255.0);
    return (TAlphaColor(std::lround(a)) << 24) | (s->StopColor() & 0x00FFFFFFu);
  };
  if (stops.front()->Stop() > 0) {
    colors.ColorArray.push_back(color(stops.front()));
    colors.OffsetArray.push_back(0);
  }
  for (const TSVGStop* s : stops) {
    colors.ColorArray.push_back(color(s));
    colors.OffsetArray.push_back(s->Stop());
  }
  if (stops.back()->Stop() < 1) {
    colors.ColorArray.push_back(color(stops.back()));
    colors.OffsetArray.push_back(1);
  }
  colors.StopCount = int(colors.ColorArray.size());
}

bool TSVGGradient::LastStopColor(TAlphaColor& color) const {
  const std::vector<const TSVGStop*> stops = EffectiveStops();
  if (stops.empty()) return false;
  const TSVGStop* s = stops.back();
  color = (TAlphaColor(std::lround(ColorAlpha(s->StopColor()) * s->Opacity())) << 24) |
          (s->StopColor() & 0x00FFFFFFu);
  return true;
}

void TSVGLinearGradient::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGGradient::ReadFromXML(node, context);
  for (TCoord* c : {&FX1, &FY1, &FX2, &FY2}) {
    const char* name = c == &FX1 ? "x1" : c == &FY1 ? "y1" : c == &FX2 ? "x2" : "y2";
    TCoord read;
    if (ReadFraction(node, name, read.Value, &read.Percent)) *c = {read.Value, true, read.Percent};
  }
}

void TSVGLinearGradient::CopyFrom(const TSVGObject& source) {
  TSVGGradient::CopyFrom(source);
  if (const auto* g = dynamic_cast<const TSVGLinearGradient*>(&source)) {
    FX1 = g->FX1;
    FY1 = g->FY1;
    FX2 = g->FX2;
    FY2 = g->FY2;
  }
}

void TSVGLinearGradient::InheritFrom(const TSVGGradient& source) {
  TSVGGradient::InheritFrom(source);
  if (const auto* g = dynamic_cast<const TSVGLinearGradient*>(&source)) {
    for (auto [own, other] : {std::pair{&FX1, &g->FX1}, {&FY1, &g->FY1}, {&FX2, &g->FX2}, {&FY2, &g->FY2}})
      if (!own->Set && other->Set) *own = *other;
  }
}

void TSVGRadialGradient::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGGradient::ReadFromXML(node, context);
  for (TCoord* c : {&m_cx, &m_cy, &m_r, &m_fx, &m_fy, &m_fr}) {
    const char* name = c == &m_cx ? "cx" : c == &m_cy ? "cy" : c == &m_r ? "r" : c == &m_fx ? "fx" : c == &m_fy ? "fy" : "fr";
    TCoord read;
    // Radii may not be negative.
    if (ReadFraction(node, name, read.Value, &read.Percent) && (read.Value >= 0 || (c != &m_r && c != &m_fr)))
      *c = {read.Value, true, read.Percent};
  }
}

void TSVGRadialGradient::CopyFrom(const TSVGObject& source) {
  TSVGGradient::CopyFrom(source);
  if (const auto* g = dynamic_cast<const TSVGRadialGradient*>(&source)) {
    m_cx = g->m_cx;
    m_cy = g->m_cy;
    m_r = g->m_r;
    m_fx = g->m_fx;
    m_fy = g->m_fy;
    m_fr = g->m_fr;
  }
}

void TSVGRadialGradient::InheritFrom(const TSVGGradient& source) {
  TSVGGradient::InheritFrom(source);
  if (const auto* g = dynamic_cast<const TSVGRadialGradient*>(&source)) {
    for (auto [own, other] : {std::pair{&m_cx, &g->m_cx}, {&m_cy, &g->m_cy}, {&m_r, &g->m_r}, {&m_fx, &g->m_fx},
                              {&m_fy, &g->m_fy}, {&m_fr, &g->m_fr}})
      if (!own->Set && other->Set) *own = *other;
  }
}

TPointF TSVGLinearGradient::Start(TPointF viewport) const {
  return {InUserUnits(FX1.Value, FX1.Percent, GradientUnits(), viewport.X),
          InUserUnits(FY1.Value, FY1.Percent, GradientUnits(), viewport.Y)};
}

TPointF TSVGLinearGradient::End(TPointF viewport) const {
  return {InUserUnits(FX2.Value, FX2.Percent, GradientUnits(), viewport.X),
          InUserUnits(FY2.Value, FY2.Percent, GradientUnits(), viewport.Y)};
}

TPointF TSVGRadialGradient::Center(TPointF viewport) const {
  return {InUserUnits(m_cx.Value, m_cx.Percent, GradientUnits(), viewport.X),
          InUserUnits(m_cy.Value, m_cy.Percent, GradientUnits(), viewport.Y)};
}

TPointF TSVGRadialGradient::Focal(TPointF viewport) const {
  const TCoord& fx = m_fx.Set ? m_fx : m_cx;
  const TCoord& fy = m_fy.Set ? m_fy : m_cy;
  return {InUserUnits(fx.Value, fx.Percent, GradientUnits(), viewport.X),
          InUserUnits(fy.Value, fy.Percent, GradientUnits(), viewport.Y)};
}

float TSVGRadialGradient::Radius(TPointF viewport) const {
  const float diagonal = float(std::sqrt((double(viewport.X) * viewport.X + double(viewport.Y) * viewport.Y) / 2));
  return InUserUnits(m_r.Value, m_r.Percent, GradientUnits(), diagonal);
}

float TSVGRadialGradient::FocalRadius(TPointF viewport) const {
  const float diagonal = float(std::sqrt((double(viewport.X) * viewport.X + double(viewport.Y) * viewport.Y) / 2));
  return InUserUnits(m_fr.Value, m_fr.Percent, GradientUnits(), diagonal);
}

// --- pattern ----------------------------------------------------------------------------

void TSVGPattern::ReadFromXML(const TXmlNode& node, TSVGReadContext& context) {
  TSVGFiller::ReadFromXML(node, context);
  const std::string_view units = TrimBlanks(node.GetAttribute("patternUnits"));
  if (units == "userSpaceOnUse" || units == "objectBoundingBox") {
    m_has[0] = true;
    m_units = units == "userSpaceOnUse" ? TSVGUnits::UserSpaceOnUse : TSVGUnits::ObjectBoundingBox;
  }
  const std::string_view content = TrimBlanks(node.GetAttribute("patternContentUnits"));
  if (content == "userSpaceOnUse" || content == "objectBoundingBox") {
    m_has[1] = true;
    m_contentUnits = content == "userSpaceOnUse" ? TSVGUnits::UserSpaceOnUse : TSVGUnits::ObjectBoundingBox;
  }
  if (const TXmlAttribute* a = node.AttributeList().Find("patternTransform")) {
    TMatrix m;
    if (TryParseTransform(a->Value(), m)) {
      FMatrix = m;
      m_has[2] = true;
    }
  }
  m_viewport.Read(node, context);
  m_has[3] = m_viewport.HasViewBox;
  m_has[4] = ReadFraction(node, "x", m_tile.Left);
  m_has[5] = ReadFraction(node, "y", m_tile.Top);
  m_has[6] = ReadFraction(node, "width", m_tile.Width);
  m_has[7] = ReadFraction(node, "height", m_tile.Height);
  FURI = LocalId(HrefOf(node));
}

void TSVGPattern::CopyFrom(const TSVGObject& source) {
  TSVGFiller::CopyFrom(source);
  if (const auto* p = dynamic_cast<const TSVGPattern*>(&source)) {
    FURI = p->FURI;
    m_units = p->m_units;
    m_contentUnits = p->m_contentUnits;
    m_viewport = p->m_viewport;
    m_tile = p->m_tile;
    std::copy(std::begin(p->m_has), std::end(p->m_has), m_has);
    m_contentSource = p->m_contentSource == p ? nullptr : p->m_contentSource;
  }
}

void TSVGPattern::InheritFrom(const TSVGPattern& source) {
  if (!m_has[0] && source.m_has[0]) m_units = source.m_units, m_has[0] = true;
  if (!m_has[1] && source.m_has[1]) m_contentUnits = source.m_contentUnits, m_has[1] = true;
  if (!m_has[2] && source.m_has[2]) FMatrix = source.FMatrix, m_has[2] = true;
  if (!m_has[3] && source.m_has[3]) {
    m_viewport.ViewBox = source.m_viewport.ViewBox;
    m_viewport.HasViewBox = true;
    m_viewport.AspectRatio = source.m_viewport.AspectRatio;
    m_has[3] = true;
  }
  if (!m_has[4] && source.m_has[4]) m_tile.Left = source.m_tile.Left, m_has[4] = true;
  if (!m_has[5] && source.m_has[5]) m_tile.Top = source.m_tile.Top, m_has[5] = true;
  if (!m_has[6] && source.m_has[6]) m_tile.Width = source.m_tile.Width, m_has[6] = true;
  if (!m_has[7] && source.m_has[7]) m_tile.Height = source.m_tile.Height, m_has[7] = true;
}

}  // namespace karto
