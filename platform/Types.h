#pragma once
// Plain value types shared by the display objects: colours, points, rectangles.

#include <cmath>
#include <cstdint>

namespace karto {

// 32-bit colour $AARRGGBB, alpha in the top byte.
using TAlphaColor = uint32_t;

namespace TAlphaColors {
constexpr TAlphaColor Null = 0x00000000u;
constexpr TAlphaColor Black = 0xFF000000u;
constexpr TAlphaColor White = 0xFFFFFFFFu;
constexpr TAlphaColor Red = 0xFFFF0000u;
constexpr TAlphaColor Blue = 0xFF0000FFu;
constexpr TAlphaColor Grey = 0xFF808080u;
constexpr TAlphaColor Lime = 0xFF00FF00u;
}  // namespace TAlphaColors

inline constexpr uint8_t ColorAlpha(TAlphaColor c) { return uint8_t(c >> 24); }
inline constexpr uint8_t ColorRed(TAlphaColor c) { return uint8_t(c >> 16); }
inline constexpr uint8_t ColorGreen(TAlphaColor c) { return uint8_t(c >> 8); }
inline constexpr uint8_t ColorBlue(TAlphaColor c) { return uint8_t(c); }
inline constexpr TAlphaColor MakeColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return (TAlphaColor(a) << 24) | (TAlphaColor(r) << 16) | (TAlphaColor(g) << 8) | TAlphaColor(b);
}

struct TPointF {
  float X = 0;
  float Y = 0;
  constexpr TPointF() = default;
  constexpr TPointF(float x, float y) : X(x), Y(y) {}
  constexpr TPointF operator+(TPointF o) const { return {X + o.X, Y + o.Y}; }
  constexpr TPointF operator-(TPointF o) const { return {X - o.X, Y - o.Y}; }
  constexpr TPointF operator*(float f) const { return {X * f, Y * f}; }
  constexpr bool operator==(TPointF o) const { return X == o.X && Y == o.Y; }
  constexpr bool operator!=(TPointF o) const { return !(*this == o); }
  float Length() const { return std::sqrt(X * X + Y * Y); }
};

// A rectangle by its edges; Right and Bottom are exclusive in the usual way
// (Width = Right - Left).
struct TRectF {
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
  constexpr TRectF() = default;
  constexpr TRectF(float l, float t, float r, float b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr float Width() const { return Right - Left; }
  constexpr float Height() const { return Bottom - Top; }
  constexpr TPointF TopLeft() const { return {Left, Top}; }
  constexpr TPointF BottomRight() const { return {Right, Bottom}; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(TPointF p) const {
    return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
  }
  constexpr TRectF Inflated(float dx, float dy) const {
    return {Left - dx, Top - dy, Right + dx, Bottom + dy};
  }
  constexpr bool operator==(const TRectF& o) const {
    return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
  }
};

// The smallest rectangle around every point given to Add (empty and not
// Any before the first).
struct TBoundsBuilder {
  bool Any = false;
  TRectF Rect;
  void Add(TPointF p) {
    if (!Any) {
      Rect = {p.X, p.Y, p.X, p.Y};
      Any = true;
      return;
    }
    Rect.Left = p.X < Rect.Left ? p.X : Rect.Left;
    Rect.Top = p.Y < Rect.Top ? p.Y : Rect.Top;
    Rect.Right = p.X > Rect.Right ? p.X : Rect.Right;
    Rect.Bottom = p.Y > Rect.Bottom ? p.Y : Rect.Bottom;
  }
};

}  // namespace karto
