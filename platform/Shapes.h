#pragma once
// Display shapes: a fill and a stroke brush with thickness, cap, join and
// dash, drawn inside the shape rectangle (the local rectangle, inset by half
// the stroke thickness when there is a stroke).

#include <mutex>
#include <string>
#include <vector>

#include <QImage>
#include <QPainterPath>

#include "platform/Bitmap.h"
#include "platform/Control.h"
#include "platform/PathData.h"

namespace karto {

enum class TBrushKind { bkNone, bkSolid, bkGradient, bkBitmap };
enum class TStrokeCap { scFlat, scRound, scSquare };
enum class TStrokeJoin { sjMiter, sjRound, sjBevel };
enum class TStrokeDash { sdSolid, sdDash, sdDot, sdDashDot, sdDashDotDot, sdCustom };
// Which parts of a path with crossing or nested outlines are inside: by the
// winding number (nonzero) or by the number of crossings (even-odd).
enum class TPathFillRule { frEvenOdd, frNonZero };
// How a path's geometry is placed in the shape rectangle.
enum class TPathWrapMode { pwOriginal, pwFit, pwStretch, pwTile };
enum class TImageWrapMode { iwOriginal, iwFit, iwStretch };

struct TGradientPoint {
  TAlphaColor Color = TAlphaColors::Black;
  float Offset = 0;  // 0 .. 1
  bool operator==(const TGradientPoint& o) const { return Color == o.Color && Offset == o.Offset; }
};

enum class TGradientStyle { gsLinear, gsRadial };
// What a gradient paints beyond its ends: the end colours, mirrored
// repeats, or repeats.
enum class TGradientSpread { spPad, spReflect, spRepeat };

// A linear gradient from StartPosition to StopPosition, or a radial one from
// the focal circle (Focal, FocalRadius) to the circle (Center, Radius).
// Positions are fractions of the shape rectangle, or with PathCoordinates
// coordinates of the path's own geometry mapped by Matrix (unset: none), as
// SVG's gradients are.
struct TGradient {
  std::vector<TGradientPoint> Points;
  TPointF StartPosition{0, 0};
  TPointF StopPosition{0, 1};
  TGradientStyle Style = TGradientStyle::gsLinear;
  TPointF Center{0.5f, 0.5f};
  float Radius = 0.5f;
  TPointF Focal{0.5f, 0.5f};
  float FocalRadius = 0;
  TGradientSpread Spread = TGradientSpread::spPad;
  bool PathCoordinates = false;
  TMatrix Matrix = TMatrix::Zero();
  bool operator==(const TGradient& o) const;
};

struct TBrush {
  TBrushKind Kind = TBrushKind::bkSolid;
  TAlphaColor Color = TAlphaColors::White;
  TGradient Gradient;
  // bkBitmap: a picture repeated without end, its pixels mapped into the
  // path's own coordinates by BitmapMatrix (an SVG pattern's tile).
  TBitmap Bitmap;
  TMatrix BitmapMatrix = TMatrix::Zero();
  bool operator==(const TBrush& o) const;
};

class TShape : public TControl {
 public:
  explicit TShape(TControl* owner = nullptr);
  const char* ClassName() const override { return "TShape"; }

  TBrush Fill;
  TBrush Stroke;
  float StrokeThickness = 1;
  TStrokeCap StrokeCap = TStrokeCap::scFlat;
  TStrokeJoin StrokeJoin = TStrokeJoin::sjMiter;
  TStrokeDash StrokeDash = TStrokeDash::sdSolid;
  // An outline in local coordinates the shape is clipped to (empty: none),
  // as the viewport of a nested SVG drawing clips its content.
  TPathData ClipOutline;
  // How far a miter join may reach, as a multiple of the stroke thickness
  // (from the outer tip to the inner corner); longer joins are bevelled.
  float StrokeMiterLimit = 4;
  // The stroke is painted before the fill, which then covers its inner half.
  bool StrokeUnderFill = false;
  // Dash pattern in units of the stroke thickness, used with sdCustom.
  std::vector<float> CustomDash;
  float DashOffset = 0;

  void SetCustomDash(const std::vector<float>& dash, float offset) {
    CustomDash = dash;
    DashOffset = offset;
    StrokeDash = TStrokeDash::sdCustom;
  }
  // The dash pattern in units of the thickness for the current style; empty
  // for a solid line.
  std::vector<float> DashPattern() const;

  // The rectangle the shape draws into.
  TRectF GetShapeRect() const;
  // The outline to fill and stroke, in local coordinates.
  virtual TPathData DrawingPath() const { return {}; }
  void Paint(QPainter& painter) override;

  void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const override;
  bool ReadProperty(const std::string& name, const std::string& value) override;

 protected:
  // Fills and strokes path (in the painter's current coordinates).
  void PaintOutline(QPainter& painter, const QPainterPath& path) const;
};

class TPath : public TShape {
 public:
  explicit TPath(TControl* owner = nullptr) : TShape(owner) {}
  const char* ClassName() const override { return "TPath"; }

  TPathData Data;
  TPathWrapMode WrapMode = TPathWrapMode::pwStretch;
  TPathFillRule FillRule = TPathFillRule::frEvenOdd;
  // A general affine map from the drawing path to local coordinates (unset:
  // none). Shapes imported from SVG keep their geometry in the element's own
  // coordinates and its transform here, so that skews and uneven scales,
  // strokes included, are drawn exactly.
  TMatrix DataMatrix = TMatrix::Zero();
  // The bounds of the geometry as drawn, in local coordinates (DataMatrix
  // applied).
  TRectF DrawnBounds() const;
  void Paint(QPainter& painter) override;

  // The geometry as drawn, in local coordinates: with pwStretch the bounds of
  // Data are mapped onto the shape rectangle (an axis whose bounds have no
  // extent is only moved); pwFit keeps proportions, centred; pwOriginal and
  // pwTile leave the points where they are.
  TPathData DrawingPath() const override;

  void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const override;
  bool ReadProperty(const std::string& name, const std::string& value) override;
};

class TRectangle : public TShape {
 public:
  explicit TRectangle(TControl* owner = nullptr) : TShape(owner) {}
  const char* ClassName() const override { return "TRectangle"; }
  float XRadius = 0;
  float YRadius = 0;
  TPathData DrawingPath() const override;
  void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const override;
  bool ReadProperty(const std::string& name, const std::string& value) override;
};

class TEllipse : public TShape {
 public:
  explicit TEllipse(TControl* owner = nullptr) : TShape(owner) {}
  const char* ClassName() const override { return "TEllipse"; }
  TPathData DrawingPath() const override;
};

enum class TLineType { ltDiagonal, ltTop, ltLeft };

class TLine : public TShape {
 public:
  explicit TLine(TControl* owner = nullptr) : TShape(owner) {}
  const char* ClassName() const override { return "TLine"; }
  TLineType LineType = TLineType::ltDiagonal;
  TPathData DrawingPath() const override;
  void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const override;
  bool ReadProperty(const std::string& name, const std::string& value) override;
};

enum class TTextAlign { taCenter, taLeading, taTrailing };

class TText : public TControl {
 public:
  explicit TText(TControl* owner = nullptr) : TControl(owner) {}
  const char* ClassName() const override { return "TText"; }
  std::string Text;
  std::string FontFamily;
  float FontSize = 12;
  bool FontBold = false;
  TAlphaColor Color = TAlphaColors::Black;
  TTextAlign HorzAlign = TTextAlign::taCenter;
  TTextAlign VertAlign = TTextAlign::taCenter;
  void Paint(QPainter& painter) override;
  void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const override;
  bool ReadProperty(const std::string& name, const std::string& value) override;
};

class TImage : public TControl {
 public:
  explicit TImage(TControl* owner = nullptr) : TControl(owner) {}
  const char* ClassName() const override { return "TImage"; }
  TBitmap Bitmap;
  TImageWrapMode WrapMode = TImageWrapMode::iwFit;
  // A general affine map from the bitmap's pixels to local coordinates
  // (unset: the wrap mode places it), and an outline in local coordinates
  // the picture is clipped to (empty: none). Pictures imported from SVG
  // are placed this way, exactly under any transform.
  TMatrix DrawMatrix = TMatrix::Zero();
  TPathData ClipOutline;
  // Scaled smoothly (true) or with the nearest pixel.
  bool Smooth = true;
  // The picture is stored in the object stream as PNG, so a saved 2D view
  // keeps its pictures.
  void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const override;
  bool ReadProperty(const std::string& name, const std::string& value) override;
  // Where the bitmap is drawn in local coordinates.
  TRectF BitmapRect() const;
  void Paint(QPainter& painter) override;

 private:
  // A picture shown much smaller than its size (a slot thumbnail of a
  // 50-megapixel scan) is scaled once and kept, not scaled at every paint.
  // A picture may be drawn by several threads at once, each a band of it.
  mutable std::mutex m_scaledLock;
  mutable QImage m_scaled;
  mutable qint64 m_scaledKey = 0;
};

}  // namespace karto
