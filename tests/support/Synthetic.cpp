#include "tests/support/Synthetic.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <random>

namespace karto::synthetic {

namespace {

// Small, fast, well-mixed hash for per-pixel noise: no state to share
// between rows, so rows can be filled in any order.
inline uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return h;
}

inline int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

void DrawStrokes(QImage& img, int strokes, uint32_t seed, bool antialias, QColor ink, double maxLen) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> ux(0, img.width()), uy(0, img.height()), u01(0, 1);
  std::uniform_int_distribution<int> width(1, 6);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, antialias);
  for (int i = 0; i < strokes; ++i) {
    QPen pen(ink, width(rng));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    QPainterPath path;
    QPointF a(ux(rng), uy(rng));
    path.moveTo(a);
    const double angle = u01(rng) * 6.2831853;
    const double len = 20 + u01(rng) * maxLen;
    const QPointF b = a + QPointF(std::cos(angle) * len, std::sin(angle) * len);
    if (u01(rng) < 0.5) {
      path.lineTo(b);
    } else {
      const QPointF c1 = a + QPointF((u01(rng) - 0.5) * len, (u01(rng) - 0.5) * len);
      const QPointF c2 = b + QPointF((u01(rng) - 0.5) * len, (u01(rng) - 0.5) * len);
      path.cubicTo(c1, c2, b);
    }
    p.drawPath(path);
  }
}

}  // namespace

TBitmap PhotoLike(int width, int height, uint32_t seed) {
  TBitmap b(width, height);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0, 1);
  struct Blob {
    float x, y, r, cr, cg, cb;
  };
  Blob blobs[6];
  for (Blob& bl : blobs)
    bl = {u(rng) * width, u(rng) * height, (0.1f + 0.3f * u(rng)) * std::max(width, height),
          u(rng) * 255, u(rng) * 255, u(rng) * 255};
  uint32_t* base = b.Bits();
  const size_t stride = size_t(b.Stride());
  for (int y = 0; y < height; ++y) {
    uint32_t* row = base + size_t(y) * stride;
    for (int x = 0; x < width; ++x) {
      float r = 90 + 80.0f * x / width, g = 110 + 60.0f * y / height, bl = 140 - 50.0f * x / width;
      for (const Blob& o : blobs) {
        const float dx = x - o.x, dy = y - o.y;
        const float w = std::exp(-(dx * dx + dy * dy) / (o.r * o.r));
        r += (o.cr - r) * w * 0.7f;
        g += (o.cg - g) * w * 0.7f;
        bl += (o.cb - bl) * w * 0.7f;
      }
      const int n = int(Hash(uint32_t(x), uint32_t(y), seed) % 17) - 8;
      row[x] = 0xFF000000u | uint32_t(Clamp(int(r) + n)) << 16 | uint32_t(Clamp(int(g) + n)) << 8 |
               uint32_t(Clamp(int(bl) + n));
    }
  }
  // A few hard-edged objects.
  QImage img = b.Image();
  {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int i = 0; i < 8; ++i) {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(int(u(rng) * 255), int(u(rng) * 255), int(u(rng) * 255)));
      const QRectF r(u(rng) * width, u(rng) * height, (0.05 + 0.15 * u(rng)) * width, (0.05 + 0.15 * u(rng)) * height);
      if (i % 2) p.drawEllipse(r);
      else p.drawRect(r);
    }
  }
  return TBitmap(img);
}

TBitmap LineDrawingPhoto(int width, int height, uint32_t seed) {
  TBitmap b(width, height);
  uint32_t* base = b.Bits();
  const size_t stride = size_t(b.Stride());
  for (int y = 0; y < height; ++y) {
    uint32_t* row = base + size_t(y) * stride;
    for (int x = 0; x < width; ++x) {
      // Light falls from the top left: 245 there, 185 in the far corner.
      const float light = 245.0f - 60.0f * (float(x) / width + float(y) / height) / 2.0f;
      const int n = int(Hash(uint32_t(x), uint32_t(y), seed) % 9) - 4;
      const int v = Clamp(int(light) + n);
      row[x] = 0xFF000000u | uint32_t(v) << 16 | uint32_t(v) << 8 | uint32_t(Clamp(v - 6));
    }
  }
  QImage img = b.Image();
  const int strokes = std::max(4, width * height / 20000);
  DrawStrokes(img, strokes, seed, true, QColor(30, 30, 45), std::min(width, height) / 3.0);
  return TBitmap(img);
}

TBitmap StrokesOnWhite(int width, int height, int strokes, uint32_t seed) {
  QImage img(width, height, QImage::Format_ARGB32);
  img.fill(Qt::white);
  DrawStrokes(img, strokes, seed, false, Qt::black, 120);
  return TBitmap(img);
}

void DrawHouse(TBitmap& picture, TAlphaColor ink, bool antialias) {
  QImage img = picture.Image();
  const double sx = img.width() / 800.0, sy = img.height() / 600.0;
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, antialias);
  p.scale(sx, sy);
  auto pen = [&](double w) {
    QPen q(QColor(ColorRed(ink), ColorGreen(ink), ColorBlue(ink), ColorAlpha(ink)), w);
    q.setCapStyle(Qt::RoundCap);
    q.setJoinStyle(Qt::RoundJoin);
    p.setPen(q);
    p.setBrush(Qt::NoBrush);
  };
  // Ground.
  pen(3);
  p.drawLine(QPointF(40, 500), QPointF(760, 500));
  // House: walls, roof, door, windows.
  pen(5);
  p.drawRect(QRectF(180, 300, 260, 200));
  p.drawPolyline(QPolygonF({QPointF(160, 310), QPointF(310, 180), QPointF(460, 310)}));
  pen(4);
  p.drawRect(QRectF(285, 400, 50, 100));
  pen(3);
  for (double x : {205.0, 365.0}) {
    p.drawRect(QRectF(x, 340, 50, 45));
    p.drawLine(QPointF(x + 25, 340), QPointF(x + 25, 385));
    p.drawLine(QPointF(x, 362), QPointF(x + 50, 362));
  }
  // Chimney.
  pen(4);
  p.drawPolyline(QPolygonF({QPointF(380, 245), QPointF(380, 195), QPointF(410, 195), QPointF(410, 270)}));
  // Sun with rays.
  pen(3);
  p.drawEllipse(QPointF(640, 120), 45, 45);
  pen(2);
  for (int i = 0; i < 12; ++i) {
    const double a = i * 3.14159265 / 6;
    p.drawLine(QPointF(640 + 60 * std::cos(a), 120 + 60 * std::sin(a)),
               QPointF(640 + 85 * std::cos(a), 120 + 85 * std::sin(a)));
  }
  // Tree.
  pen(5);
  p.drawLine(QPointF(600, 500), QPointF(600, 380));
  pen(3);
  QPainterPath crown;
  crown.moveTo(600, 380);
  crown.cubicTo(520, 390, 520, 290, 580, 290);
  crown.cubicTo(590, 240, 660, 250, 660, 300);
  crown.cubicTo(700, 310, 690, 390, 600, 380);
  p.drawPath(crown);
  // Fence.
  pen(2);
  for (double x = 470; x <= 560; x += 15) p.drawLine(QPointF(x, 500), QPointF(x, 455));
  p.drawLine(QPointF(465, 470), QPointF(565, 470));
  // A winding path to the door.
  pen(2);
  QPainterPath walk;
  walk.moveTo(300, 500);
  walk.cubicTo(280, 530, 330, 550, 250, 590);
  p.drawPath(walk);
  QPainterPath walk2;
  walk2.moveTo(320, 500);
  walk2.cubicTo(310, 530, 360, 550, 290, 590);
  p.drawPath(walk2);
  // A signature-like scribble.
  pen(2);
  QPainterPath sig;
  sig.moveTo(60, 80);
  for (int i = 0; i < 6; ++i) sig.cubicTo(70 + i * 25, 40, 85 + i * 25, 110, 95 + i * 25, 80);
  p.drawPath(sig);
  p.end();
  picture = TBitmap(img);
}

}  // namespace karto::synthetic
