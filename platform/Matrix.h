#pragma once
// 3 x 3 matrix in row-vector form: a point (x, y) maps to
// (x*m11 + y*m21 + m31, x*m12 + y*m22 + m32). A product A * B applies A first.

#include "platform/Types.h"

namespace karto {

struct TMatrix {
  float m11 = 1, m12 = 0, m13 = 0;
  float m21 = 0, m22 = 1, m23 = 0;
  float m31 = 0, m32 = 0, m33 = 1;

  static constexpr TMatrix Identity() { return TMatrix{}; }
  // The all-zero matrix: the "unset" value of the SVG model (m33 is not 1).
  static constexpr TMatrix Zero() { return TMatrix{0, 0, 0, 0, 0, 0, 0, 0, 0}; }
  static TMatrix CreateTranslation(float dx, float dy);
  static TMatrix CreateScaling(float sx, float sy);
  // Rotation by an angle in radians; positive turns +x towards +y (clockwise
  // on screen, where y grows downwards).
  static TMatrix CreateRotation(float radians);

  // A matrix counts as set only when its m33 is exactly 1.
  bool IsSet() const { return m33 == 1.0f; }

  TMatrix operator*(const TMatrix& b) const;
  TPointF Transform(TPointF p) const {
    return {p.X * m11 + p.Y * m21 + m31, p.X * m12 + p.Y * m22 + m32};
  }
  // Maps a vector: the translation row is left out.
  TPointF TransformVector(TPointF v) const { return {v.X * m11 + v.Y * m21, v.X * m12 + v.Y * m22}; }
  float Determinant() const;
  // The inverse of an affine matrix; the identity when it is singular.
  TMatrix Inverse() const;
  bool operator==(const TMatrix& o) const;
};

}  // namespace karto
