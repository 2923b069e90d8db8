// The centre-line engine on small drawings with known strokes: how many
// strokes and fills come out, their widths, colours and ends.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <QPainter>
#include <QPainterPath>

#include "tests/support/Synthetic.h"
#include "trace/CentrelineTrace.h"

using namespace karto;

namespace {

// A white picture with what draw paints on it, antialiased.
template <class Draw>
TBitmap Picture(int w, int h, Draw draw) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  draw(p);
  p.end();
  return TBitmap(img);
}

// The picture as a camera or a scanner hands it over: saved as a JPEG of
// that quality and read back.
TBitmap ThroughJpeg(const QImage& img, int quality) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  img.save(&buffer, "JPEG", quality);
  return TBitmap(QImage::fromData(jpeg, "JPEG"));
}

void Line(QPainter& p, QPointF a, QPointF b, double width, QColor c = Qt::black) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(a, b);
}

// The points along the curves a path draws (not its control points).
std::vector<TPointF> Flatten(const TPathData& path) {
  std::vector<TPointF> out;
  TPointF cur;
  for (int i = 0; i < path.Count(); ++i) {
    const TPathPoint& p = path.Points(i);
    if (p.Kind != ppCurveTo || i + 2 >= path.Count()) {
      cur = p.Point;
      out.push_back(cur);
      continue;
    }
    const TPointF c1 = p.Point, c2 = path.Points(i + 1).Point, e = path.Points(i + 2).Point;
    for (int k = 1; k <= 32; ++k) {
      const float t = k / 32.0f, u = 1 - t;
      out.push_back({u * u * u * cur.X + 3 * u * u * t * c1.X + 3 * u * t * t * c2.X + t * t * t * e.X,
                     u * u * u * cur.Y + 3 * u * u * t * c1.Y + 3 * u * t * t * c2.Y + t * t * t * e.Y});
    }
    cur = e;
    i += 2;
  }
  return out;
}

TRectF StrokeBounds(const TPathData& path) {
  TBoundsBuilder b;
  for (const TPointF& p : Flatten(path)) b.Add(p);
  return b.Rect;
}
TRectF StrokeBounds(const TCentrelineStroke& s) { return StrokeBounds(s.Path); }

TEST(Centreline, AStraightStrokeKeepsItsWidthLengthAndColour) {
  struct Case {
    double width;
  };
  for (double width : {2.0, 3.0, 6.0, 9.0}) {
    const TBitmap pic = Picture(160, 60, [&](QPainter& p) { Line(p, {20, 30}, {140, 30}, width, QColor(200, 30, 40)); });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << width;
    EXPECT_TRUE(d.Fills.empty()) << width;
    const TCentrelineStroke& s = d.Strokes[0];
    EXPECT_NEAR(s.Width, width, 1.0) << width;
    const TRectF b = StrokeBounds(s);
    // Drawn with round caps, the stroke ends where the ink does.
    EXPECT_NEAR(b.Left - s.Width / 2, 20, 1.5) << width;
    EXPECT_NEAR(b.Right + s.Width / 2, 140, 1.5) << width;
    EXPECT_NEAR((b.Top + b.Bottom) / 2, 30, 1.0) << width;
    EXPECT_NEAR(int((s.Color >> 16) & 0xFF), 200, 30) << width;
    EXPECT_LE(s.Path.Count(), 8) << "a straight line is one or two curves";
  }
}

// A slanted straight line comes out as one straight curve along it: the
// bent-off last pixels of its thinned ends do not bend the curve.
TEST(Centreline, ASlantedLineIsOneStraightCurve) {
  struct Case {
    QPointF from, to;
    double width;
  };
  const Case cases[] = {{{40, 20}, {60, 120}, 8}, {{20, 30}, {140, 60}, 5}, {{30, 110}, {130, 20}, 3}, {{20, 20}, {120, 120}, 10}};
  for (const Case& c : cases) {
    const TBitmap pic = Picture(160, 140, [&](QPainter& p) {
      p.setPen(QPen(Qt::black, c.width, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c.from, c.to);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << c.width;
    EXPECT_EQ(d.Strokes[0].Path.Count(), 4) << c.width << " one curve";
    const double dx = c.to.x() - c.from.x(), dy = c.to.y() - c.from.y();
    double worst = 0;
    for (const TPointF& p : Flatten(d.Strokes[0].Path))
      worst = std::max(worst, std::fabs((p.X - c.from.x()) * dy - (p.Y - c.from.y()) * dx) / std::hypot(dx, dy));
    EXPECT_LT(worst, 0.5) << c.width;
  }
}

// Thinning cuts off the tip of a sharp corner in a wide line, the more the
// sharper; the traced line still reaches the corner, in an open line and
// in a closed one.
TEST(Centreline, SharpCornersReachTheirTip) {
  struct Case {
    double width;
    bool closed;
  };
  for (const Case& c : {Case{10, false}, Case{6, false}, Case{10, true}, Case{8, true}}) {
    const QPointF tip(60, 20);
    const TBitmap pic = Picture(180, 180, [&](QPainter& p) {
      p.setPen(QPen(Qt::black, c.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      QPainterPath path;
      path.moveTo(40, 160);
      path.lineTo(tip);
      path.lineTo(150, 110);
      if (c.closed) path.closeSubpath();
      p.drawPath(path);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    double nearest = 1e9;
    for (const TCentrelineStroke& s : d.Strokes)
      for (const TPointF& p : Flatten(s.Path)) nearest = std::min(nearest, std::hypot(p.X - tip.x(), p.Y - tip.y()));
    EXPECT_LT(nearest, 2.0) << c.width << (c.closed ? " closed" : " open");
  }
}

// Light but strongly coloured ink is as light as mid grey or lighter; it
// is ink all the same, and keeps its colour.
TEST(Centreline, LightColouredInkIsTraced) {
  const QColor colours[] = {QColor(208, 112, 16), QColor(224, 128, 128), QColor(240, 200, 0), QColor(100, 180, 255)};
  for (const QColor& c : colours) {
    const TBitmap pic = Picture(160, 60, [&](QPainter& p) { Line(p, {20, 30}, {140, 30}, 5, c); });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << c.name().toStdString();
    const TCentrelineStroke& s = d.Strokes[0];
    EXPECT_NEAR(s.Width, 5, 1.0) << c.name().toStdString();
    EXPECT_NEAR(int((s.Color >> 16) & 0xFF), c.red(), 12) << c.name().toStdString();
    EXPECT_NEAR(int((s.Color >> 8) & 0xFF), c.green(), 12) << c.name().toStdString();
    EXPECT_NEAR(int(s.Color & 0xFF), c.blue(), 12) << c.name().toStdString();
  }
}

// A JPEG keeps colour at half resolution, so a thin coloured line's colour
// is spread over the paper beside it; the traced stroke still has the
// line's colour, not a greyed one.
TEST(Centreline, AThinLineInAJpegKeepsItsColour) {
  const QColor colours[] = {QColor(20, 40, 140), QColor(150, 20, 20), QColor(20, 110, 40)};
  for (const QColor& c : colours) {
    for (double width : {2.0, 3.0}) {
      QImage img(200, 120, QImage::Format_RGB32);
      img.fill(QColor(245, 243, 238));
      {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(20, 30), QPointF(180, 95));
      }
      const TBitmap pic = ThroughJpeg(img, 90);
      const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
      ASSERT_EQ(d.Strokes.size(), 1u) << c.name().toStdString() << " " << width;
      const TAlphaColor got = d.Strokes[0].Color;
      const std::string name = c.name().toStdString() + " " + std::to_string(width);
      EXPECT_NEAR(int((got >> 16) & 0xFF), c.red(), 20) << name;
      EXPECT_NEAR(int((got >> 8) & 0xFF), c.green(), 20) << name;
      EXPECT_NEAR(int(got & 0xFF), c.blue(), 20) << name;
    }
  }
}

// A photographed page: dim paper (the ink darkened with it), grain that
// darkens or lightens a pixel's channels alike, then a JPEG. Each stroke,
// thin or not, comes out in its own colour as it would be on white paper:
// neither darkened by the grain nor greyed by the JPEG.
TEST(Centreline, InkOnAPhotographedPageKeepsItsColour) {
  struct TCase {
    QColor colour;
    double width;
  };
  const TCase cases[] = {{QColor(20, 40, 140), 2}, {QColor(110, 60, 20), 2}, {QColor(150, 20, 20), 2.5},
                         {QColor(90, 30, 120), 4}, {QColor(110, 60, 20), 7}, {QColor(20, 110, 40), 10}};
  for (const TCase& k : cases) {
    const std::string name = k.colour.name().toStdString() + " " + std::to_string(k.width);
    QImage img(220, 140, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      QPainter p(&img);
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QPen(k.colour, k.width, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(25, 30), QPointF(195, 105));
    }
    std::mt19937 grain(7);
    for (int y = 0; y < img.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x) {
        const int n = int(grain() % 11) - 5;
        const auto ch = [&](int v) { return std::clamp(v * 150 / 255 + n, 0, 255); };
        row[x] = qRgb(ch(qRed(row[x])), ch(qGreen(row[x])), ch(qBlue(row[x])));
      }
    }
    const TBitmap pic = ThroughJpeg(img, 85);
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << name;
    const TAlphaColor got = d.Strokes[0].Color;
    EXPECT_NEAR(int((got >> 16) & 0xFF), k.colour.red(), 8) << name;
    EXPECT_NEAR(int((got >> 8) & 0xFF), k.colour.green(), 8) << name;
    EXPECT_NEAR(int(got & 0xFF), k.colour.blue(), 8) << name;
  }
}

// The prepared picture may keep a stroke and drop the shape it is drawn
// over (a sketch keeps only a filled shape's outline): then the colours
// beside the stroke are the shape's, not paper in some light, and the
// stroke keeps its own colour rather than being divided by the shape's.
TEST(Centreline, AStrokeOverAColouredShapeKeepsItsColour) {
  const QColor ink(20, 40, 140);
  QImage prepared(200, 120, QImage::Format_RGB32), colours(200, 120, QImage::Format_RGB32);
  prepared.fill(Qt::white);
  colours.fill(QColor(170, 110, 60));
  for (QImage* img : {&prepared, &colours}) {
    QPainter p(img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(ink, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 30), QPointF(180, 90));
  }
  const TCentrelineDrawing d = TraceCentrelines(TBitmap(prepared), TBitmap(colours), {});
  ASSERT_EQ(d.Strokes.size(), 1u);
  const TAlphaColor got = d.Strokes[0].Color;
  EXPECT_NEAR(int((got >> 16) & 0xFF), ink.red(), 8);
  EXPECT_NEAR(int((got >> 8) & 0xFF), ink.green(), 8);
  EXPECT_NEAR(int(got & 0xFF), ink.blue(), 8);
}

// Two strokes of different colours drawn end to end thin into one line
// with no junction; they come out as two strokes, each in its colour. One
// colour round a bend stays one stroke.
TEST(Centreline, AColourChangeAlongALineCutsIt) {
  struct Case {
    QColor first, second;
    size_t strokes;
  };
  const Case cases[] = {{QColor(200, 40, 30), QColor(30, 90, 200), 2},
                        {Qt::black, QColor(208, 112, 16), 2},
                        {QColor(30, 120, 40), QColor(30, 120, 40), 1},
                        {QColor(20, 40, 140), QColor(20, 40, 140), 1}};
  for (const Case& c : cases) {
    const TBitmap pic = Picture(200, 140, [&](QPainter& p) {
      p.setPen(QPen(c.first, 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(20, 30), QPointF(100, 40));
      p.setPen(QPen(c.second, 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(100, 40), QPointF(170, 110));
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    const std::string name = c.first.name().toStdString() + " " + c.second.name().toStdString();
    ASSERT_EQ(d.Strokes.size(), c.strokes) << name;
    if (c.strokes != 2) continue;
    for (const TCentrelineStroke& s : d.Strokes) {
      const TRectF b = StrokeBounds(s);
      const QColor want = b.Right < 110 ? c.first : c.second;
      EXPECT_NEAR(int((s.Color >> 16) & 0xFF), want.red(), 25) << name;
      EXPECT_NEAR(int((s.Color >> 8) & 0xFF), want.green(), 25) << name;
      EXPECT_NEAR(int(s.Color & 0xFF), want.blue(), 25) << name;
    }
  }
}

TEST(Centreline, CrossingsContinueStraightAndTeesJoin) {
  const TBitmap cross = Picture(120, 120, [](QPainter& p) {
    Line(p, {10, 10}, {110, 110}, 4);
    Line(p, {110, 10}, {10, 110}, 4);
  });
  const TCentrelineDrawing x = TraceCentrelines(cross, cross, {});
  EXPECT_EQ(x.Strokes.size(), 2u) << "an X is two strokes";
  const TBitmap tee = Picture(120, 120, [](QPainter& p) {
    Line(p, {10, 20}, {110, 20}, 4);
    Line(p, {60, 20}, {60, 110}, 4);
  });
  const TCentrelineDrawing t = TraceCentrelines(tee, tee, {});
  EXPECT_EQ(t.Strokes.size(), 2u) << "a T is a bar and a stem";
}

// Thinning bends a line's last pixels: off to one side at a free end, and
// towards the other branches where the line ends at a junction. The traced
// line runs straight to its end all the same (a thin grey line, as the
// whiskers of a drawn cat, alone and ending on a thick line).
TEST(Centreline, LineEndsRunStraight) {
  const QColor grey(70, 70, 70), orange(210, 110, 20);
  const QPointF a(24, 52), b(186, 66);  // the thin line, drawn from a to b
  struct Case {
    const char* name;
    bool onBar;  // a ends on a thick upright bar
  };
  for (const Case& c : {Case{"free ends", false}, Case{"ending on a bar", true}}) {
    const TBitmap pic = Picture(210, 120, [&](QPainter& p) {
      if (c.onBar) Line(p, {24, 4}, {24, 116}, 8, orange);
      Line(p, a, b, 2, grey);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    const TCentrelineStroke* line = nullptr;
    for (const TCentrelineStroke& s : d.Strokes)
      if (StrokeBounds(s).Width() > 100) line = &s;
    ASSERT_NE(line, nullptr) << c.name;
    // Every point of the traced line within half a pixel of the drawn one.
    const QPointF along = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
    float worst = 0;
    for (const TPointF& q : Flatten(line->Path)) {
      const QPointF off = QPointF(q.X, q.Y) - a;
      worst = std::max(worst, float(std::fabs(off.x() * along.y() - off.y() * along.x())));
    }
    EXPECT_LT(worst, 0.5f) << c.name;
  }
}

// A closed line without corners (a ring) has no ends, and no seam either:
// where the traced loop closes, it goes on in the direction it came in.
// Held in place and fitted from each side, the closing point was a kink.
TEST(Centreline, ARingClosesWithoutASeam) {
  for (const double width : {3.0, 6.0}) {
    const TBitmap pic = Picture(120, 120, [&](QPainter& p) {
      p.setPen(QPen(QColor(30, 100, 30), width));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(60, 60), 40, 40);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << width;
    const TPathData& path = d.Strokes[0].Path;
    const int n = path.Count();
    ASSERT_GE(n, 4) << width;
    ASSERT_EQ(path.Points(1).Kind, ppCurveTo) << width;
    for (const TPointF& q : Flatten(path)) EXPECT_NEAR(std::hypot(q.X - 60.0f, q.Y - 60.0f), 40.0f, 1.0f) << width;
    const TPointF start = path.Points(0).Point, out = path.Points(1).Point;
    const TPointF before = path.Points(n - 2).Point, end = path.Points(n - 1).Point;
    EXPECT_NEAR(end.X, start.X, 0.01f) << width;
    EXPECT_NEAR(end.Y, start.Y, 0.01f) << width;
    const float ox = out.X - start.X, oy = out.Y - start.Y, ix = end.X - before.X, iy = end.Y - before.Y;
    const float cosine = (ox * ix + oy * iy) / (std::hypot(ox, oy) * std::hypot(ix, iy));
    EXPECT_GT(cosine, std::cos(3 * 3.14159265f / 180)) << "ring " << width << " px wide";
  }
}

// A gentler bend between straight stretches is a corner too (a chin's
// point, a polygon's vertex): turns of 40 to 50 degrees on lines 4 to 10
// pixels wide stay points, where a curve bending all along is rounded.
TEST(Centreline, GentleCornersBetweenStraightStretchesStayPoints) {
  for (const double width : {4.0, 10.0}) {
    const std::vector<QPointF> vertices = {{20, 40}, {110, 80}, {200, 40}, {260, 110}};  // turns of 48 and 50 degrees
    const TBitmap pic = Picture(280, 140, [&](QPainter& p) {
      p.setPen(QPen(QColor(208, 112, 16), width, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
      p.drawPolyline(QPolygonF(QVector<QPointF>(vertices.begin(), vertices.end())));
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << width;
    const std::vector<TPointF> traced = Flatten(d.Strokes[0].Path);
    for (size_t k = 1; k + 1 < vertices.size(); ++k) {
      double nearest = 1e9;
      for (const TPointF& q : traced) nearest = std::min(nearest, std::hypot(q.X - vertices[k].x(), q.Y - vertices[k].y()));
      EXPECT_LT(nearest, 1.0) << "vertex " << k << ", line " << width;
    }
  }
}

// A line bent back sharply with a mitred join (a river's zigzag, a star's
// point) thins into two sides and the tip's ink between them: one stroke
// all the same, its corner where the sides meet, not a side run on into
// the tip and the other side a stroke of its own.
TEST(Centreline, AMitredSharpBendIsOneStroke) {
  struct Case {
    double angle, width;  // between the sides, degrees; the line's width
  };
  for (const Case& c : {Case{20, 4}, Case{30, 4}, Case{45, 4}, Case{60, 6}}) {
    const QPointF tip(100, 30);
    const double half = c.angle / 2 * 3.14159265 / 180, length = 120;
    const TBitmap pic = Picture(200, 180, [&](QPainter& p) {
      QPen pen(QColor(32, 96, 192), c.width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
      pen.setMiterLimit(20);
      p.setPen(pen);
      QPainterPath path;
      path.moveTo(tip + QPointF(-length * std::sin(half), length * std::cos(half)));
      path.lineTo(tip);
      path.lineTo(tip + QPointF(length * std::sin(half), length * std::cos(half)));
      p.drawPath(path);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 1u) << c.angle << " degrees";
    double nearest = 1e9;
    for (const TPointF& q : Flatten(d.Strokes[0].Path)) nearest = std::min(nearest, std::hypot(q.X - tip.x(), q.Y - tip.y()));
    EXPECT_LT(nearest, 1.5) << c.angle << " degrees";
  }
}

// A wide line that ends just past a curve it crosses keeps the overhang
// (here the pixels of such a crossing in a hard-edged drawing): thinned,
// the overhang is a chain as short as a spur at a corner, but ink goes on
// past its tip. Dropped as a spur, it left three lines at the crossing, the
// curve ran on into the line, and the overhang was lost.
TEST(Centreline, AnOverhangPastACrossingStays) {
  const char* rows[] = {
      "................................................................................",
      "................................................................................",
      "................................................................................",
      "#...............................................................................",
      "###.............................................................................",
      "####............................................................................",
      "######..........................................................................",
      "########........................................................................",
      "##########......................................................................",
      "###########.....................................................................",
      "#############...................................................................",
      "###############...............................................................##",
      "#################..........................................................#####",
      "..#################......................................................#######",
      "...##################..................................................#########",
      ".....###################............................................############",
      ".......###################........................................##############",
      ".........####################..................................#################",
      "...........#####################.............................###################",
      ".............######################.......................#####################.",
      "...............#######################..................#####################...",
      ".................########################............######################.....",
      "...................#########################......######################........",
      "......................################################################..........",
      "........................###########################################.............",
      "...........................######################################...............",
      "..............................################################..................",
      ".................................##################################.............",
      "...............................###########################################......",
      ".............................###################################################",
      "............................####################################################",
      "............................####################################################",
      "...........................##################.....##############################",
      "............................##############.............#########################",
      "............................###########.....................####################",
      ".............................#######.............................###############",
      "...............................#.......................................#########",
      ".............................................................................###",
      "............................................................................##..",
      "..........................................................................###...",
      ".........................................................................##.....",
      ".......................................................................###......",
      "......................................................................###.......",
      ".....................................................................##.........",
      "...................................................................###..........",
      "..................................................................##............",
      "................................................................###.............",
      "...............................................................###..............",
      "..............................................................##................",
      "............................................................###.................",
  };
  const int h = int(sizeof rows / sizeof rows[0]), w = int(std::strlen(rows[0]));
  QImage img(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, rows[y][x] == '#' ? 0xFF000000u : 0xFFFFFFFFu);
  const TBitmap pic(img);
  const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
  // The overhang's ink ends at column 27, rows 29 to 35.
  float reach = 1e9f;
  for (const TCentrelineStroke& s : d.Strokes)
    for (const TPointF& q : Flatten(s.Path))
      if (q.Y > 28 && q.Y < 36) reach = std::min(reach, q.X - s.Width / 2);
  EXPECT_NEAR(reach, 27.5, 2.5);
}

// Thinning pulls a line towards a branch that meets or touches it: the
// house's roof passes just over the corners of its walls, and its traced
// line still runs straight past them.
TEST(Centreline, ALineRunsStraightPastBranches) {
  TBitmap house(800, 600);
  house.Clear(0xFFFFFFFFu);
  synthetic::DrawHouse(house, 0xFF000000u, true);
  const TCentrelineDrawing d = TraceCentrelines(house, house, {});
  // The roof's two slopes: (160, 310) to (310, 180) to (460, 310).
  const auto offSlope = [](TPointF p, TPointF a, TPointF b) {
    const float dx = b.X - a.X, dy = b.Y - a.Y;
    return std::fabs((p.X - a.X) * dy - (p.Y - a.Y) * dx) / std::hypot(dx, dy);
  };
  for (const auto& slope : {std::pair<TPointF, TPointF>{{160, 310}, {310, 180}}, {{460, 310}, {310, 180}}}) {
    const auto along = [&](TPointF p) {
      const float dx = slope.second.X - slope.first.X, dy = slope.second.Y - slope.first.Y;
      return ((p.X - slope.first.X) * dx + (p.Y - slope.first.Y) * dy) / (dx * dx + dy * dy);
    };
    // The roof's stroke: the one running along the slope the longest.
    std::vector<TPointF> roof;
    size_t best = 0;
    for (const TCentrelineStroke& s : d.Strokes) {
      std::vector<TPointF> on;
      for (const TPointF& p : Flatten(s.Path))
        if (along(p) > 0.03f && along(p) < 0.9f && offSlope(p, slope.first, slope.second) < 2.5f) on.push_back(p);
      if (on.size() > best) {
        best = on.size();
        roof = Flatten(s.Path);
      }
    }
    ASSERT_GT(best, 20u);
    float worst = 0;
    for (const TPointF& p : roof)
      if (along(p) > 0.03f && along(p) < 0.9f) worst = std::max(worst, offSlope(p, slope.first, slope.second));
    EXPECT_LT(worst, 1.0f) << "the roof dips towards the wall's corner";
  }
}

// A thin line that leaves a thick one's end (at an angle, along it, or
// straight on) is not the thick one's continuation: the thick stroke ends
// where its ink does, and the thin one is a stroke of its own.
TEST(Centreline, AThinLineLeavingAThickEndIsItsOwnStroke) {
  struct Case {
    QPointF from, to;
  };
  const Case cases[] = {{{32, 68}, {70, 130}}, {{33, 50}, {45, 130}}, {{30, 70}, {30, 130}}};
  for (const Case& c : cases) {
    const TBitmap pic = Picture(120, 140, [&](QPainter& p) {
      Line(p, {30, 10}, {30, 70}, 10);
      Line(p, c.from, c.to, 1.5);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    int thick = 0, thin = 0;
    for (const TCentrelineStroke& s : d.Strokes) {
      if (s.Width < 3) {
        ++thin;
        continue;
      }
      ++thick;
      EXPECT_LT(StrokeBounds(s).Bottom + s.Width / 2, 76) << c.to.x() << " the thick stroke ends where its ink does";
    }
    EXPECT_EQ(thick, 1) << c.to.x();
    EXPECT_EQ(thin, 1) << c.to.x();
  }
}

// Two lines of widths less than twice apart that meet end to end, at a
// corner or straight on, are two strokes each as wide as its own ink, not
// one stroke at a width between.
TEST(Centreline, LinesOfTwoWidthsMeetingEndToEndKeepTheirWidths) {
  struct Case {
    double thin, thick;
    QPointF to;  // where the thick line goes from the meeting point
  };
  const Case cases[] = {{3, 5.5, {200, 20}}, {4, 7, {210, 70}}, {2, 3.5, {190, 120}}};
  for (const Case& c : cases) {
    const TBitmap pic = Picture(220, 140, [&](QPainter& p) {
      p.setPen(QPen(Qt::black, c.thin, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(10, 80), QPointF(110, 70));
      p.setPen(QPen(Qt::black, c.thick, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(110, 70), c.to);
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Strokes.size(), 2u) << c.thin << " / " << c.thick;
    for (const TCentrelineStroke& s : d.Strokes) {
      const bool left = StrokeBounds(s).Left < 60;
      EXPECT_NEAR(s.Width, left ? c.thin : c.thick, 0.6) << c.thin << " / " << c.thick;
    }
  }
}

// The dashes of a thin dashed line (a map's border) keep their length at
// any slant: thinned, a dash a pixel or two wide at a slant leaves a
// skeleton of a few pixels, and its ends could not be run on.
TEST(Centreline, DashesKeepTheirLength) {
  for (double degrees : {0.0, 30.0, 45.0, 60.0, 120.0}) {
    const double a = degrees * 3.14159265358979 / 180;
    const QPointF along(std::cos(a), std::sin(a));
    const TBitmap pic = Picture(200, 200, [&](QPainter& p) {
      p.setPen(QPen(QColor(85, 85, 85), 1.5, Qt::SolidLine, Qt::FlatCap));
      for (int k = -4; k <= 4; ++k) {
        const QPointF from = QPointF(100.2, 100.5) + along * (k * 16.0);
        p.drawLine(from, from + along * 9.0);
      }
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    EXPECT_EQ(d.Strokes.size(), 9u) << degrees;
    for (const TCentrelineStroke& s : d.Strokes) {
      const std::vector<TPointF> line = Flatten(s.Path);
      float length = 0;
      for (size_t i = 1; i < line.size(); ++i) length += std::hypot(line[i].X - line[i - 1].X, line[i].Y - line[i - 1].Y);
      // Drawn with round caps half a width past its ends, as the ink is long.
      EXPECT_NEAR(length + s.Width, 9, 2.0) << degrees;
    }
  }
}

// A picture of speckles (a noisy photo traced as it is) thins into blobs
// where thousands of chain ends meet at one junction; pairing them all took
// minutes. It is traced in passing, every speck claimed.
TEST(Centreline, ASpeckledPictureIsTracedInPassing) {
  QImage img(900, 600, QImage::Format_ARGB32);
  uint32_t seed = 3;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      img.setPixel(x, y, (seed >> 31) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
  const TBitmap pic(img);
  const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
  EXPECT_FALSE(d.Strokes.empty());
  EXPECT_EQ(d.ClaimPixels.size(), d.ClaimOwners.size());
  EXPECT_GT(d.ClaimPixels.size(), size_t(d.InkPixels) * 9 / 10);
}

// A filled shape ringed by an outline of another colour is one fill; it
// takes the colour of its inside, not a mix of the two.
// A filled shape drawn with a darker ring round it is a fill in the
// inside's colour and one stroke along the ring, in the ring's colour and
// width. The ring's sharp corners reach past the fill's own rounded ones:
// they were traced as stubs of line, and were lost with the ring's colour.
TEST(Centreline, AFillKeepsTheColourOfItsInside) {
  struct Case {
    QColor inside, ring;
    double ringWidth;
    Qt::PenJoinStyle join;
  };
  const Case cases[] = {{QColor(224, 80, 128), QColor(144, 32, 64), 4, Qt::RoundJoin},
                        {QColor(240, 200, 40), Qt::black, 6, Qt::RoundJoin},
                        {QColor(40, 90, 200), QColor(10, 20, 60), 3, Qt::RoundJoin},
                        {QColor(224, 80, 128), QColor(144, 32, 64), 5, Qt::MiterJoin}};
  for (const Case& c : cases) {
    const TBitmap pic = Picture(160, 120, [&](QPainter& p) {
      p.setPen(QPen(c.ring, c.ringWidth, Qt::SolidLine, Qt::RoundCap, c.join));
      p.setBrush(c.inside);
      p.drawPolygon(QPolygonF({QPointF(30, 20), QPointF(130, 20), QPointF(80, 100)}));
    });
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    ASSERT_EQ(d.Fills.size(), 1u) << c.inside.name().toStdString();
    ASSERT_EQ(d.Strokes.size(), 1u) << c.inside.name().toStdString() << ", ring " << c.ringWidth;
    const TCentrelineStroke& ring = d.Strokes[0];
    EXPECT_NEAR(ring.Width, c.ringWidth, 1.0) << c.inside.name().toStdString();
    EXPECT_NEAR(int((ring.Color >> 16) & 0xFF), c.ring.red(), 16) << c.inside.name().toStdString();
    EXPECT_NEAR(int((ring.Color >> 8) & 0xFF), c.ring.green(), 16) << c.inside.name().toStdString();
    EXPECT_NEAR(int(ring.Color & 0xFF), c.ring.blue(), 16) << c.inside.name().toStdString();
    // Along the ring's middle, which is the triangle's own edge.
    const TRectF bounds = StrokeBounds(ring);
    EXPECT_NEAR(bounds.Left, 30, 3.0) << c.inside.name().toStdString();
    EXPECT_NEAR(bounds.Right, 130, 3.0) << c.inside.name().toStdString();
    EXPECT_NEAR(bounds.Top, 20, 2.0) << c.inside.name().toStdString();
    EXPECT_NEAR(bounds.Bottom, 100, 4.0) << c.inside.name().toStdString();
    const TAlphaColor got = d.Fills[0].Color;
    EXPECT_NEAR(int((got >> 16) & 0xFF), c.inside.red(), 8) << c.inside.name().toStdString();
    EXPECT_NEAR(int((got >> 8) & 0xFF), c.inside.green(), 8) << c.inside.name().toStdString();
    EXPECT_NEAR(int(got & 0xFF), c.inside.blue(), 8) << c.inside.name().toStdString();
  }
}

// Distances to paper are exact only up to where they are far (past any
// stroke's width); a filled square far wider than that keeps its outline,
// its ring and the colour of its inside, and a line leaving it its width,
// with the widest strokes narrow or wide.
TEST(Centreline, FillsFarWiderThanAnyStrokeKeepTheirRingAndLines) {
  for (const float widest : {16.0f, 120.0f})
  for (const int side : {200, 700}) {
    const int size = side + 200;
    const TBitmap pic = Picture(size, size, [&](QPainter& p) {
      p.setPen(QPen(QColor(20, 20, 90), 5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
      p.setBrush(QColor(230, 180, 40));
      p.drawRect(QRectF(50, 50, side, side));
      Line(p, {50.0 + side, 100}, {size - 10.0, 100}, 4);
    });
    TCentrelineParams params;
    params.MaxStrokeWidth = widest;
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, params);
    ASSERT_EQ(d.Fills.size(), 1u) << side << " px, widest " << widest;
    const TRectF square = StrokeBounds(d.Fills[0].Outline);
    EXPECT_NEAR(square.Width(), side + 5, 3) << side << " px, widest " << widest;
    EXPECT_NEAR(square.Height(), side + 5, 3) << side << " px, widest " << widest;
    const TAlphaColor inside = d.Fills[0].Color;
    EXPECT_NEAR(int((inside >> 16) & 0xFF), 230, 8) << side << " px, widest " << widest;
    EXPECT_NEAR(int((inside >> 8) & 0xFF), 180, 8) << side << " px, widest " << widest;
    EXPECT_NEAR(int(inside & 0xFF), 40, 8) << side << " px, widest " << widest;
    // The ring round the inside and the line: two strokes, each as wide
    // as drawn.
    ASSERT_EQ(d.Strokes.size(), 2u) << side << " px, widest " << widest;
    int rings = 0;
    for (const TCentrelineStroke& s : d.Strokes) {
      const bool ring = StrokeBounds(s).Height() > side / 2;
      rings += ring;
      EXPECT_NEAR(s.Width, ring ? 5 : 4, 1.0) << side << " px, widest " << widest << (ring ? ", ring" : ", line");
    }
    EXPECT_EQ(rings, 1) << side << " px, widest " << widest;
  }
}

// Filled shapes joined by a line they stand on are one area of ink, but
// each is a fill of its own, in its own colour: not one fill in the
// colour of the larger.
TEST(Centreline, ShapesJoinedByALineAreFillsOfTheirOwn) {
  const TBitmap pic = Picture(260, 120, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(7, 8, 174));
    p.drawEllipse(QPointF(50, 60), 30, 25);
    p.setBrush(QColor(16, 122, 162));
    p.drawRect(QRectF(150, 20, 80, 80));
    Line(p, {10, 60}, {250, 60}, 3);
  });
  const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
  ASSERT_EQ(d.Fills.size(), 2u);
  for (const TCentrelineFill& f : d.Fills) {
    const bool left = StrokeBounds(f.Outline).Left < 100;
    const QColor want = left ? QColor(7, 8, 174) : QColor(16, 122, 162);
    EXPECT_NEAR(int((f.Color >> 16) & 0xFF), want.red(), 8) << left;
    EXPECT_NEAR(int((f.Color >> 8) & 0xFF), want.green(), 8) << left;
    EXPECT_NEAR(int(f.Color & 0xFF), want.blue(), 8) << left;
  }
}

TEST(Centreline, DotsAndWideAreasAreFillsAndSpecksGo) {
  const TBitmap pic = Picture(200, 100, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 120, 40));
    p.drawEllipse(QPointF(50, 50), 30, 30);  // a solid disc
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(130, 50), 4, 4);  // a dot
    p.drawRect(QRectF(180, 80, 1, 1));      // a speck
  });
  const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
  EXPECT_TRUE(d.Strokes.empty());
  ASSERT_EQ(d.Fills.size(), 2u);
  EXPECT_NEAR(int((d.Fills[0].Color >> 8) & 0xFF), 120, 25);
  const TRectF disc = StrokeBounds(d.Fills[0].Outline);
  EXPECT_NEAR(disc.Width(), 60, 2);
  EXPECT_LT(d.Fills[0].Outline.Count(), 40) << "a disc's outline is a few curves, not its pixel stairs";
  // A ring: one closed stroke drawn with few curves.
  const TBitmap ring = Picture(120, 120, [](QPainter& p) {
    p.setPen(QPen(Qt::black, 3));
    p.drawEllipse(QPointF(60, 60), 40, 40);
  });
  const TCentrelineDrawing r = TraceCentrelines(ring, ring, {});
  ASSERT_EQ(r.Strokes.size(), 1u);
  EXPECT_NEAR(StrokeBounds(r.Strokes[0]).Width(), 80, 3);
  EXPECT_LT(r.Strokes[0].Path.Count(), 40);
}

// Paper the ink encloses in fewer pixels than a speck is a pinhole and
// counts as ink: two hard-edged lines drawn side by side that touch all
// along but for a dotted hairline, or a scan's ink with paper showing
// through, trace as one stroke as wide as the ink, not as a ladder along
// the holes. Larger holes, and paper open to the picture's edge, stay.
TEST(Centreline, PinholesInInkAreFilled) {
  struct Case {
    const char* name;
    QRect ink;
    std::vector<QRect> paper;  // cleared inside the ink
    long long inkPixels;       // ink the engine counts
  };
  std::vector<QRect> hairline, scattered;
  for (int x = 24; x < 176; x += 5) hairline.push_back(QRect(x, 34, 1 + (x / 5) % 2, 1));  // dots of 1 and 2 pixels
  for (int k = 0; k < 12; ++k) scattered.push_back(QRect(25 + 12 * k, 31 + (k * 7) % 8, 1, 1));
  const Case cases[] = {
      {"dotted hairline", QRect(20, 30, 160, 10), hairline, 1600},
      {"scattered pinholes", QRect(20, 30, 160, 10), scattered, 1600},
      {"a real hole", QRect(20, 30, 160, 10), {QRect(60, 34, 3, 3)}, 1600 - 9},
      {"a notch at the edge", QRect(0, 30, 160, 10), {QRect(0, 34, 2, 2)}, 1600 - 4},
  };
  for (const Case& c : cases) {
    QImage img(200, 70, QImage::Format_ARGB32);
    img.fill(Qt::white);
    {
      QPainter p(&img);
      p.fillRect(c.ink, Qt::black);
      for (const QRect& r : c.paper) p.fillRect(r, Qt::white);
    }
    const TBitmap pic(img);
    const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
    EXPECT_EQ(d.InkPixels, c.inkPixels) << c.name;
    if (c.paper.size() > 1) {  // filled: one stroke as wide as the ink
      ASSERT_EQ(d.Strokes.size(), 1u) << c.name;
      EXPECT_TRUE(d.Fills.empty()) << c.name;
      EXPECT_NEAR(d.Strokes[0].Width, 10, 1.0) << c.name;
    }
  }
}

TEST(Centreline, EmptyAndTinyPictures) {
  TBitmap blank(30, 20);
  blank.Clear(0xFFFFFFFFu);
  EXPECT_TRUE(TraceCentrelines(blank, blank, {}).Strokes.empty());
  TBitmap black(1, 1);
  black.Clear(0xFF000000u);
  const TCentrelineDrawing d = TraceCentrelines(black, {}, {});
  EXPECT_TRUE(d.Strokes.empty()) << "a speck";
  const TCentrelineDrawing line = TraceCentrelines(Picture(50, 20, [](QPainter& p) { Line(p, {5, 10}, {45, 10}, 3); }), {}, {});
  ASSERT_EQ(line.Strokes.size(), 1u);
  EXPECT_EQ(line.Strokes[0].Path.Points(1).Kind, ppCurveTo) << "curves stay curves";
}

}  // namespace

// Every ink pixel belongs to what took it: the stroke whose centre line is
// nearest through the ink, or the fill it lies in; paper belongs to nothing.
TEST(Centreline, InkIsClaimedByItsStrokeOrFill) {
  const TBitmap pic = Picture(200, 120, [](QPainter& p) {
    Line(p, {10, 20}, {110, 20}, 5);   // a bar
    Line(p, {60, 20}, {60, 110}, 3);   // its stem
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(160, 60), 25, 25);  // a disc
  });
  const TCentrelineDrawing d = TraceCentrelines(pic, pic, {});
  ASSERT_EQ(d.Strokes.size(), 2u);
  ASSERT_EQ(d.Fills.size(), 1u);
  EXPECT_TRUE(std::is_sorted(d.ClaimPixels.begin(), d.ClaimPixels.end()));
  ASSERT_EQ(d.ClaimPixels.size(), d.ClaimOwners.size());
  EXPECT_EQ(d.ClaimPixels.size(), size_t(d.InkPixels)) << "every ink pixel is claimed";
  const long long bar = ClaimOwnerAt(d, 30, 20), stem = ClaimOwnerAt(d, 60, 90);
  ASSERT_GE(bar, 0);
  ASSERT_GE(stem, 0);
  EXPECT_NE(bar, stem);
  EXPECT_EQ(ClaimOwnerAt(d, 90, 18), bar) << "ink beside the centre line";
  EXPECT_EQ(ClaimOwnerAt(d, 59, 70), stem);
  EXPECT_EQ(ClaimOwnerAt(d, 160, 60), 2) << "the disc: strokes first, then fills";
  EXPECT_EQ(ClaimOwnerAt(d, 140, 100), -1) << "paper";
  EXPECT_EQ(ClaimOwnerAt(d, -1, 20), -1);
  EXPECT_EQ(ClaimOwnerAt(d, 500, 20), -1);
  // The centre line is marked as such; the bar's edge is not.
  const auto code = [&](int x, int y) {
    const auto it = std::lower_bound(d.ClaimPixels.begin(), d.ClaimPixels.end(), y * d.Width + x);
    return d.ClaimOwners[size_t(it - d.ClaimPixels.begin())];
  };
  int centres = 0;
  for (int y = 17; y <= 22; ++y)
    if (ClaimOwnerAt(d, 30, y) >= 0) centres += (code(30, y) & TCentrelineDrawing::kCentreClaim) != 0;
  EXPECT_EQ(centres, 1) << "one centre pixel across the bar";
  EXPECT_EQ(code(30, 18) & TCentrelineDrawing::kCentreClaim, 0u);

  // Without claims (a command writing only the drawing) the drawing is the
  // same, point for point, and no pixel is listed.
  TCentrelineParams drawingOnly;
  drawingOnly.Claims = false;
  const TCentrelineDrawing bare = TraceCentrelines(pic, pic, drawingOnly);
  EXPECT_TRUE(bare.ClaimPixels.empty());
  EXPECT_TRUE(bare.ClaimOwners.empty());
  ASSERT_EQ(bare.Strokes.size(), d.Strokes.size());
  ASSERT_EQ(bare.Fills.size(), d.Fills.size());
  EXPECT_EQ(bare.Points, d.Points);
  for (size_t i = 0; i < d.Strokes.size(); ++i) {
    const std::vector<TPointF> a = Flatten(d.Strokes[i].Path), b = Flatten(bare.Strokes[i].Path);
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(a[k].X == b[k].X && a[k].Y == b[k].Y);
    EXPECT_EQ(bare.Strokes[i].Width, d.Strokes[i].Width);
  }
}
