#pragma once
// Paint servers of the SVG document model: gradient stops, linear and
// radial gradients and patterns. Included by svg/SVG.h.
//
// Gradients are read completely: units, geometry (percentages as fractions),
// gradientTransform, spreadMethod, the radial focal point and radius, and
// every attribute and the stops inherited through "href" chains (resolved by
// ResolveReferences in the expansion stage; cycles stop the chain).

namespace karto {

class TSVGStop : public TSVGObject {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGStop>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  // The offset clamped to 0 ... 1 (and not below the previous stop's, once
  // the gradient has ordered its stops).
  float Stop() const { return FStop; }
  // "stop-color" and "stop-opacity" from attributes, style sheet and
  // "style", currentColor resolved.
  TAlphaColor StopColor() const { return Style().StopColor; }
  float Opacity() const { return Style().StopOpacity; }

 private:
  friend class TSVGGradient;
  float FStop = 0;
};

// The abstract paint server.
class TSVGFiller : public TSVGMatrix {
 public:
  TSVGFiller() { m_kinds |= skFiller | skReferenceOnly; }
  // A paint server's transform applies to the paint, not to the coordinates
  // of its content.
  TMatrix LocalMatrix() const override { return TMatrix::Zero(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
};

enum class TSpreadMethod : uint8_t { Pad, Reflect, Repeat };

// A colour table as a brush needs it.
struct TColors {
  std::vector<TAlphaColor> ColorArray;
  std::vector<float> OffsetArray;
  int StopCount = 0;
};

class TSVGGradient : public TSVGFiller {
 public:
  TSVGGradient() { m_kinds |= skGradient; }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  // Stops are its only children.
  std::unique_ptr<TSVGObject> CreateChildElement(std::string_view local) const override;
  void EndOfElement(TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;

  // The id of the gradient this one inherits from (href without "#").
  const std::string& URI() const { return FURI; }
  TSVGUnits GradientUnits() const { return m_units; }
  TSpreadMethod SpreadMethod() const { return m_spread; }
  // gradientTransform (unset when absent).
  const TMatrix& GradientTransform() const { return FMatrix; }
  // The stops in effect: its own, or when it has none those of the first
  // gradient up the href chain that has some.
  std::vector<const TSVGStop*> EffectiveStops() const;
  // The colour table: each stop's colour with alpha × its opacity, a leading
  // entry at 0 and a trailing one at 1 when the stops do not reach them.
  void ComposeColors(uint8_t alpha, TColors& colors) const;
  // The colour of the last effective stop with its opacity (a stand-in for
  // drawing code that paints solid colours only); false without stops.
  bool LastStopColor(TAlphaColor& color) const;
  // Takes the attributes this gradient does not set from source (a gradient
  // up its href chain).
  virtual void InheritFrom(const TSVGGradient& source);

 protected:
  friend class TSVG;
  std::string FURI;
  TSVGUnits m_units = TSVGUnits::ObjectBoundingBox;
  TSpreadMethod m_spread = TSpreadMethod::Pad;
  bool m_hasUnits = false, m_hasSpread = false, m_hasTransform = false;
  const TSVGGradient* m_stopSource = nullptr;  // set by href resolution
};

// Coordinates of gradients: numbers, or fractions for percentages; in user
// units or fractions of the bounding box, as GradientUnits says.
class TSVGLinearGradient : public TSVGGradient {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGLinearGradient>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void InheritFrom(const TSVGGradient& source) override;
  float X1() const { return FX1.Value; }
  float Y1() const { return FY1.Value; }
  float X2() const { return FX2.Value; }
  float Y2() const { return FY2.Value; }
  // The ends in the units GradientUnits says; percentages of user space
  // count against the referencing element's viewport.
  TPointF Start(TPointF viewport) const;
  TPointF End(TPointF viewport) const;

 private:
  struct TCoord {
    float Value;
    bool Set = false;
    bool Percent = false;
  };
  // The defaults are percentages: from 0% to 100%.
  TCoord FX1{0, false, true}, FY1{0, false, true}, FX2{1, false, true}, FY2{0, false, true};
};

class TSVGRadialGradient : public TSVGGradient {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGRadialGradient>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void InheritFrom(const TSVGGradient& source) override;
  float CX() const { return m_cx.Value; }
  float CY() const { return m_cy.Value; }
  float R() const { return m_r.Value; }
  // The focal point defaults to the centre.
  float FX() const { return m_fx.Set ? m_fx.Value : m_cx.Value; }
  float FY() const { return m_fy.Set ? m_fy.Value : m_cy.Value; }
  float FR() const { return m_fr.Value; }
  // In the units GradientUnits says; percentages of user space count
  // against the referencing element's viewport (radii against its
  // normalised diagonal).
  TPointF Center(TPointF viewport) const;
  TPointF Focal(TPointF viewport) const;
  float Radius(TPointF viewport) const;
  float FocalRadius(TPointF viewport) const;

 private:
  struct TCoord {
    float Value;
    bool Set = false;
    bool Percent = false;
  };
  TCoord m_cx{0.5f, false, true}, m_cy{0.5f, false, true}, m_r{0.5f, false, true}, m_fx{0.5f, false, true},
      m_fy{0.5f, false, true}, m_fr{0, false, true};
};

// "pattern": a tile of content repeated over the painted area.
class TSVGPattern : public TSVGFiller {
 public:
  TSVGPattern() { m_kinds |= skPattern; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGPattern>(); }
  bool ReadsChildElements() const override { return true; }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  const std::string& URI() const { return FURI; }
  TSVGUnits PatternUnits() const { return m_units; }
  TSVGUnits PatternContentUnits() const { return m_contentUnits; }
  const TMatrix& PatternTransform() const { return FMatrix; }
  const TSVGViewportAttrs& Viewport() const { return m_viewport; }
  // x, y, width, height as written: fractions of the bounding box or user
  // units, as PatternUnits says.
  TFRect Tile() const { return m_tile; }
  // The pattern whose children are the content (this one, or the first up
  // the href chain with children).
  const TSVGPattern* ContentSource() const { return m_contentSource ? m_contentSource : this; }
  void InheritFrom(const TSVGPattern& source);

 private:
  friend class TSVG;
  std::string FURI;
  TSVGUnits m_units = TSVGUnits::ObjectBoundingBox;
  TSVGUnits m_contentUnits = TSVGUnits::UserSpaceOnUse;
  TSVGViewportAttrs m_viewport;
  TFRect m_tile;
  bool m_has[8] = {};  // units, content units, transform, viewBox, x, y, width, height
  const TSVGPattern* m_contentSource = nullptr;
};

}  // namespace karto
