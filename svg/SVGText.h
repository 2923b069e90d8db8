#pragma once
// Text elements of the SVG document model. Included by svg/SVG.h.
//
// A "text" element keeps its content in document order as children: runs of
// characters (TSVGTextContent) and the "tspan", "textPath" and "a" elements
// among them, each with its own position lists. White space is handled when
// the document is read, as xml:space says: by default line breaks are
// removed, tabs become spaces, runs of spaces collapse to one across the
// whole text element, and the spaces at its start and end go; with
// "preserve" every line break and tab becomes a space and nothing collapses.

namespace karto {

// A run of characters inside a text element, white space already handled.
class TSVGTextContent : public TSVGObject {
 public:
  TSVGTextContent() { m_kinds |= skTextContent; }
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGTextContent>(); }
  void CopyFrom(const TSVGObject& source) override;
  const std::string& Text() const { return FText; }
  void SetText(std::string text) { FText = std::move(text); }

 private:
  std::string FText;
};

class TSVGCustomText : public TSVGBasic {
 public:
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  // tspan, a (as a tspan) and textPath; other elements inside text draw nothing.
  std::unique_ptr<TSVGObject> CreateChildElement(std::string_view local) const override;
  // Characters become runs, in document order among the child elements.
  void AddCharacters(std::string_view text, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;

  // All characters of this element and its descendants, in order.
  std::string Text() const;
  // The position lists as written, in user units once resolved: a value per
  // character from the first character of this element on.
  // (Resolved when asked: a document holds many text elements.)
  std::vector<float> XList() const { return Resolved(m_xLengths, TAxis::Horizontal); }
  std::vector<float> YList() const { return Resolved(m_yLengths, TAxis::Vertical); }
  std::vector<float> DXList() const { return Resolved(m_dxLengths, TAxis::Horizontal); }
  std::vector<float> DYList() const { return Resolved(m_dyLengths, TAxis::Vertical); }
  // Degrees per character; the last value holds for the rest.
  const std::vector<float>& RotateList() const { return m_rotate; }
  bool HasX() const { return !m_xLengths.empty(); }
  bool HasY() const { return !m_yLengths.empty(); }
  // textLength and lengthAdjust ("spacingAndGlyphs" when true).
  bool HasTextLength() const { return m_textLength.Set; }
  float TextLength() const { return m_textLengthValue; }
  bool LengthAdjustGlyphs() const { return m_adjustGlyphs; }

 protected:
  // x and y are lists here, read with dx and dy, not single lengths.
  TLengthAttr* LengthSlot(std::string_view name, bool& nonNegative) override {
    return name == "x" || name == "y" ? nullptr : TSVGBasic::LengthSlot(name, nonNegative);
  }
  std::vector<TSVGLength> m_xLengths, m_yLengths, m_dxLengths, m_dyLengths;
  std::vector<float> Resolved(const std::vector<TSVGLength>& lengths, TAxis axis) const;
  std::vector<float> m_rotate;
  TLengthAttr m_textLength;
  float m_textLengthValue = 0;
  bool m_adjustGlyphs = false;
};

class TSVGText : public TSVGCustomText {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGText>(); }
  // A whole text element is read: white space is handled across its runs.
  void EndOfElement(TSVGReadContext& context) override;
};

class TSVGTSpan : public TSVGText {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGTSpan>(); }
  void EndOfElement(TSVGReadContext&) override {}
};

enum class TTextPathMethod : uint8_t { tpmAlign, tpmStretch };
enum class TTextPathSpacing : uint8_t { tpsAuto, tpsExact };
enum class TTextPathSide : uint8_t { Left, Right };

class TSVGTextPath : public TSVGCustomText {
 public:
  std::unique_ptr<TSVGObject> CreateEmpty() const override { return std::make_unique<TSVGTextPath>(); }
  void ReadFromXML(const TXmlNode& node, TSVGReadContext& context) override;
  void CopyFrom(const TSVGObject& source) override;
  void ResolveGeometry() override;
  // The "href" as written ("#id"), and the path it names when resolved.
  const std::string& PathRef() const { return FPathRef; }
  // startOffset in user units, or as a fraction of the path length.
  float Offset() const { return FOffset; }
  bool OffsetIsPercent() const { return FOffsetIsPercent; }
  TTextPathMethod Method() const { return FMethod; }
  TTextPathSpacing Spacing() const { return FSpacing; }
  TTextPathSide Side() const { return FSide; }

 private:
  std::string FPathRef;
  TLengthAttr m_offset;
  float FOffset = 0;
  bool FOffsetIsPercent = false;
  TTextPathMethod FMethod = TTextPathMethod::tpmAlign;
  TTextPathSpacing FSpacing = TTextPathSpacing::tpsAuto;
  TTextPathSide FSide = TTextPathSide::Left;
};

// Applies xml:space white-space handling to every run of a text element
// (the whole element at once, since spaces collapse across its tspans).
void NormalizeTextWhiteSpace(TSVGCustomText& text);

}  // namespace karto
