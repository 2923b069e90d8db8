#pragma once
// The display-object tree: controls with an owner (who frees them), a parent
// (whose children they are drawn among, in index order), placement (position,
// size, scale, rotation) and the state the workspace relies on. Independent of
// widgets; a host widget draws a tree with the renderer and feeds it pointer
// input through TPointerDispatcher.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Matrix.h"
#include "platform/Types.h"

class QPainter;

namespace karto {

// Raised for refused names (invalid identifier, duplicate among the owner's
// components) and other misuse of the tree.
class EComponentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TAlignLayout { alNone, alClient };

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Shift state: keys and the buttons held during a mouse event.
enum TShiftFlag : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
  ssDouble = 1u << 6,
};
using TShiftState = unsigned;

class TControl;
using TMouseEvent = std::function<void(TControl* sender, TMouseButton, TShiftState, float x, float y)>;
using TMouseMoveEvent = std::function<void(TControl* sender, TShiftState, float x, float y)>;
using TNotifyEvent = std::function<void(TControl* sender)>;

// Consecutive siblings that share a layer are drawn together into a
// picture of their own, which is then laid on what lies below with the
// layer's opacity and mask: the overlapping shapes of a half-transparent
// group then do not show through each other. Layers nest through Parent.
// How a layer's colours combine with what lies below it (as CSS's
// mix-blend-mode names them).
enum class TLayerBlend : uint8_t {
  Normal, Multiply, Screen, Overlay, Darken, Lighten, ColorDodge, ColorBurn, HardLight,
  SoftLight, Difference, Exclusion, Hue, Saturation, Color, Luminosity
};
// The CSS name of a blend ("multiply", "color-dodge", ...), and back;
// false for a name that is none.
const char* LayerBlendName(TLayerBlend blend);
bool ReadLayerBlend(const std::string& name, TLayerBlend& out);

struct TDrawLayer {
  float Opacity = 1;
  TLayerBlend Blend = TLayerBlend::Normal;
  // The layer this one is drawn into; null: straight onto the parent.
  std::shared_ptr<const TDrawLayer> Parent;
  // Content, in the coordinates of the layer's controls' parent, whose
  // luminance (or alpha, with MaskAlpha) scales the layer; null: none.
  std::shared_ptr<TControl> Mask;
  bool MaskAlpha = false;
  // Tells layers apart in the object stream.
  uint64_t Id = NextId();
  static uint64_t NextId();
};

// The chain of a control's layers as stored: "id@opacity" (and "@blend"
// unless normal) from the outermost in, separated by "/". A layer's mask is
// stored beside it as "Layer.Mask.<id>" (or "Layer.AlphaMask.<id>"),
// an object stream of the mask's content.
std::string LayerChainText(const TDrawLayer* layer);
// Layers read back while one stream is read are shared by their ids, and
// a layer's mask is written once a stream; ReadComponent and
// WriteComponent open and close such a reading or writing (they nest).
void BeginLayerReading();
void EndLayerReading();
void BeginLayerWriting();
void EndLayerWriting();

// prefix followed by the first number after counter that no component of
// owner is named yet; counter moves on to it, so making many names does not
// search from 1 each time.
std::string UnusedComponentName(const TControl& owner, const std::string& prefix, int& counter);

// True for a name the tree accepts: a letter or '_' followed by letters,
// digits or '_' (ASCII). The empty name is allowed and never clashes.
bool IsValidIdent(const std::string& name);

class TControl {
 public:
  // The owner frees this control when it is destroyed; nullptr for none.
  explicit TControl(TControl* owner = nullptr);
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  // A token that expires when the TControl destructor starts (after the
  // destructors of derived classes, before children are freed). Observers
  // that may outlive the control hold it through TControlRef.
  std::weak_ptr<const void> AliveToken() const;

  // The class name written by the object stream.
  virtual const char* ClassName() const { return "TControl"; }

  // --- ownership and the tree -------------------------------------------
  TControl* Owner() const { return m_owner; }
  int ComponentCount() const { return int(m_components.size()); }
  TControl* Components(int i) const { return m_components[size_t(i)]; }
  // The owned component with this name, or nullptr.
  TControl* FindComponent(const std::string& name) const;
  // Moves this control to another owner (nullptr: nobody frees it).
  void SetOwner(TControl* owner);

  TControl* Parent() const { return m_parent; }
  // Appends this control as the last child of parent (drawn on top);
  // nullptr detaches it. Later siblings shift down by one.
  void SetParent(TControl* parent);
  void InsertChild(int index, TControl* child);
  int ChildrenCount() const { return int(m_children.size()); }
  TControl* Children(int i) const { return m_children[size_t(i)]; }
  const std::vector<TControl*>& ChildList() const { return m_children; }
  // Position among the parent's children; -1 without a parent.
  int Index() const;
  // Frees every child.
  void DeleteChildren();
  // Makes list the children, in its order, in time linear in the sizes:
  // children not in it are detached (no parent), controls in it are taken
  // from wherever they were. For restoring a whole view at once.
  void SetChildList(const std::vector<TControl*>& list);
  // Gives up owning every control in which at once (they then have no
  // owner), in time linear in the number of components.
  void ReleaseComponents(const std::vector<TControl*>& which);
  // The first child (depth-first) with the given name, or nullptr.
  TControl* FindChild(const std::string& name) const;
  TControl* Root();

  const std::string& Name() const { return m_name; }
  // Throws EComponentError for an invalid identifier or a name another
  // component of the same owner already has; the name is unchanged then.
  void SetName(const std::string& name);

  // --- placement --------------------------------------------------------
  TPointF Position() const { return m_position; }
  void SetPosition(TPointF p);
  float Width() const { return m_width; }
  float Height() const { return m_height; }
  void SetWidth(float w);
  void SetHeight(float h);
  void SetSize(float w, float h);
  void SetBounds(float x, float y, float w, float h);
  TPointF Scale() const { return m_scale; }
  void SetScale(TPointF s);
  // Degrees; positive turns clockwise on screen.
  float RotationAngle() const { return m_rotationAngle; }
  void SetRotationAngle(float degrees);
  // Relative to the control's size: (0.5, 0.5) is its middle.
  TPointF RotationCenter() const { return m_rotationCenter; }
  void SetRotationCenter(TPointF c);
  TAlignLayout Align() const { return m_align; }
  void SetAlign(TAlignLayout a);

  TRectF LocalRect() const { return {0, 0, m_width, m_height}; }
  // Local placement: scale, then rotation about the rotation centre, then
  // translation to Position.
  TMatrix LocalMatrix() const;
  // Local to absolute (the host's) coordinates through every ancestor.
  TMatrix GetAbsoluteMatrix() const;
  TPointF LocalToAbsolute(TPointF p) const;
  TPointF AbsoluteToLocal(TPointF p) const;
  // Maps a vector: scale and rotation of every ancestor, no translation.
  TPointF LocalToAbsoluteVector(TPointF v) const;
  TPointF AbsoluteToLocalVector(TPointF v) const;
  // The matrix that the root is placed with in its host (identity by
  // default); set by the host widget so absolute means window coordinates.
  void SetHostMatrix(const TMatrix& m) { m_hostMatrix = m; }
  const TMatrix& HostMatrix() const { return m_hostMatrix; }

  // --- state ------------------------------------------------------------
  float Opacity() const { return m_opacity; }
  void SetOpacity(float o);
  // The opacity multiplied down from the root.
  float AbsoluteOpacity() const;
  bool Visible() const { return m_visible; }
  void SetVisible(bool v);
  bool Enabled() const { return m_enabled; }
  void SetEnabled(bool e);
  bool AbsoluteEnabled() const;
  bool HitTest() const { return m_hitTest; }
  void SetHitTest(bool h) { m_hitTest = h; }
  bool Stored() const { return m_stored; }
  void SetStored(bool s) { m_stored = s; }
  intptr_t Tag() const { return m_tag; }
  void SetTag(intptr_t t) { m_tag = t; }
  bool ClipChildren() const { return m_clipChildren; }
  void SetClipChildren(bool c) { m_clipChildren = c; Repaint(); }
  // The layer this control is drawn in with its neighbours; null: none.
  const std::shared_ptr<const TDrawLayer>& Layer() const { return m_layer; }
  void SetLayer(std::shared_ptr<const TDrawLayer> layer) { m_layer = std::move(layer); }

  // Asks the host to redraw; walks up to the root's repaint callback.
  void Repaint();
  void SetOnRepaint(std::function<void()> f) { m_onRepaint = std::move(f); }

  // Draws the control itself (not its children) in local coordinates; the
  // renderer has set the placement and the absolute opacity. Nothing by default.
  virtual void Paint(QPainter& painter) {}

  // --- pointer input (coordinates local to this control) ----------------
  virtual void MouseDown(TMouseButton button, TShiftState shift, float x, float y);
  virtual void MouseMove(TShiftState shift, float x, float y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, float x, float y);
  virtual void DblClick();
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  // Whether a point in local coordinates belongs to the control for hit
  // testing; the local rectangle by default.
  virtual bool PointInObject(TPointF local) const { return LocalRect().Contains(local); }

  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnClick;

  // --- object stream ----------------------------------------------------
  // Appends (name, value-text) pairs of the published properties.
  virtual void WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const;
  // Sets one property from its text; false when the name is unknown or the
  // text does not parse.
  virtual bool ReadProperty(const std::string& name, const std::string& value);

 protected:
  virtual void Resized() {}
  void Realign();

 private:
  void RemoveComponent(TControl* c);
  void DetachFromParent();

  TControl* m_owner = nullptr;
  TControl* m_parent = nullptr;
  std::vector<TControl*> m_components;
  // The named components by name, so that making thousands of named shapes
  // does not compare each new name with every other. Keys view the
  // components' own names.
  std::unordered_map<std::string_view, TControl*> m_componentNames;
  std::vector<TControl*> m_children;
  std::string m_name;

  TPointF m_position;
  float m_width = 0;
  float m_height = 0;
  TPointF m_scale{1, 1};
  float m_rotationAngle = 0;
  TPointF m_rotationCenter{0.5f, 0.5f};
  TAlignLayout m_align = TAlignLayout::alNone;
  TMatrix m_hostMatrix;

  float m_opacity = 1;
  std::shared_ptr<const TDrawLayer> m_layer;
  bool m_visible = true;
  bool m_enabled = true;
  bool m_hitTest = true;
  bool m_stored = true;
  bool m_clipChildren = false;
  intptr_t m_tag = 0;
  std::function<void()> m_onRepaint;
  // Created on the first AliveToken() call, so controls nobody observes pay
  // no allocation.
  mutable std::shared_ptr<const char> m_alive;
};

// A non-owning reference to a control that reads nullptr once the control is
// destroyed, even if another control is later allocated at the same address.
// For code that keeps a control across calls that may free it (pointer
// capture, animations, handlers that delete their sender).
class TControlRef {
 public:
  TControlRef() = default;
  explicit TControlRef(TControl* c) : m_control(c) {
    if (c) m_alive = c->AliveToken();
  }
  TControl* Get() const { return m_alive.expired() ? nullptr : m_control; }
  explicit operator bool() const { return Get() != nullptr; }

 private:
  TControl* m_control = nullptr;
  std::weak_ptr<const void> m_alive;
};

// A plain container (layouts and panels of display objects).
class TLayout : public TControl {
 public:
  using TControl::TControl;
  const char* ClassName() const override { return "TLayout"; }
};

// A surface shapes are placed on; the 2D view's PaintBox2D.
class TPaintBox : public TControl {
 public:
  using TControl::TControl;
  const char* ClassName() const override { return "TPaintBox"; }
};

// A downcast that is nullptr when the object is of another class.
template <class T>
T* As(TControl* c) {
  return dynamic_cast<T*>(c);
}

}  // namespace karto
