#pragma once
// Value types shared by the SVG value parsers and the SVG document model.

#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace karto {

// A rectangle by its origin and size, as a "viewBox" gives it.
struct TFRect {
  float Left = 0;
  float Top = 0;
  float Width = 0;
  float Height = 0;
  constexpr bool operator==(const TFRect& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
  constexpr bool operator!=(const TFRect& o) const { return !(*this == o); }
};

// The four corners of an element after its transform, as last computed.
struct TBounds {
  TPointF TopLeft;
  TPointF TopRight;
  TPointF BottomLeft;
  TPointF BottomRight;
};

// A list of numbers, such as a dash array.
using TSingleA = std::vector<float>;

enum class TGradientUnits { guObjectBoundingBox = 0, guUserSpaceOnUse = 1 };
constexpr TGradientUnits guObjectBoundingBox = TGradientUnits::guObjectBoundingBox;
constexpr TGradientUnits guUserSpaceOnUse = TGradientUnits::guUserSpaceOnUse;

// Length units with the codes of the document model; the factors are in
// LengthUnitFactor. The CSS units after luPercent: Q (quarter millimetres),
// rem (the root's font size), ch (half the font size, the usual width of a
// "0"), and hundredths of the viewport's width, height, smaller or larger
// side.
enum class TLengthUnit : uint8_t {
  luNone = 0, luPx, luPt, luPc, luMm, luCm, luIn, luEm, luEx, luPercent,
  luQ, luRem, luCh, luVw, luVh, luVmin, luVmax
};
constexpr TLengthUnit luNone = TLengthUnit::luNone;
constexpr TLengthUnit luPx = TLengthUnit::luPx;
constexpr TLengthUnit luPt = TLengthUnit::luPt;
constexpr TLengthUnit luPc = TLengthUnit::luPc;
constexpr TLengthUnit luMm = TLengthUnit::luMm;
constexpr TLengthUnit luCm = TLengthUnit::luCm;
constexpr TLengthUnit luIn = TLengthUnit::luIn;
constexpr TLengthUnit luEm = TLengthUnit::luEm;
constexpr TLengthUnit luEx = TLengthUnit::luEx;
constexpr TLengthUnit luPercent = TLengthUnit::luPercent;
constexpr TLengthUnit luQ = TLengthUnit::luQ;
constexpr TLengthUnit luRem = TLengthUnit::luRem;
constexpr TLengthUnit luCh = TLengthUnit::luCh;
constexpr TLengthUnit luVw = TLengthUnit::luVw;
constexpr TLengthUnit luVh = TLengthUnit::luVh;
constexpr TLengthUnit luVmin = TLengthUnit::luVmin;
constexpr TLengthUnit luVmax = TLengthUnit::luVmax;

// "text-decoration": a set of these flags.
enum TTextDecorationItem : uint8_t {
  tdInherit = 1 << 0,
  tdUnderLine = 1 << 1,
  tdOverLine = 1 << 2,
  tdStrikeOut = 1 << 3,
};

class TTextDecoration {
 public:
  constexpr TTextDecoration() = default;
  constexpr TTextDecoration(TTextDecorationItem item) : m_bits(item) {}  // NOLINT: a set of one
  constexpr bool Contains(TTextDecorationItem item) const { return (m_bits & item) != 0; }
  constexpr bool IsEmpty() const { return m_bits == 0; }
  constexpr void Include(TTextDecorationItem item) { m_bits = uint8_t(m_bits | item); }
  constexpr void Exclude(TTextDecorationItem item) { m_bits = uint8_t(m_bits & ~item); }
  constexpr bool operator==(TTextDecoration o) const { return m_bits == o.m_bits; }
  constexpr bool operator!=(TTextDecoration o) const { return m_bits != o.m_bits; }

 private:
  uint8_t m_bits = 0;
};

// "display" and "visibility" states.
constexpr int kInheritState = -1;
constexpr int kHiddenState = 0;
constexpr int kShownState = 1;

}  // namespace karto
