#include "platform/Matrix.h"

#include <cmath>

namespace karto {

TMatrix TMatrix::CreateTranslation(float dx, float dy) {
  TMatrix m;
  m.m31 = dx;
  m.m32 = dy;
  return m;
}

TMatrix TMatrix::CreateScaling(float sx, float sy) {
  TMatrix m;
  m.m11 = sx;
  m.m22 = sy;
  return m;
}

TMatrix TMatrix::CreateRotation(float radians) {
  const double c = std::cos(double(radians));
  const double s = std::sin(double(radians));
  TMatrix m;
  m.m11 = float(c);
  m.m12 = float(s);
  m.m21 = float(-s);
  m.m22 = float(c);
  return m;
}

TMatrix TMatrix::operator*(const TMatrix& b) const {
  const TMatrix& a = *this;
  TMatrix r;
  r.m11 = a.m11 * b.m11 + a.m12 * b.m21 + a.m13 * b.m31;
  r.m12 = a.m11 * b.m12 + a.m12 * b.m22 + a.m13 * b.m32;
  r.m13 = a.m11 * b.m13 + a.m12 * b.m23 + a.m13 * b.m33;
  r.m21 = a.m21 * b.m11 + a.m22 * b.m21 + a.m23 * b.m31;
  r.m22 = a.m21 * b.m12 + a.m22 * b.m22 + a.m23 * b.m32;
  r.m23 = a.m21 * b.m13 + a.m22 * b.m23 + a.m23 * b.m33;
  r.m31 = a.m31 * b.m11 + a.m32 * b.m21 + a.m33 * b.m31;
  r.m32 = a.m31 * b.m12 + a.m32 * b.m22 + a.m33 * b.m32;
  r.m33 = a.m31 * b.m13 + a.m32 * b.m23 + a.m33 * b.m33;
  return r;
}

float TMatrix::Determinant() const {
  return m11 * (m22 * m33 - m23 * m32) - m12 * (m21 * m33 - m23 * m31) +
         m13 * (m21 * m32 - m22 * m31);
}

TMatrix TMatrix::Inverse() const {
  // Affine inverse in double precision, so that mapping a point to absolute
  // coordinates and back returns it within float rounding.
  const double a = m11, b = m12, c = m21, d = m22, e = m31, f = m32;
  const double det = a * d - b * c;
  if (det == 0 || !std::isfinite(det)) return Identity();
  TMatrix r;
  r.m11 = float(d / det);
  r.m12 = float(-b / det);
  r.m21 = float(-c / det);
  r.m22 = float(a / det);
  r.m31 = float((c * f - d * e) / det);
  r.m32 = float((b * e - a * f) / det);
  return r;
}

bool TMatrix::operator==(const TMatrix& o) const {
  return m11 == o.m11 && m12 == o.m12 && m13 == o.m13 && m21 == o.m21 && m22 == o.m22 &&
         m23 == o.m23 && m31 == o.m31 && m32 == o.m32 && m33 == o.m33;
}

}  // namespace karto
