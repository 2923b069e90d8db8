#include "platform/Shapes.h"

#include <QBuffer>
#include <algorithm>

#include "platform/PropertyText.h"

namespace karto {

namespace {

using Props = std::vector<std::pair<std::string, std::string>>;

template <class E, size_t N>
bool ReadEnum(const std::string& v, const char* const (&names)[N], E& out) {
  for (size_t i = 0; i < N; ++i)
    if (v == names[i]) {
      out = E(i);
      return true;
    }
  return false;
}

const char* const kBrushKinds[] = {"None", "Solid", "Gradient", "Bitmap"};
const char* const kCaps[] = {"Flat", "Round", "Square"};
const char* const kFillRules[] = {"EvenOdd", "NonZero"};
const char* const kJoins[] = {"Miter", "Round", "Bevel"};
const char* const kDashes[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot", "Custom"};
const char* const kWrapModes[] = {"Original", "Fit", "Stretch", "Tile"};
const char* const kLineTypes[] = {"Diagonal", "Top", "Left"};
const char* const kTextAligns[] = {"Center", "Leading", "Trailing"};
const char* const kImageWrapModes[] = {"Original", "Fit", "Stretch"};
const char* const kGradientStyles[] = {"Linear", "Radial"};
const char* const kSpreads[] = {"Pad", "Reflect", "Repeat"};

// A general affine matrix as "m11 m12 m21 m22 m31 m32".
std::string MatrixText(const TMatrix& m) {
  std::string text;
  for (float f : {m.m11, m.m12, m.m21, m.m22, m.m31, m.m32}) text += (text.empty() ? "" : " ") + proptext::Float(f);
  return proptext::Quote(text);
}

bool ReadMatrixText(const std::string& value, TMatrix& out) {
  std::string s;
  if (!proptext::ReadQuoted(value, s)) return false;
  float v[6];
  size_t i = 0;
  for (float& f : v) {
    while (i < s.size() && s[i] == ' ') ++i;
    size_t j = s.find(' ', i);
    if (j == std::string::npos) j = s.size();
    if (i >= s.size() || !proptext::ReadFloat(s.substr(i, j - i), f)) return false;
    i = j;
  }
  while (i < s.size() && s[i] == ' ') ++i;
  if (i != s.size()) return false;
  TMatrix m = TMatrix::Identity();
  m.m11 = v[0], m.m12 = v[1], m.m21 = v[2], m.m22 = v[3], m.m31 = v[4], m.m32 = v[5];
  out = m;
  return true;
}

// A path as its quoted data text.
bool ReadPathText(const std::string& value, TPathData& out) {
  std::string text;
  TPathData path;
  if (!proptext::ReadQuoted(value, text) || !path.SetData(text)) return false;
  out = std::move(path);
  return true;
}

// A picture as quoted base64 of its PNG.
std::string PictureText(const TBitmap& picture) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  picture.Image().save(&buffer, "PNG");
  return proptext::Quote(png.toBase64().toStdString());
}

bool ReadPictureText(const std::string& value, TBitmap& out) {
  std::string text;
  if (!proptext::ReadQuoted(value, text)) return false;
  QImage picture;
  if (!picture.loadFromData(QByteArray::fromBase64(QByteArray::fromStdString(text)), "PNG")) return false;
  out = TBitmap(picture);
  return true;
}

void WriteBrush(Props& out, const std::string& prefix, const TBrush& b) {
  using namespace proptext;
  out.emplace_back(prefix + ".Kind", kBrushKinds[int(b.Kind)]);
  out.emplace_back(prefix + ".Color", Color(b.Color));
  if (b.Kind == TBrushKind::bkGradient || !b.Gradient.Points.empty()) {
    const TGradient& g = b.Gradient;
    std::string pts;
    for (const TGradientPoint& p : g.Points) {
      if (!pts.empty()) pts += ' ';
      pts += Color(p.Color) + ':' + Float(p.Offset);
    }
    out.emplace_back(prefix + ".Gradient.Points", Quote(pts));
    out.emplace_back(prefix + ".Gradient.StartPosition.X", Float(g.StartPosition.X));
    out.emplace_back(prefix + ".Gradient.StartPosition.Y", Float(g.StartPosition.Y));
    out.emplace_back(prefix + ".Gradient.StopPosition.X", Float(g.StopPosition.X));
    out.emplace_back(prefix + ".Gradient.StopPosition.Y", Float(g.StopPosition.Y));
    if (g.Style != TGradientStyle::gsLinear) {
      out.emplace_back(prefix + ".Gradient.Style", kGradientStyles[int(g.Style)]);
      out.emplace_back(prefix + ".Gradient.Center.X", Float(g.Center.X));
      out.emplace_back(prefix + ".Gradient.Center.Y", Float(g.Center.Y));
      out.emplace_back(prefix + ".Gradient.Radius", Float(g.Radius));
      out.emplace_back(prefix + ".Gradient.Focal.X", Float(g.Focal.X));
      out.emplace_back(prefix + ".Gradient.Focal.Y", Float(g.Focal.Y));
      out.emplace_back(prefix + ".Gradient.FocalRadius", Float(g.FocalRadius));
    }
    if (g.Spread != TGradientSpread::spPad) out.emplace_back(prefix + ".Gradient.Spread", kSpreads[int(g.Spread)]);
    if (g.PathCoordinates) out.emplace_back(prefix + ".Gradient.PathCoordinates", Bool(true));
    if (g.Matrix.IsSet()) out.emplace_back(prefix + ".Gradient.Matrix", MatrixText(g.Matrix));
  }
  if (b.Kind == TBrushKind::bkBitmap && !b.Bitmap.IsEmpty()) {
    out.emplace_back(prefix + ".Bitmap.PNG", PictureText(b.Bitmap));
    if (b.BitmapMatrix.IsSet()) out.emplace_back(prefix + ".Bitmap.Matrix", MatrixText(b.BitmapMatrix));
  }
}

bool ReadGradientPoints(const std::string& text, std::vector<TGradientPoint>& out) {
  std::vector<TGradientPoint> pts;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find(' ', i);
    if (j == std::string::npos) j = text.size();
    const std::string item = text.substr(i, j - i);
    const size_t colon = item.find(':');
    TGradientPoint p;
    if (colon == std::string::npos || !proptext::ReadColor(item.substr(0, colon), p.Color) ||
        !proptext::ReadFloat(item.substr(colon + 1), p.Offset))
      return false;
    pts.push_back(p);
    i = j + 1;
  }
  out = std::move(pts);
  return true;
}

bool ReadBrush(const std::string& name, const std::string& v, const std::string& prefix, TBrush& b) {
  using namespace proptext;
  if (name.compare(0, prefix.size() + 1, prefix + ".") != 0) return false;
  const std::string sub = name.substr(prefix.size() + 1);
  if (sub == "Kind") return ReadEnum(v, kBrushKinds, b.Kind);
  if (sub == "Color") return ReadColor(v, b.Color);
  if (sub == "Gradient.Points") {
    std::string s;
    return ReadQuoted(v, s) && ReadGradientPoints(s, b.Gradient.Points);
  }
  if (sub == "Gradient.StartPosition.X") return ReadFloat(v, b.Gradient.StartPosition.X);
  if (sub == "Gradient.StartPosition.Y") return ReadFloat(v, b.Gradient.StartPosition.Y);
  if (sub == "Gradient.StopPosition.X") return ReadFloat(v, b.Gradient.StopPosition.X);
  if (sub == "Gradient.StopPosition.Y") return ReadFloat(v, b.Gradient.StopPosition.Y);
  TGradient& g = b.Gradient;
  if (sub == "Gradient.Style") return ReadEnum(v, kGradientStyles, g.Style);
  if (sub == "Gradient.Center.X") return ReadFloat(v, g.Center.X);
  if (sub == "Gradient.Center.Y") return ReadFloat(v, g.Center.Y);
  if (sub == "Gradient.Radius") return ReadFloat(v, g.Radius);
  if (sub == "Gradient.Focal.X") return ReadFloat(v, g.Focal.X);
  if (sub == "Gradient.Focal.Y") return ReadFloat(v, g.Focal.Y);
  if (sub == "Gradient.FocalRadius") return ReadFloat(v, g.FocalRadius);
  if (sub == "Gradient.Spread") return ReadEnum(v, kSpreads, g.Spread);
  if (sub == "Gradient.PathCoordinates") return ReadBool(v, g.PathCoordinates);
  if (sub == "Gradient.Matrix") return ReadMatrixText(v, g.Matrix);
  if (sub == "Bitmap.Matrix") return ReadMatrixText(v, b.BitmapMatrix);
  if (sub == "Bitmap.PNG") return ReadPictureText(v, b.Bitmap);
  return false;
}

}  // namespace

// --- TShape --------------------------------------------------------------

bool TBrush::operator==(const TBrush& o) const {
  if (Kind != o.Kind || Color != o.Color || !(Gradient == o.Gradient)) return false;
  if (Kind != TBrushKind::bkBitmap) return true;
  const TPointF probe{3, 5};
  return Bitmap == o.Bitmap && BitmapMatrix.IsSet() == o.BitmapMatrix.IsSet() &&
         (!BitmapMatrix.IsSet() || BitmapMatrix.Transform(probe) == o.BitmapMatrix.Transform(probe));
}

bool TGradient::operator==(const TGradient& o) const {
  auto sameMatrix = [](const TMatrix& a, const TMatrix& b) {
    return a.IsSet() == b.IsSet() && (!a.IsSet() || (a.m11 == b.m11 && a.m12 == b.m12 && a.m21 == b.m21 &&
                                                     a.m22 == b.m22 && a.m31 == b.m31 && a.m32 == b.m32));
  };
  return Points == o.Points && StartPosition == o.StartPosition && StopPosition == o.StopPosition &&
         Style == o.Style && Center == o.Center && Radius == o.Radius && Focal == o.Focal &&
         FocalRadius == o.FocalRadius && Spread == o.Spread && PathCoordinates == o.PathCoordinates &&
         sameMatrix(Matrix, o.Matrix);
}

TShape::TShape(TControl* owner) : TControl(owner) {
  Fill.Color = TAlphaColors::White;
  Stroke.Color = TAlphaColors::Black;
}

std::vector<float> TShape::DashPattern() const {
  switch (StrokeDash) {
    case TStrokeDash::sdSolid: return {};
    case TStrokeDash::sdDash: return {3, 1};
    case TStrokeDash::sdDot: return {1, 1};
    case TStrokeDash::sdDashDot: return {3, 1, 1, 1};
    case TStrokeDash::sdDashDotDot: return {3, 1, 1, 1, 1, 1};
    case TStrokeDash::sdCustom: return CustomDash;
  }
  return {};
}

TRectF TShape::GetShapeRect() const {
  TRectF r = LocalRect();
  if (Stroke.Kind != TBrushKind::bkNone) {
    const float h = StrokeThickness / 2;
    r = r.Inflated(-h, -h);
  }
  return r;
}

void TShape::WriteProperties(Props& out) const {
  using namespace proptext;
  TControl::WriteProperties(out);
  WriteBrush(out, "Fill", Fill);
  WriteBrush(out, "Stroke", Stroke);
  out.emplace_back("Stroke.Thickness", Float(StrokeThickness));
  out.emplace_back("Stroke.Cap", kCaps[int(StrokeCap)]);
  out.emplace_back("Stroke.Join", kJoins[int(StrokeJoin)]);
  out.emplace_back("Stroke.Dash", kDashes[int(StrokeDash)]);
  if (StrokeMiterLimit != 4) out.emplace_back("Stroke.MiterLimit", Float(StrokeMiterLimit));
  if (StrokeUnderFill) out.emplace_back("Stroke.UnderFill", Bool(true));
  if (!ClipOutline.IsEmpty()) out.emplace_back("ClipOutline.Path", Quote(ClipOutline.Data()));
  if (!CustomDash.empty() || DashOffset != 0) {
    std::string d;
    for (float f : CustomDash) d += (d.empty() ? "" : " ") + Float(f);
    out.emplace_back("Stroke.CustomDash", Quote(d));
    out.emplace_back("Stroke.DashOffset", Float(DashOffset));
  }
}

bool TShape::ReadProperty(const std::string& name, const std::string& value) {
  using namespace proptext;
  if (name == "Stroke.Thickness") return ReadFloat(value, StrokeThickness);
  if (name == "Stroke.Cap") return ReadEnum(value, kCaps, StrokeCap);
  if (name == "Stroke.Join") return ReadEnum(value, kJoins, StrokeJoin);
  if (name == "Stroke.Dash") return ReadEnum(value, kDashes, StrokeDash);
  if (name == "Stroke.DashOffset") return ReadFloat(value, DashOffset);
  if (name == "Stroke.MiterLimit") return ReadFloat(value, StrokeMiterLimit);
  if (name == "Stroke.UnderFill") return ReadBool(value, StrokeUnderFill);
  if (name == "ClipOutline.Path") return ReadPathText(value, ClipOutline);
  if (name == "Stroke.CustomDash") {
    std::string s;
    if (!ReadQuoted(value, s)) return false;
    std::vector<float> d;
    size_t i = 0;
    while (i < s.size()) {
      size_t j = s.find(' ', i);
      if (j == std::string::npos) j = s.size();
      float f;
      if (!ReadFloat(s.substr(i, j - i), f)) return false;
      d.push_back(f);
      i = j + 1;
    }
    CustomDash = std::move(d);
    return true;
  }
  if (ReadBrush(name, value, "Fill", Fill) || ReadBrush(name, value, "Stroke", Stroke)) return true;
  return TControl::ReadProperty(name, value);
}

// --- TPath ---------------------------------------------------------------

TPathData TPath::DrawingPath() const {
  TPathData p = Data;
  if (p.IsEmpty()) return p;
  const TRectF sr = GetShapeRect();
  const TRectF b = p.GetBounds();
  switch (WrapMode) {
    case TPathWrapMode::pwStretch: {
      const float sx = b.Width() > 0 ? sr.Width() / b.Width() : 1;
      const float sy = b.Height() > 0 ? sr.Height() / b.Height() : 1;
      p.Translate(-b.Left, -b.Top);
      p.Scale(sx, sy);
      p.Translate(sr.Left, sr.Top);
      break;
    }
    case TPathWrapMode::pwFit: {
      float s = 1;
      if (b.Width() > 0 && b.Height() > 0) s = std::min(sr.Width() / b.Width(), sr.Height() / b.Height());
      else if (b.Width() > 0) s = sr.Width() / b.Width();
      else if (b.Height() > 0) s = sr.Height() / b.Height();
      p.Translate(-b.Left, -b.Top);
      p.Scale(s, s);
      p.Translate(sr.Left + (sr.Width() - b.Width() * s) / 2, sr.Top + (sr.Height() - b.Height() * s) / 2);
      break;
    }
    case TPathWrapMode::pwOriginal:
    case TPathWrapMode::pwTile:
      break;
  }
  return p;
}

TRectF TPath::DrawnBounds() const {
  const TPathData path = DrawingPath();
  return DataMatrix.IsSet() ? path.GetBounds(DataMatrix) : path.GetBounds();
}

void TPath::WriteProperties(Props& out) const {
  TShape::WriteProperties(out);
  out.emplace_back("WrapMode", kWrapModes[int(WrapMode)]);
  if (FillRule != TPathFillRule::frEvenOdd) out.emplace_back("FillRule", kFillRules[int(FillRule)]);
  if (DataMatrix.IsSet()) out.emplace_back("Data.Matrix", MatrixText(DataMatrix));
  out.emplace_back("Data.Path", proptext::Quote(Data.Data()));
}

bool TPath::ReadProperty(const std::string& name, const std::string& value) {
  if (name == "WrapMode") return ReadEnum(value, kWrapModes, WrapMode);
  if (name == "FillRule") return ReadEnum(value, kFillRules, FillRule);
  if (name == "Data.Matrix") return ReadMatrixText(value, DataMatrix);
  if (name == "Data.Path") return ReadPathText(value, Data);
  return TShape::ReadProperty(name, value);
}

// --- TRectangle, TEllipse, TLine -------------------------------------------

TPathData TRectangle::DrawingPath() const {
  TPathData p;
  p.AddRectangle(GetShapeRect(), XRadius, YRadius);
  return p;
}

void TRectangle::WriteProperties(Props& out) const {
  TShape::WriteProperties(out);
  if (XRadius != 0) out.emplace_back("XRadius", proptext::Float(XRadius));
  if (YRadius != 0) out.emplace_back("YRadius", proptext::Float(YRadius));
}

bool TRectangle::ReadProperty(const std::string& name, const std::string& value) {
  if (name == "XRadius") return proptext::ReadFloat(value, XRadius);
  if (name == "YRadius") return proptext::ReadFloat(value, YRadius);
  return TShape::ReadProperty(name, value);
}

TPathData TEllipse::DrawingPath() const {
  TPathData p;
  p.AddEllipse(GetShapeRect());
  p.ClosePath();
  return p;
}

TPathData TLine::DrawingPath() const {
  TPathData p;
  const TRectF r = GetShapeRect();
  switch (LineType) {
    case TLineType::ltDiagonal: p.MoveTo({r.Left, r.Top}); p.LineTo({r.Right, r.Bottom}); break;
    case TLineType::ltTop: p.MoveTo({r.Left, r.Top}); p.LineTo({r.Right, r.Top}); break;
    case TLineType::ltLeft: p.MoveTo({r.Left, r.Top}); p.LineTo({r.Left, r.Bottom}); break;
  }
  return p;
}

void TLine::WriteProperties(Props& out) const {
  TShape::WriteProperties(out);
  out.emplace_back("LineType", kLineTypes[int(LineType)]);
}

bool TLine::ReadProperty(const std::string& name, const std::string& value) {
  if (name == "LineType") return ReadEnum(value, kLineTypes, LineType);
  return TShape::ReadProperty(name, value);
}

// --- TText, TImage ---------------------------------------------------------

void TText::WriteProperties(Props& out) const {
  using namespace proptext;
  TControl::WriteProperties(out);
  out.emplace_back("Text", Quote(Text));
  if (!FontFamily.empty()) out.emplace_back("Font.Family", Quote(FontFamily));
  out.emplace_back("Font.Size", Float(FontSize));
  if (FontBold) out.emplace_back("Font.Bold", Bool(true));
  out.emplace_back("Color", proptext::Color(this->Color));
  out.emplace_back("HorzAlign", kTextAligns[int(HorzAlign)]);
  out.emplace_back("VertAlign", kTextAligns[int(VertAlign)]);
}

bool TText::ReadProperty(const std::string& name, const std::string& value) {
  using namespace proptext;
  if (name == "Text") return ReadQuoted(value, Text);
  if (name == "Font.Family") return ReadQuoted(value, FontFamily);
  if (name == "Font.Size") return ReadFloat(value, FontSize);
  if (name == "Font.Bold") return ReadBool(value, FontBold);
  if (name == "Color") return proptext::ReadColor(value, this->Color);
  if (name == "HorzAlign") return ReadEnum(value, kTextAligns, HorzAlign);
  if (name == "VertAlign") return ReadEnum(value, kTextAligns, VertAlign);
  return TControl::ReadProperty(name, value);
}

void TImage::WriteProperties(Props& out) const {
  using namespace proptext;
  TControl::WriteProperties(out);
  out.emplace_back("WrapMode", kImageWrapModes[int(WrapMode)]);
  if (DrawMatrix.IsSet()) out.emplace_back("DrawMatrix", MatrixText(DrawMatrix));
  if (!ClipOutline.IsEmpty()) out.emplace_back("ClipOutline.Path", Quote(ClipOutline.Data()));
  if (!Smooth) out.emplace_back("Smooth", Bool(false));
  if (!Bitmap.IsEmpty()) out.emplace_back("Bitmap.PNG", PictureText(Bitmap));
}

bool TImage::ReadProperty(const std::string& name, const std::string& value) {
  using namespace proptext;
  if (name == "WrapMode") return ReadEnum(value, kImageWrapModes, WrapMode);
  if (name == "DrawMatrix") return ReadMatrixText(value, DrawMatrix);
  if (name == "Smooth") return ReadBool(value, Smooth);
  if (name == "ClipOutline.Path") return ReadPathText(value, ClipOutline);
  if (name == "Bitmap.PNG") return ReadPictureText(value, Bitmap);
  return TControl::ReadProperty(name, value);
}

TRectF TImage::BitmapRect() const {
  const float bw = float(Bitmap.Width()), bh = float(Bitmap.Height());
  if (bw <= 0 || bh <= 0) return {};
  switch (WrapMode) {
    case TImageWrapMode::iwOriginal: return {0, 0, bw, bh};
    case TImageWrapMode::iwStretch: return LocalRect();
    case TImageWrapMode::iwFit: {
      // Shrinks to fit, never enlarges, centred.
      const float s = std::min({1.0f, Width() / bw, Height() / bh});
      const float w = bw * s, h = bh * s;
      const float x = (Width() - w) / 2, y = (Height() - h) / 2;
      return {x, y, x + w, y + h};
    }
  }
  return {};
}

}  // namespace karto
