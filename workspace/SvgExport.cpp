#include "workspace/SvgExport.h"

#include <QBuffer>
#include <algorithm>
#include <cstdio>

#include "platform/Shapes.h"

namespace karto {

namespace {

// A number as SVG text, appended to out; no "-0".
void AppendNum(std::string& out, float v) { AppendFloatText(out, v == 0 ? 0.0f : v); }

std::string Num(float v) {
  std::string text;
  AppendNum(text, v);
  return text;
}

std::string Hex(TAlphaColor c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", ColorRed(c), ColorGreen(c), ColorBlue(c));
  return buf;
}

std::string Escape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(ch) >= 32 || ch == '\t' || ch == '\n') out += ch;
    }
  }
  return out;
}

// The path's d attribute, appended to d.
void AppendPathText(std::string& d, const TPathData& p) {
  const auto& pts = p.PointList();
  d.reserve(d.size() + size_t(p.Count()) * 14);
  auto pt = [&](TPointF q) {
    AppendNum(d, q.X);
    d += ',';
    AppendNum(d, q.Y);
  };
  for (size_t i = 0; i < pts.size(); ++i) {
    if (i > 0) d += ' ';
    switch (pts[i].Kind) {
      case ppMoveTo: d += 'M'; pt(pts[i].Point); break;
      case ppLineTo: d += 'L'; pt(pts[i].Point); break;
      case ppClose: d += 'Z'; break;
      case ppCurveTo:
        if (i + 2 < pts.size()) {
          d += 'C';
          pt(pts[i].Point);
          d += ' ';
          pt(pts[i + 1].Point);
          d += ' ';
          pt(pts[i + 2].Point);
          i += 2;
        } else {
          d += 'L';
          pt(pts[i].Point);
        }
        break;
    }
  }
}

std::string PathText(const TPathData& p) {
  std::string d;
  AppendPathText(d, p);
  return d;
}

// Whether outline is one closed rectangle with upright sides; its box.
bool UprightRectangle(const TPathData& outline, TRectF& box) {
  const auto& pts = outline.PointList();
  size_t corners = pts.size();
  while (corners > 0 && pts[corners - 1].Kind == ppClose) --corners;
  if (corners != 4 && !(corners == 5 && pts[4].Point == pts[0].Point)) return false;
  if (pts[0].Kind != ppMoveTo) return false;
  for (size_t i = 1; i < 4; ++i)
    if (pts[i].Kind != ppLineTo) return false;
  box = outline.GetBounds();
  for (size_t i = 0; i < 4; ++i) {
    const TPointF a = pts[i].Point, b = pts[(i + 1) % 4].Point;
    if (a.X != b.X && a.Y != b.Y) return false;
  }
  return box.Width() > 0 && box.Height() > 0;
}

class Writer {
 public:
  explicit Writer(const TControl& view) : m_view(view) {}

  std::string Run() {
    const float w = m_view.Width(), h = m_view.Height();
    m_out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    m_out += "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
             "version=\"1.1\" width=\"" + Num(w) + "\" height=\"" + Num(h) + "\" viewBox=\"0 0 " + Num(w) +
             " " + Num(h) + "\">\n";
    WalkChildren(m_view.ChildList(), TMatrix::Identity(), 1.0f);
    if (!m_defs.empty()) m_out += "<defs>\n" + m_defs + "</defs>\n";
    m_out += "</svg>\n";
    return std::move(m_out);
  }

 private:
  // parent: the matrix from the parent's coordinates to the view's;
  // opacity: the opacity the parent is drawn with inside the view.
  void Walk(const TControl& c, const TMatrix& parent, float opacity) {
    if (!c.Visible()) return;
    const TMatrix m = c.LocalMatrix() * parent;
    const float o = opacity * c.Opacity();
    if (o <= 0) return;
    if (auto* s = dynamic_cast<const TShape*>(&c)) Shape(*s, m, o);
    else if (auto* t = dynamic_cast<const TText*>(&c)) Text(*t, m, o);
    else if (auto* i = dynamic_cast<const TImage*>(&c)) Image(*i, m, o);
    WalkChildren(c.ChildList(), m, o);
  }

  // Siblings, with the layers they share as groups: a layer's opacity on
  // the group, its mask as a mask element in the parent's coordinates.
  void WalkChildren(const std::vector<TControl*>& children, const TMatrix& parent, float opacity) {
    std::vector<const TDrawLayer*> open;
    for (const TControl* c : children) {
      std::vector<const TDrawLayer*> chain;
      for (const TDrawLayer* l = c->Layer().get(); l; l = l->Parent.get()) chain.insert(chain.begin(), l);
      size_t same = 0;
      while (same < open.size() && same < chain.size() && open[same] == chain[same]) ++same;
      for (; open.size() > same; open.pop_back()) m_out += "</g>\n";
      for (size_t k = same; k < chain.size(); ++k) {
        const TDrawLayer& layer = *chain[k];
        m_out += "<g";
        if (layer.Opacity < 1) m_out += " opacity=\"" + Num(layer.Opacity) + "\"";
        if (layer.Mask) m_out += " mask=\"url(#" + Mask(layer, parent) + ")\"";
        if (layer.Blend != TLayerBlend::Normal)
          m_out += std::string(" style=\"mix-blend-mode:") + LayerBlendName(layer.Blend) + "\"";
        else if (layer.Opacity >= 1 && !layer.Mask)
          m_out += " style=\"isolation:isolate\"";
        m_out += ">\n";
        open.push_back(&layer);
      }
      Walk(*c, parent, opacity);
    }
    for (; !open.empty(); open.pop_back()) m_out += "</g>\n";
  }

  // Writes layer's mask into the definitions; returns its id.
  std::string Mask(const TDrawLayer& layer, const TMatrix& parent) {
    const std::string id = "m" + std::to_string(++m_masks);
    std::string body;
    std::swap(body, m_out);
    WalkChildren(layer.Mask->ChildList(), parent, 1.0f);
    std::swap(body, m_out);
    // The content is clipped already: the mask acts everywhere.
    m_defs += "<mask id=\"" + id + "\" maskUnits=\"userSpaceOnUse\" x=\"-1e7\" y=\"-1e7\" width=\"2e7\" "
              "height=\"2e7\"" + (layer.MaskAlpha ? " mask-type=\"alpha\"" : "") + ">\n" + body + "</mask>\n";
    return id;
  }

  // name="matrix(...)" with a space before it.
  static std::string MatrixAttribute(const char* name, const TMatrix& m) {
    return std::string(" ") + name + "=\"matrix(" + Num(m.m11) + " " + Num(m.m12) + " " + Num(m.m21) + " " +
           Num(m.m22) + " " + Num(m.m31) + " " + Num(m.m32) + ")\"";
  }

  static std::string Transform(const TMatrix& m) {
    if (m == TMatrix::Identity()) return {};
    if (m.m11 == 1 && m.m12 == 0 && m.m21 == 0 && m.m22 == 1)
      return " transform=\"translate(" + Num(m.m31) + "," + Num(m.m32) + ")\"";
    return MatrixAttribute("transform", m);
  }

  static std::string PngDataUri(const TBitmap& picture) {
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    picture.Image().save(&buf, "PNG");
    return "data:image/png;base64," + png.toBase64().toStdString();
  }

  std::string Paint(const TBrush& b, const TRectF& r) {
    switch (b.Kind) {
      case TBrushKind::bkNone: return "none";
      case TBrushKind::bkSolid: return Hex(b.Color);
      case TBrushKind::bkBitmap: {
        if (b.Bitmap.IsEmpty()) return "none";
        // A tile of pixels repeated: a pattern holding the picture.
        const std::string id = "p" + std::to_string(++m_patterns);
        const std::string w = Num(float(b.Bitmap.Width())), h = Num(float(b.Bitmap.Height()));
        const std::string transform =
            b.BitmapMatrix.IsSet() ? MatrixAttribute("patternTransform", b.BitmapMatrix) : std::string();
        m_defs += "<pattern id=\"" + id + "\" patternUnits=\"userSpaceOnUse\" width=\"" + w + "\" height=\"" + h +
                  "\"" + transform + "><image width=\"" + w + "\" height=\"" + h +
                  "\" preserveAspectRatio=\"none\" xlink:href=\"" + PngDataUri(b.Bitmap) + "\"/></pattern>\n";
        return "url(#" + id + ")";
      }
      case TBrushKind::bkGradient: {
        const std::string id = "g" + std::to_string(++m_gradients);
        const TGradient& g = b.Gradient;
        // Positions as the shape's own coordinates (through the gradient's
        // matrix), or as fractions of the shape rectangle.
        auto at = [&](TPointF p) {
          return g.PathCoordinates ? p : TPointF(r.Left + p.X * r.Width(), r.Top + p.Y * r.Height());
        };
        const float scale = g.PathCoordinates ? 1.0f : std::max(r.Width(), r.Height());
        std::string common = " id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\"";
        if (g.Spread == TGradientSpread::spReflect) common += " spreadMethod=\"reflect\"";
        if (g.Spread == TGradientSpread::spRepeat) common += " spreadMethod=\"repeat\"";
        if (g.Matrix.IsSet()) common += MatrixAttribute("gradientTransform", g.Matrix);
        const char* element = g.Style == TGradientStyle::gsRadial ? "radialGradient" : "linearGradient";
        if (g.Style == TGradientStyle::gsRadial) {
          const TPointF c = at(g.Center), f = at(g.Focal);
          m_defs += "<radialGradient" + common + " cx=\"" + Num(c.X) + "\" cy=\"" + Num(c.Y) + "\" r=\"" +
                    Num(g.Radius * scale) + "\" fx=\"" + Num(f.X) + "\" fy=\"" + Num(f.Y) + "\"" +
                    (g.FocalRadius > 0 ? " fr=\"" + Num(g.FocalRadius * scale) + "\"" : std::string()) + ">\n";
        } else {
          const TPointF a = at(g.StartPosition), z = at(g.StopPosition);
          m_defs += "<linearGradient" + common + " x1=\"" + Num(a.X) + "\" y1=\"" + Num(a.Y) + "\" x2=\"" + Num(z.X) +
                    "\" y2=\"" + Num(z.Y) + "\">\n";
        }
        for (const TGradientPoint& p : g.Points)
          m_defs += "<stop offset=\"" + Num(p.Offset) + "\" stop-color=\"" + Hex(p.Color) + "\" stop-opacity=\"" +
                    Num(ColorAlpha(p.Color) / 255.0f) + "\"/>\n";
        m_defs += std::string("</") + element + ">\n";
        return "url(#" + id + ")";
      }
    }
    return "none";
  }

  // The shape's paint attributes, appended to a (piece by piece: a string
  // built of sums for every attribute of thousands of shapes took longer
  // than the paths themselves).
  void AppendStyle(std::string& a, const TShape& s, float opacity) {
    const TRectF r = s.GetShapeRect();
    const auto attribute = [&a](const char* name, const std::string& value) {
      a += ' ';
      a += name;
      a += "=\"";
      a += value;
      a += '"';
    };
    const auto number = [&a](const char* name, float value) {
      a += ' ';
      a += name;
      a += "=\"";
      AppendNum(a, value);
      a += '"';
    };
    attribute("fill", Paint(s.Fill, r));
    if (s.Fill.Kind == TBrushKind::bkSolid && ColorAlpha(s.Fill.Color) != 255)
      number("fill-opacity", ColorAlpha(s.Fill.Color) / 255.0f);
    if (s.Stroke.Kind == TBrushKind::bkNone || s.StrokeThickness <= 0) {
      a += " stroke=\"none\"";
    } else {
      attribute("stroke", Paint(s.Stroke, r));
      if (s.Stroke.Kind == TBrushKind::bkSolid && ColorAlpha(s.Stroke.Color) != 255)
        number("stroke-opacity", ColorAlpha(s.Stroke.Color) / 255.0f);
      number("stroke-width", s.StrokeThickness);
      a += s.StrokeCap == TStrokeCap::scRound    ? " stroke-linecap=\"round\""
           : s.StrokeCap == TStrokeCap::scSquare ? " stroke-linecap=\"square\""
                                                 : " stroke-linecap=\"butt\"";
      a += s.StrokeJoin == TStrokeJoin::sjRound   ? " stroke-linejoin=\"round\""
           : s.StrokeJoin == TStrokeJoin::sjBevel ? " stroke-linejoin=\"bevel\""
                                                  : " stroke-linejoin=\"miter\"";
      if (s.StrokeJoin == TStrokeJoin::sjMiter && s.StrokeMiterLimit != 4) number("stroke-miterlimit", s.StrokeMiterLimit);
      if (s.StrokeUnderFill) a += " paint-order=\"stroke\"";
      std::vector<float> dash = s.DashPattern();
      bool positive = false;
      for (float d : dash) positive = positive || d > 0;
      if (!dash.empty() && positive) {
        // Dash lengths are kept in stroke widths; SVG wants user units.
        std::string list;
        for (float d : dash) list += (list.empty() ? "" : " ") + Num(std::max(0.0f, d) * s.StrokeThickness);
        attribute("stroke-dasharray", list);
        if (s.DashOffset != 0) number("stroke-dashoffset", s.DashOffset * s.StrokeThickness);
      }
    }
    if (opacity < 1) number("opacity", opacity);
  }

  std::string Style(const TShape& s, float opacity) {
    std::string a;
    AppendStyle(a, s, opacity);
    return a;
  }

  void Shape(const TShape& s, const TMatrix& m, float opacity) {
    const std::string id = s.Name().empty() ? std::string() : " id=\"" + Escape(s.Name()) + "\"";
    if (auto* rect = dynamic_cast<const TRectangle*>(&s); rect && rect->XRadius <= 0 && rect->YRadius <= 0) {
      const TRectF r = rect->GetShapeRect();
      if (r.Width() < 0 || r.Height() < 0) return;
      m_out += "<rect" + id + " x=\"" + Num(r.Left) + "\" y=\"" + Num(r.Top) + "\" width=\"" + Num(r.Width()) +
               "\" height=\"" + Num(r.Height()) + "\"" + Transform(m) + Style(s, opacity) + "/>\n";
      return;
    }
    const TPathData path = s.DrawingPath();
    if (path.IsEmpty()) return;
    std::string extra;
    TMatrix own = TMatrix::Identity();
    if (auto* p = dynamic_cast<const TPath*>(&s)) {
      // The path's own matrix comes before its placement.
      if (p->DataMatrix.IsSet()) own = p->DataMatrix;
      if (p->Fill.Kind != TBrushKind::bkNone)
        extra = p->FillRule == TPathFillRule::frEvenOdd ? " fill-rule=\"evenodd\"" : " fill-rule=\"nonzero\"";
    }
    if (s.ClipOutline.IsEmpty()) {
      m_out += "<path";
      m_out += id;
      m_out += " d=\"";
      AppendPathText(m_out, path);
      m_out += '"';
      m_out += Transform(own * m);
      AppendStyle(m_out, s, opacity);
      m_out += extra;
      m_out += "/>\n";
      return;
    }
    // The path inside the clip takes its own matrix.
    const std::string body = "<path" + id + " d=\"" + PathText(path) + "\"" + Transform(own) + Style(s, opacity) +
                             extra + "/>";
    Clipped(body, s.ClipOutline, m);
  }

  // body (an element drawn in local coordinates) placed by m and clipped to
  // outline (local coordinates too). The clip outline lies in the local
  // coordinates: a group placed like the control carries it. An upright
  // rectangle (a nested drawing's viewport, the usual case) is written as a
  // nested svg element, any other outline as a clip path.
  void Clipped(const std::string& body, const TPathData& outline, const TMatrix& m) {
    TRectF box;
    if (UprightRectangle(outline, box)) {
      m_out += "<g" + Transform(m) + "><svg x=\"" + Num(box.Left) + "\" y=\"" + Num(box.Top) + "\" width=\"" +
               Num(box.Width()) + "\" height=\"" + Num(box.Height()) + "\" overflow=\"hidden\"><g" +
               Transform(TMatrix::CreateTranslation(-box.Left, -box.Top)) + ">" + body + "</g></svg></g>\n";
      return;
    }
    const std::string clip = "c" + std::to_string(++m_clips);
    m_defs += "<clipPath id=\"" + clip + "\"><path d=\"" + PathText(outline) + "\"/></clipPath>\n";
    m_out += "<g" + Transform(m) + " clip-path=\"url(#" + clip + ")\">" + body + "</g>\n";
  }

  void Text(const TText& t, const TMatrix& m, float opacity) {
    if (t.Text.empty()) return;
    const char* anchor = t.HorzAlign == TTextAlign::taLeading    ? "start"
                         : t.HorzAlign == TTextAlign::taTrailing ? "end"
                                                                 : "middle";
    const float x = t.HorzAlign == TTextAlign::taLeading ? 0 : t.HorzAlign == TTextAlign::taTrailing ? t.Width() : t.Width() / 2;
    m_out += "<text x=\"" + Num(x) + "\" y=\"" + Num(t.Height() / 2) + "\" dominant-baseline=\"middle\" text-anchor=\"" +
             anchor + "\" font-size=\"" + Num(t.FontSize) + "\"" +
             (t.FontFamily.empty() ? std::string() : " font-family=\"" + Escape(t.FontFamily) + "\"") +
             (t.FontBold ? " font-weight=\"bold\"" : "") + " fill=\"" + Hex(t.Color) + "\"" +
             (opacity < 1 ? " opacity=\"" + Num(opacity) + "\"" : std::string()) + Transform(m) + ">" +
             Escape(t.Text) + "</text>\n";
  }

  void Image(const TImage& img, const TMatrix& m, float opacity) {
    if (img.Bitmap.IsEmpty()) return;
    const std::string fade = opacity < 1 ? " opacity=\"" + Num(opacity) + "\"" : std::string();
    if (img.DrawMatrix.IsSet()) {
      // Pixels placed by the picture's own matrix, then by the control.
      const std::string body = "<image width=\"" + Num(float(img.Bitmap.Width())) + "\" height=\"" +
                               Num(float(img.Bitmap.Height())) + "\" preserveAspectRatio=\"none\"" +
                               (img.Smooth ? "" : " image-rendering=\"optimizeSpeed\"") + fade;
      if (img.ClipOutline.IsEmpty()) {
        m_out += body + Transform(img.DrawMatrix * m) + " xlink:href=\"" + PngDataUri(img.Bitmap) + "\"/>\n";
        return;
      }
      Clipped(body + Transform(img.DrawMatrix) + " xlink:href=\"" + PngDataUri(img.Bitmap) + "\"/>", img.ClipOutline, m);
      return;
    }
    const TRectF r = img.BitmapRect();
    m_out += "<image x=\"" + Num(r.Left) + "\" y=\"" + Num(r.Top) + "\" width=\"" + Num(r.Width()) + "\" height=\"" +
             Num(r.Height()) + "\" preserveAspectRatio=\"none\"" + Transform(m) + fade + " xlink:href=\"" +
             PngDataUri(img.Bitmap) + "\"/>\n";
  }

  const TControl& m_view;
  std::string m_out;
  std::string m_defs;
  int m_gradients = 0;
  int m_clips = 0;
  int m_patterns = 0;
  int m_masks = 0;
};

bool AnyShape(const TControl& c) {
  for (const TControl* child : c.ChildList()) {
    if (!child->Visible()) continue;
    if (dynamic_cast<const TShape*>(child) || AnyShape(*child)) return true;
  }
  return false;
}

}  // namespace

std::string ExportSvg(const TControl& view) { return Writer(view).Run(); }

bool HasExportableShapes(const TControl& view) { return AnyShape(view); }

}  // namespace karto
