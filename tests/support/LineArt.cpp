#include "tests/support/LineArt.h"

#include "platform/Renderer.h"

#include <QBuffer>
#include <QLineF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace karto::lineart {

namespace {

TAlphaColor Argb(int r, int g, int b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }
QColor ToQColor(TAlphaColor c) { return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)); }

// Dark enough to be ink on white paper at the usual threshold.
const TAlphaColor kInks[] = {Argb(20, 40, 140), Argb(150, 20, 20), Argb(20, 110, 40), Argb(90, 30, 120),
                             Argb(110, 60, 20)};

double SegmentDistance(QPointF p, QPointF a, QPointF b) {
  const QPointF ab = b - a, ap = p - a;
  const double len2 = ab.x() * ab.x() + ab.y() * ab.y();
  const double t = len2 > 0 ? std::clamp((ap.x() * ab.x() + ap.y() * ab.y()) / len2, 0.0, 1.0) : 0.0;
  const QPointF d = a + ab * t - p;
  return std::hypot(d.x(), d.y());
}

double PolylineDistance(QPointF p, const std::vector<QPointF>& pts) {
  if (pts.size() == 1) return std::hypot(pts[0].x() - p.x(), pts[0].y() - p.y());
  double best = 1e30;
  for (size_t i = 1; i < pts.size(); ++i) best = std::min(best, SegmentDistance(p, pts[i - 1], pts[i]));
  return best;
}

std::vector<QPointF> Flatten(const QPainterPath& path) {
  std::vector<QPointF> pts;
  for (const QPolygonF& poly : path.toSubpathPolygons())
    for (const QPointF& q : poly) pts.push_back(q);
  return pts;
}

int Grey(QRgb c) {
  const int a = qAlpha(c);
  const int l = (77 * qRed(c) + 150 * qGreen(c) + 29 * qBlue(c) + 128) >> 8;
  return 255 - (a * (255 - l) + 127) / 255;
}

}  // namespace

TLineArt MakeLineArt(int width, int height, int strokes, const TStyle& style, uint32_t seed) {
  TLineArt art;
  art.Name = std::string(style.Shadowed ? "shadowed photo" : style.Photographed ? "photographed" : "clean") + (style.Coloured ? " coloured" : " black") +
             (style.Antialiased ? " anti-aliased" : " hard-edged");
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  const double side = std::min(width, height);
  const auto ink = [&] { return style.Coloured ? kInks[rng() % 5] : Argb(0, 0, 0); };
  const auto point = [&](double margin) {
    return QPointF(margin + u(rng) * (width - 2 * margin), margin + u(rng) * (height - 2 * margin));
  };
  const auto width_ = [&] { return float(std::round((1 + u(rng) * 11) * 2) / 2); };
  for (int i = 0; i < strokes; ++i) {
    TKnownStroke s;
    s.Width = width_();
    s.Color = ink();
    const QPointF a = point(20);
    const double len = side * (0.15 + 0.3 * u(rng)), angle = u(rng) * 2 * M_PI;
    const QPointF dir(std::cos(angle), std::sin(angle));
    QPointF b = a + dir * len;
    b.setX(std::clamp(b.x(), 20.0, width - 20.0));
    b.setY(std::clamp(b.y(), 20.0, height - 20.0));
    s.Path.moveTo(a);
    const int kind = int(rng() % 10);
    if (kind < 5) {
      s.Path.lineTo(b);
    } else if (kind < 8) {
      // A curve bowing to one side.
      const QPointF n(-(b - a).y(), (b - a).x());
      const double bow = 0.2 + 0.4 * u(rng);
      s.Path.cubicTo(a + (b - a) / 3 + n * bow, a + (b - a) * 2 / 3 + n * bow, b);
    } else if (kind < 9) {
      // A corner.
      const QPointF n(-(b - a).y(), (b - a).x());
      s.Path.lineTo((a + b) / 2 + n * 0.4);
      s.Path.lineTo(b);
    } else if (!art.Strokes.empty()) {
      // A stem standing on an earlier stroke: a T-junction.
      const TKnownStroke& base = art.Strokes[rng() % art.Strokes.size()];
      const QPointF m = base.Path.pointAtPercent(0.5);
      const double t = base.Path.angleAtPercent(0.5) * M_PI / 180;
      const QPointF normal(std::sin(t), std::cos(t));
      s.Path = QPainterPath(m);
      QPointF end = m + normal * len * 0.6;
      end.setX(std::clamp(end.x(), 20.0, width - 20.0));
      end.setY(std::clamp(end.y(), 20.0, height - 20.0));
      s.Path.lineTo(end);
      s.Width = std::min(s.Width, base.Width);
    } else {
      s.Path.lineTo(b);
    }
    art.Strokes.push_back(std::move(s));
  }
  for (int i = 0; i < std::max(2, strokes / 6); ++i) {
    TKnownFill f;
    f.Color = ink();
    const QPointF c = point(40);
    if (i % 2) {
      const double r = 3 + 3 * u(rng);  // a dot
      f.Shape.addEllipse(c, r, r);
    } else {
      const double w = side * (0.04 + 0.06 * u(rng)), h = side * (0.04 + 0.06 * u(rng));
      if (i % 4) f.Shape.addEllipse(c, w, h);
      else f.Shape.addRect(QRectF(c.x() - w, c.y() - h, 2 * w, 2 * h));
    }
    art.Fills.push_back(std::move(f));
  }

  const auto draw = [&](QImage& img, bool antialias) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, antialias);
    for (const TKnownFill& f : art.Fills) p.fillPath(f.Shape, ToQColor(f.Color));
    for (const TKnownStroke& s : art.Strokes) {
      QPen pen(ToQColor(s.Color), s.Width);
      pen.setCapStyle(Qt::RoundCap);
      pen.setJoinStyle(Qt::RoundJoin);
      p.strokePath(s.Path, pen);
    }
  };
  art.Clean = QImage(width, height, QImage::Format_ARGB32);
  art.Clean.fill(Qt::white);
  draw(art.Clean, true);
  QImage picture(width, height, QImage::Format_ARGB32);
  picture.fill(Qt::white);
  draw(picture, style.Antialiased);
  if (style.Photographed || style.Shadowed) {
    // Paper lit from the top left (245 there, 175 in the far corner) with
    // grain; ink darkens it in proportion. Then a JPEG round trip.
    std::mt19937 grain(seed * 7 + 1);
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
      for (int x = 0; x < width; ++x) {
        double light = 245.0 - 70.0 * (double(x) / width + double(y) / height) / 2.0;
        if (style.Shadowed) {
          light = 230.0 - 130.0 * (double(x) / width + double(y) / height) / 2.0;
          light *= 1.0 - 0.35 * std::exp(-double(x) / (0.08 * width));  // a shadow along the left side
        }
        const int n = int(grain() % 11) - 5;
        const auto ch = [&](int v) { return std::clamp(int(v * light / 255.0) + n, 0, 255); };
        row[x] = qRgb(ch(qRed(row[x])), ch(qGreen(row[x])), ch(qBlue(row[x]) - 4));
      }
    }
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    picture.save(&bytes, "JPG", 85);
    picture.loadFromData(bytes.data(), "JPG");
    picture = picture.convertToFormat(QImage::Format_ARGB32);
  }
  art.Picture = TBitmap(picture);
  return art;
}

double DarkIoU(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
  const int w = std::min(x.width(), y.width()), h = std::min(x.height(), y.height());
  long long both = 0, either = 0;
  for (int r = 0; r < h; ++r) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
    for (int c = 0; c < w; ++c) {
      const bool da = Grey(p[c]) < 128, db = Grey(q[c]) < 128;
      both += da && db;
      either += da || db;
    }
  }
  return either ? double(both) / double(either) : 1.0;
}

TStrokeMatch MatchStrokes(const TLineArt& art, const std::vector<TTracedStroke>& traced) {
  TStrokeMatch m;
  std::vector<std::vector<QPointF>> known;
  for (const TKnownStroke& s : art.Strokes) known.push_back(Flatten(s.Path));
  double sum = 0;
  for (size_t i = 0; i < art.Strokes.size(); ++i) {
    const TKnownStroke& s = art.Strokes[i];
    if (s.Width < 2 || s.Width > 12 || s.Path.length() < 3 * s.Width) continue;
    const QPointF mid = s.Path.pointAtPercent(0.5);
    bool alone = true;
    for (size_t j = 0; j < art.Strokes.size() && alone; ++j)
      if (j != i && PolylineDistance(mid, known[j]) < (s.Width + art.Strokes[j].Width) / 2 + 3) alone = false;
    for (const TKnownFill& f : art.Fills)
      if (f.Shape.boundingRect().adjusted(-s.Width - 3, -s.Width - 3, s.Width + 3, s.Width + 3).contains(mid)) alone = false;
    if (!alone) continue;
    ++m.Measured;
    const TTracedStroke* best = nullptr;
    double bestDistance = 1e30;
    for (const TTracedStroke& t : traced) {
      const double d = PolylineDistance(mid, t.Points);
      if (d < bestDistance) {
        bestDistance = d;
        best = &t;
      }
    }
    if (!best || bestDistance > std::max(1.0, s.Width / 2.0)) continue;
    ++m.Found;
    const double dw = std::fabs(best->Width - s.Width);
    sum += dw;
    m.WorstWidth = std::max(m.WorstWidth, dw);
    if (qEnvironmentVariableIsSet("KARTO_VERBOSE"))
      std::fprintf(stderr, "  known %06x w %.1f at (%.0f, %.0f): traced %06x w %.2f\n", s.Color & 0xFFFFFF, s.Width,
                   mid.x(), mid.y(), best->Color & 0xFFFFFF, best->Width);
    for (int shift : {0, 8, 16})
      m.WorstColour = std::max(m.WorstColour, std::abs(int((best->Color >> shift) & 0xFF) - int((s.Color >> shift) & 0xFF)));
  }
  m.MeanWidth = m.Found ? sum / m.Found : 0;
  return m;
}

std::vector<TTracedStroke> TracedStrokes(const TCentrelineDrawing& drawing) {
  std::vector<TTracedStroke> out;
  for (const TCentrelineStroke& s : drawing.Strokes) {
    TTracedStroke t;
    for (const QPolygonF& poly : ToQPainterPath(s.Path).toSubpathPolygons())
      for (const QPointF& q : poly) t.Points.push_back(q);
    t.Width = s.Width;
    t.Color = s.Color;
    out.push_back(std::move(t));
  }
  return out;
}

}  // namespace karto::lineart
