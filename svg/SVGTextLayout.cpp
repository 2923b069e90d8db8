// Text as glyph outlines: a text element laid out into path geometry in its
// own user coordinates.
//
// The characters of the element and its tspans are read in order with the
// position each gets from the x, y, dx, dy and rotate lists (the innermost
// element that gives a value for a character wins). A run of characters
// painted alike and without a position of their own after its first is
// shaped as a whole, so kerning, ligatures and joining scripts come out as
// the font means them; a character with a position or rotation of its own
// is shaped alone. Absolute positions start a new chunk, which text-anchor
// moves as one.
//
// Fonts are laid out at a fixed large pixel size and the outlines scaled
// down, so that hinting and pixel rounding at small sizes never move a glyph.

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPair>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/Renderer.h"
#include "svg/SVGTextLayout.h"

namespace karto {

namespace {

constexpr float kLayoutSize = 1000;  // pixels: the size fonts are laid out at

// Generic families and what they stand for, first installed wins.
QStringList FamiliesOf(const std::vector<std::string>& names) {
  QStringList families;
  for (const std::string& name : names) {
    if (name == "serif") families << "Noto Serif" << "DejaVu Serif" << "Liberation Serif" << "Times New Roman";
    else if (name == "sans-serif") families << "Noto Sans" << "DejaVu Sans" << "Liberation Sans" << "Arial";
    else if (name == "monospace") families << "Noto Mono" << "DejaVu Sans Mono" << "Liberation Mono" << "Courier New";
    else if (name == "cursive") families << "Yellowtail" << "Comic Sans MS" << "DejaVu Sans";
    else if (name == "fantasy") families << "Sedgwick Ave Display" << "Impact" << "DejaVu Sans";
    else families << QString::fromStdString(name);
  }
  // Whatever is named, something sans-serif is there to fall back on.
  families << "Noto Sans" << "DejaVu Sans";
  return families;
}

QFont::Stretch StretchOf(const std::string& s) {
  if (s == "ultra-condensed") return QFont::UltraCondensed;
  if (s == "extra-condensed") return QFont::ExtraCondensed;
  if (s == "condensed") return QFont::Condensed;
  if (s == "semi-condensed") return QFont::SemiCondensed;
  if (s == "semi-expanded") return QFont::SemiExpanded;
  if (s == "expanded") return QFont::Expanded;
  if (s == "extra-expanded") return QFont::ExtraExpanded;
  if (s == "ultra-expanded") return QFont::UltraExpanded;
  return QFont::Unstretched;
}

// The font of element, at the layout size; scale is user units per layout
// pixel.
QFont FontOf(const TSVGBasic& element, float scale) {
  const TSVGStyleValues& style = element.Style();
  QFont font;
  font.setFamilies(FamiliesOf(style.FontFamily));
  font.setPixelSize(int(kLayoutSize));
  font.setWeight(QFont::Weight(std::clamp(style.FontWeight, 1, 1000)));
  font.setStyle(style.FontStyle == TFontStyle::Italic    ? QFont::StyleItalic
                : style.FontStyle == TFontStyle::Oblique ? QFont::StyleOblique
                                                         : QFont::StyleNormal);
  font.setStretch(StretchOf(style.FontStretch));
  if (style.FontVariantSmallCaps) font.setCapitalization(QFont::SmallCaps);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(true);
  const float letter = element.ResolveLength(style.LetterSpacing, TSVGBasic::TAxis::Other);
  const float word = element.ResolveLength(style.WordSpacing, TSVGBasic::TAxis::Other);
  if (letter != 0 && std::isfinite(letter)) font.setLetterSpacing(QFont::AbsoluteSpacing, letter / scale);
  if (word != 0 && std::isfinite(word)) font.setWordSpacing(word / scale);
  return font;
}

// The outline of a glyph at the layout size. Fonts hint and decompose
// their outlines slowly, and a page of text uses few glyphs many times:
// outlines are kept, per thread, up to a bound.
// Raw fonts of the same face made for different layouts do not compare
// equal: the face is told by its names and style (made once a glyph run).
QString FaceKey(const QRawFont& font) {
  return font.familyName() + QChar(0x1F) + font.styleName() + QChar(0x1F) + QString::number(font.weight()) +
         QChar(0x1F) + QString::number(font.style());
}

const QPainterPath& GlyphOutline(const QRawFont& font, const QString& face, quint32 glyph) {
  static thread_local QHash<QPair<QString, quint32>, QPainterPath> cache;
  const QPair<QString, quint32> key(face, glyph);
  auto it = cache.constFind(key);
  if (it != cache.constEnd()) return *it;
  if (cache.size() > 50000) cache.clear();
  return *cache.insert(key, font.pathForGlyph(glyph));
}

struct TChar {
  QString Text;  // one code point, one or two UTF-16 units
  const TSVGCustomText* Owner;
  const TSVGTextPath* Path;  // the text path it stands on, or null
  std::optional<float> X, Y, DX, DY, Rotate;
};

// Collects the characters of element (a text or a tspan) in order, then
// gives those without a value yet the ones element's lists hold: inner
// elements were visited first, so their values win.
void Collect(const TSVGCustomText& element, std::vector<TChar>& chars, const TSVGTextPath* path = nullptr) {
  const size_t start = chars.size();
  for (int i = 0; i < element.Count(); ++i) {
    const TSVGObject* child = element.Items(i);
    if (child->Style().DisplayNone) continue;
    if (child->HasKind(skTextContent)) {
      const QString text = QString::fromStdString(static_cast<const TSVGTextContent*>(child)->Text());
      for (int k = 0; k < text.size(); ++k) {
        TChar c{QString(text[k]), &element, path, {}, {}, {}, {}, {}};
        if (text[k].isHighSurrogate() && k + 1 < text.size()) c.Text += text[++k];
        chars.push_back(std::move(c));
      }
    } else if (const auto* span = dynamic_cast<const TSVGCustomText*>(child)) {
      // A text path inside a text path is none.
      const auto* onPath = dynamic_cast<const TSVGTextPath*>(span);
      if (!(onPath && path)) Collect(*span, chars, onPath ? onPath : path);
    }
  }
  const size_t count = chars.size() - start;
  auto give = [&](const std::vector<float>& list, std::optional<float> TChar::*slot, bool lastHolds) {
    for (size_t k = 0; k < count && (k < list.size() || (lastHolds && !list.empty())); ++k) {
      std::optional<float>& value = chars[start + k].*slot;
      if (!value) value = list[std::min(k, list.size() - 1)];
    }
  };
  give(element.XList(), &TChar::X, false);
  give(element.YList(), &TChar::Y, false);
  give(element.DXList(), &TChar::DX, false);
  give(element.DYList(), &TChar::DY, false);
  give(element.RotateList(), &TChar::Rotate, true);
}

// How far below the alphabetic baseline the baseline named by value lies,
// in layout pixels (negative: above).
float BaselineOffset(const std::string& value, const QFontMetricsF& m) {
  if (value == "middle") return -m.xHeight() / 2;
  if (value == "central") return -(m.ascent() - m.descent()) / 2;
  if (value == "hanging") return -m.ascent() * 0.8f;
  if (value == "mathematical") return -m.ascent() / 2;
  if (value == "text-before-edge" || value == "text-top" || value == "before-edge") return -m.ascent();
  if (value == "text-after-edge" || value == "text-bottom" || value == "after-edge" || value == "ideographic")
    return m.descent();
  return 0;
}

// One shaped piece: outlines, where its decorations go, its chunk.
struct TSegment {
  const TSVGCustomText* Owner;
  QPainterPath Glyphs;
  float Left, Right, Baseline;  // user units, for decorations
  size_t Chunk;
};

struct TChunk {
  float Start, End;
  TTextAnchor Anchor;
};

// Moves the pen for character c: to its absolute x and y, which start a
// chunk (the first character always does), then by its dx and dy.
void MovePen(const TChar& c, std::vector<TChunk>& chunks, float& penX, float& penY) {
  if (c.X || c.Y || chunks.empty()) {
    if (c.X) penX = *c.X;
    if (c.Y) penY = *c.Y;
    chunks.push_back({penX, penX, c.Owner->Style().TextAnchor});
  }
  penX += c.DX.value_or(0);
  penY += c.DY.value_or(0);
}

// A run of characters shaped in one font: outlines in user units with the
// origin on the pen's baseline position, advance, and how far the baseline
// moves down from the pen (baseline shifts and the baseline aligned on).
struct TShaped {
  bool Valid = false;
  QPainterPath Glyphs;
  float Advance = 0;
  float Shift = 0;
  // Each glyph's outline at its own origin, and where that origin lies.
  std::vector<std::pair<float, QPainterPath>> GlyphList;
  // Where each UTF-16 position of the run lies along it (run.size() + 1).
  std::vector<float> CharX;
};

TShaped Shape(const TSVGCustomText& owner, const TSVGText& text, const QString& run) {
  TShaped out;
  const float fontSize = owner.FontSize();
  if (!(fontSize > 0) || !std::isfinite(fontSize)) return out;
  const float scale = fontSize / kLayoutSize;
  const QFont font = FontOf(owner, scale);
  QTextLayout layout(run, font);
  QTextOption option;
  option.setUseDesignMetrics(true);
  option.setWrapMode(QTextOption::NoWrap);
  option.setTextDirection(owner.Style().DirectionRtl ? Qt::RightToLeft : Qt::LeftToRight);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return out;
  }
  line.setNumColumns(run.size());
  line.setPosition(QPointF(0, 0));
  layout.endLayout();
  const float ascent = float(line.ascent());

  // Baselines: the shifts of the owner and its tspans, and the baseline
  // the text aligns on.
  const QFontMetricsF metrics(font);
  float shift = 0;
  for (const TSVGObject* o = &owner; o && o != &text; o = o->SVGParent()) {
    const TSVGStyleValues& s = o->Style();
    const float em = s.FontSize;
    if (s.BaselineShift == TBaselineShiftKind::Sub) shift += em * 0.2f;
    else if (s.BaselineShift == TBaselineShiftKind::Super) shift -= em * 0.4f;
    else if (s.BaselineShift == TBaselineShiftKind::Length) {
      const TSVGLength& l = s.BaselineShiftLength;
      shift -= l.Unit == luPercent ? em * l.Value / 100
                                   : static_cast<const TSVGBasic*>(o)->ResolveLength(l, TSVGBasic::TAxis::Other);
    }
  }
  std::string alignOn = owner.Style().AlignmentBaseline;
  if (alignOn == "auto" || alignOn == "baseline")
    for (const TSVGObject* o = &owner; o; o = o == &text ? nullptr : o->SVGParent())
      if (o->Style().DominantBaseline != "auto") {
        alignOn = o->Style().DominantBaseline;
        break;
      }
  out.Shift = shift - BaselineOffset(alignOn, metrics) * scale;

  QTransform toUser;
  toUser.scale(scale, scale);
  for (const QGlyphRun& glyphRun : line.glyphRuns()) {
    const QRawFont raw = glyphRun.rawFont();
    const QString face = FaceKey(raw);
    const QVector<quint32> indexes = glyphRun.glyphIndexes();
    const QVector<QPointF> positions = glyphRun.positions();
    for (int g = 0; g < indexes.size() && g < positions.size(); ++g) {
      QPainterPath outline = GlyphOutline(raw, face, indexes[g]);
      if (outline.isEmpty()) continue;
      outline.translate(0, positions[g].y() - ascent);
      outline = toUser.map(outline);
      const float x = float(positions[g].x()) * scale;
      out.GlyphList.emplace_back(x, outline);
      out.Glyphs.addPath(outline.translated(x, 0));
    }
  }
  out.CharX.reserve(size_t(run.size()) + 1);
  for (int k = 0; k <= run.size(); ++k) out.CharX.push_back(float(line.cursorToX(k)) * scale);
  out.Advance = float(line.horizontalAdvance()) * scale;
  out.Valid = true;
  return out;
}

// The characters [i, end) of a text path, each shaped alone and stood on
// the path at the distance its middle reaches (x, dx along the path, dy
// across it); a character whose middle falls off an open path is not
// drawn. The pen ends where the last character ends.
void LayoutOnPath(const TSVGText& text, const TSVGTextPath& textPath, const std::vector<TChar>& chars, size_t i,
                  size_t end, std::vector<TSegment>& segments, size_t chunk, float& penX, float& penY) {
  const TSVG* doc = text.Root();
  std::string_view ref = textPath.PathRef();
  if (!ref.empty() && ref.front() == '#') ref.remove_prefix(1);
  const auto* guideElement = doc ? dynamic_cast<const TSVGShape*>(doc->LookUpID(ref)) : nullptr;
  const TPathData* data = guideElement ? guideElement->PathData() : nullptr;
  if (!data) return;
  // The path in the text's user space, through its own transform.
  const TMatrix& pathMatrix = guideElement->Matrix();
  const TMatrix& textMatrix = text.Matrix();
  const TMatrix toText = (pathMatrix.IsSet() ? pathMatrix : TMatrix::Identity()) *
                         (textMatrix.IsSet() ? textMatrix.Inverse() : TMatrix::Identity());
  QPainterPath guide = QTransform(toText.m11, toText.m12, toText.m21, toText.m22, toText.m31, toText.m32)
                           .map(ToQPainterPath(*data));
  if (textPath.Side() == TTextPathSide::Right) guide = guide.toReversed();
  const qreal length = guide.length();
  if (!(length > 0)) return;
  // Shaped one by one; placed along the path after the anchor is known.
  struct TPlaced {
    const TSVGCustomText* Owner;
    TShaped Shape;
    float Along, Across;
  };
  std::vector<TPlaced> placed;
  float along = textPath.OffsetIsPercent() ? float(length) * textPath.Offset() : textPath.Offset();
  float across = 0;
  for (size_t k = i; k < end; ++k) {
    const TChar& c = chars[k];
    if (c.X && k != i) along = *c.X;
    along += c.DX.value_or(0);
    across += c.DY.value_or(0);
    TShaped shaped = Shape(*c.Owner, text, c.Text);
    if (!shaped.Valid) continue;
    placed.push_back({c.Owner, shaped, along, across});
    along += shaped.Advance;
  }
  if (placed.empty()) return;
  const float width = along - placed.front().Along;
  const TTextAnchor anchor = textPath.Style().TextAnchor;
  const float move = anchor == TTextAnchor::Middle ? -width / 2 : anchor == TTextAnchor::End ? -width : 0;
  const bool closed = guide.elementCount() > 1 &&
                      QPointF(guide.elementAt(0)) == QPointF(guide.elementAt(guide.elementCount() - 1));
  for (const TPlaced& p : placed) {
    float middle = p.Along + move + p.Shape.Advance / 2;
    if (closed) middle = std::fmod(std::fmod(middle, float(length)) + float(length), float(length));
    if (middle < 0 || middle > length) continue;
    const qreal t = guide.percentAtLength(middle);
    const QPointF at = guide.pointAtPercent(t);
    QTransform stand;
    stand.translate(at.x(), at.y());
    // Qt measures angles counter-clockwise; turned here the other way.
    stand.rotate(-guide.angleAtPercent(t));
    stand.translate(-p.Shape.Advance / 2, p.Across + p.Shape.Shift);
    segments.push_back({p.Owner, stand.map(p.Shape.Glyphs), 0, 0, 0, chunk});
  }
  const float endAt = std::clamp(along + move, 0.0f, float(length));
  const QPointF last = guide.pointAtPercent(guide.percentAtLength(endAt));
  penX = float(last.x());
  penY = float(last.y());
}

// The characters [i, end), all of one owner and left to right: shaped as
// one run, then each character's glyphs moved to where x, y, dx, dy and
// rotate put the character (its natural place in the run otherwise).
// Characters with absolute positions start chunks; segments break where
// the chunk, the baseline or a rotation changes.
void LayoutRun(const TSVGText& text, const std::vector<TChar>& chars, size_t i, size_t end,
               std::vector<TSegment>& segments, std::vector<TChunk>& chunks, float& penX, float& penY) {
  const TSVGCustomText& owner = *chars[i].Owner;
  QString run;
  std::vector<int> at;  // each character's first UTF-16 position in run
  for (size_t k = i; k < end; ++k) {
    at.push_back(int(run.size()));
    run += chars[k].Text;
  }
  at.push_back(int(run.size()));
  const TShaped shaped = Shape(owner, text, run);
  struct TPlace {
    float X, Y, Rotate;
    size_t Chunk;
  };
  std::vector<TPlace> places;
  places.reserve(end - i);
  for (size_t k = i; k < end; ++k) {
    const TChar& c = chars[k];
    MovePen(c, chunks, penX, penY);
    places.push_back({penX, penY, c.Rotate.value_or(0), chunks.size() - 1});
    if (shaped.Valid) penX += shaped.CharX[size_t(at[k - i + 1])] - shaped.CharX[size_t(at[k - i])];
    chunks.back().End = std::max(chunks.back().End, penX);
  }
  if (!shaped.Valid) return;
  // Glyphs to characters: the character whose stretch of the run holds
  // the glyph's origin.
  auto charOf = [&](float x) {
    size_t k = 0;
    while (k + 1 < places.size() && shaped.CharX[size_t(at[k + 1])] <= x + 1e-3f) ++k;
    return k;
  };
  std::vector<QPainterPath> perChar(places.size());
  for (const auto& [x, outline] : shaped.GlyphList) {
    const size_t k = charOf(x);
    const TPlace& p = places[k];
    QTransform t;
    t.translate(p.X, p.Y + shaped.Shift);
    if (p.Rotate != 0) t.rotate(p.Rotate);
    t.translate(x - shaped.CharX[size_t(at[k])], 0);
    perChar[k].addPath(t.map(outline));
  }
  for (size_t k = 0; k < places.size(); ++k) {
    const TPlace& p = places[k];
    const float right = k + 1 < places.size() && places[k + 1].Chunk == p.Chunk
                            ? places[k + 1].X - chars[i + k + 1].DX.value_or(0)
                            : p.X + shaped.CharX[size_t(at[k + 1])] - shaped.CharX[size_t(at[k])];
    TSegment* last = segments.empty() ? nullptr : &segments.back();
    const bool joins = k > 0 && last && last->Chunk == p.Chunk && last->Baseline == p.Y + shaped.Shift &&
                       p.Rotate == 0 && places[k - 1].Rotate == 0;
    if (joins) {
      last->Glyphs.addPath(perChar[k]);
      last->Right = std::max(last->Right, right);
    } else {
      segments.push_back({&owner, perChar[k], p.X, right, p.Y + shaped.Shift, p.Chunk});
    }
  }
}

}  // namespace

std::vector<TTextPiece> LayoutText(const TSVGText& text, QRectF* box) {
  std::vector<TChar> chars;
  Collect(text, chars);
  std::vector<TSegment> segments;
  std::vector<TChunk> chunks;
  float penX = 0, penY = 0;
  size_t i = 0;
  while (i < chars.size()) {
    const TChar& first = chars[i];
    if (first.Path) {
      // A text path's characters go along its path, as one chunk.
      size_t end = i;
      while (end < chars.size() && chars[end].Path == first.Path) ++end;
      chunks.push_back({penX, penX, TTextAnchor::Start});
      LayoutOnPath(text, *first.Path, chars, i, end, segments, chunks.size() - 1, penX, penY);
      i = end;
      continue;
    }
    // A run of characters painted alike in one chunk, shaped as a whole so
    // that kerning and joining hold, then each character placed where its
    // position lists put it. Right-to-left text is shaped in pieces that
    // keep their own positions instead, as its glyphs do not follow the
    // characters' order.
    size_t styleEnd = i + 1;
    bool rtl = false;
    while (styleEnd < chars.size() && chars[styleEnd].Owner == first.Owner && !chars[styleEnd].Path) ++styleEnd;
    for (size_t k = i; k < styleEnd && !rtl; ++k) {
      const QChar::Direction d = chars[k].Text.at(0).direction();
      rtl = d == QChar::DirR || d == QChar::DirAL || d == QChar::DirRLE || d == QChar::DirRLO;
    }
    rtl = rtl || first.Owner->Style().DirectionRtl;
    if (!rtl) {
      // Shaping starts over with each chunk.
      size_t chunkEnd = i + 1;
      while (chunkEnd < styleEnd && !chars[chunkEnd].X && !chars[chunkEnd].Y) ++chunkEnd;
      LayoutRun(text, chars, i, chunkEnd, segments, chunks, penX, penY);
      i = chunkEnd;
      continue;
    }
    // A segment: from here up to the next character placed on its own.
    size_t end = i + 1;
    const bool rotated = first.Rotate && *first.Rotate != 0;
    if (!rotated)
      while (end < styleEnd && !chars[end].X && !chars[end].Y && !chars[end].DX && !chars[end].DY &&
             !(chars[end].Rotate && *chars[end].Rotate != 0))
        ++end;
    MovePen(first, chunks, penX, penY);

    const TSVGCustomText& owner = *first.Owner;
    QString run;
    for (size_t k = i; k < end; ++k) run += chars[k].Text;
    i = end;
    const TShaped shaped = Shape(owner, text, run);
    if (!shaped.Valid) continue;
    const float baseline = penY + shaped.Shift;
    QTransform place;
    place.translate(penX, baseline);
    if (rotated) place.rotate(*first.Rotate);
    segments.push_back({&owner, place.map(shaped.Glyphs), penX, penX + shaped.Advance, baseline, chunks.size() - 1});
    penX += shaped.Advance;
    chunks.back().End = std::max(chunks.back().End, penX);
  }

  // Chunks move as their anchor says.
  for (TSegment& s : segments) {
    const TChunk& c = chunks[s.Chunk];
    const float width = c.End - c.Start;
    const float dx = c.Anchor == TTextAnchor::Middle ? -width / 2 : c.Anchor == TTextAnchor::End ? -width : 0;
    if (dx == 0) continue;
    s.Glyphs.translate(dx, 0);
    s.Left += dx;
    s.Right += dx;
  }

  // Decorations belong to the element that declares them and are painted
  // as it is, under the glyphs (underline, overline) or over them
  // (line-through).
  if (box) {
    *box = QRectF();
    for (const TSegment& s : segments)
      if (!s.Glyphs.isEmpty()) *box = box->united(s.Glyphs.boundingRect());
  }
  std::vector<TTextPiece> under, glyphs, over;
  auto addTo = [](std::vector<TTextPiece>& pieces, const TSVGBasic* owner, const QPainterPath& path) {
    if (path.isEmpty()) return;
    if (pieces.empty() || pieces.back().Owner != owner) pieces.push_back({owner, QPainterPath()});
    pieces.back().Outline.addPath(path);
  };
  for (const TSegment& s : segments) {
    addTo(glyphs, s.Owner, s.Glyphs);
    for (const TSVGObject* o = s.Owner; o; o = o == &text ? nullptr : o->SVGParent()) {
      const TTextDecoration decoration = o->Style().TextDecoration;
      if (decoration.IsEmpty()) continue;
      const auto* decorator = static_cast<const TSVGBasic*>(o);
      const float scale = decorator->FontSize() / kLayoutSize;
      if (!(scale > 0)) continue;
      const QFontMetricsF m(FontOf(*decorator, scale));
      const float thickness = float(m.lineWidth()) * scale;
      auto bar = [&](float centre) {
        QPainterPath p;
        p.addRect(QRectF(s.Left, s.Baseline + centre - thickness / 2, s.Right - s.Left, thickness));
        return p;
      };
      if (decoration.Contains(tdUnderLine)) addTo(under, decorator, bar(float(m.underlinePos()) * scale));
      if (decoration.Contains(tdOverLine)) addTo(under, decorator, bar(-float(m.ascent()) * scale));
      if (decoration.Contains(tdStrikeOut)) addTo(over, decorator, bar(-float(m.strikeOutPos()) * scale));
    }
  }
  std::vector<TTextPiece> pieces = std::move(under);
  for (auto* list : {&glyphs, &over})
    for (TTextPiece& p : *list) pieces.push_back(std::move(p));
  return pieces;
}

}  // namespace karto
