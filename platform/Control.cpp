#include "platform/Control.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <unordered_set>

#include "platform/ObjectStream.h"
#include "platform/PropertyText.h"

namespace karto {

namespace {
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
}  // namespace

bool IsValidIdent(const std::string& name) {
  if (name.empty() || !IsIdentStart(name[0])) return false;
  return std::all_of(name.begin(), name.end(), IsIdentChar);
}

TControl::TControl(TControl* owner) { SetOwner(owner); }

TControl::~TControl() {
  m_alive.reset();  // every TControlRef to this control reads nullptr from here on
  // Leave the owner's and the parent's lists first, so that a descendant
  // which owns this control (or a component that is its parent) does not
  // free it a second time.
  if (m_owner) m_owner->RemoveComponent(this);
  m_owner = nullptr;
  DetachFromParent();
  // Children and owned components are freed; each one's destructor takes it
  // out of both lists, so the loops end.
  while (!m_children.empty()) delete m_children.back();
  while (!m_components.empty()) delete m_components.back();
}

std::weak_ptr<const void> TControl::AliveToken() const {
  if (!m_alive) m_alive = std::make_shared<const char>('\0');
  return m_alive;
}

void TControl::RemoveComponent(TControl* c) {
  // From the back: controls are mostly freed in the reverse order of their
  // making, so freeing many costs no search through all of them.
  auto it = std::find(m_components.rbegin(), m_components.rend(), c);
  if (it != m_components.rend()) m_components.erase(std::next(it).base());
  if (!c->m_name.empty()) {
    auto named = m_componentNames.find(c->m_name);
    if (named != m_componentNames.end() && named->second == c) m_componentNames.erase(named);
  }
}

TControl* TControl::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  const auto it = m_componentNames.find(name);
  return it == m_componentNames.end() ? nullptr : it->second;
}

void TControl::SetOwner(TControl* owner) {
  if (owner == m_owner) return;
  if (owner && owner->FindComponent(m_name)) throw EComponentError("A component named " + m_name + " already exists");
  if (m_owner) m_owner->RemoveComponent(this);
  m_owner = owner;
  if (owner) {
    owner->m_components.push_back(this);
    if (!m_name.empty()) owner->m_componentNames.emplace(m_name, this);
  }
}

void TControl::DetachFromParent() {
  if (!m_parent) return;
  auto& sib = m_parent->m_children;
  auto it = std::find(sib.rbegin(), sib.rend(), this);
  if (it != sib.rend()) sib.erase(std::next(it).base());
  TControl* old = m_parent;
  m_parent = nullptr;
  old->Repaint();
}

void TControl::SetParent(TControl* parent) {
  if (parent == m_parent) return;
  for (TControl* p = parent; p; p = p->m_parent)
    if (p == this) throw EComponentError("A control cannot be its own ancestor");
  DetachFromParent();
  if (parent) {
    m_parent = parent;
    parent->m_children.push_back(this);
    Realign();
    Repaint();
  }
}

void TControl::InsertChild(int index, TControl* child) {
  if (!child) return;
  for (TControl* p = this; p; p = p->m_parent)
    if (p == child) throw EComponentError("A control cannot be its own ancestor");
  child->SetParent(nullptr);
  index = std::clamp(index, 0, int(m_children.size()));
  m_children.insert(m_children.begin() + index, child);
  child->m_parent = this;
  child->Realign();
  Repaint();
}

int TControl::Index() const {
  if (!m_parent) return -1;
  const auto& sib = m_parent->m_children;
  return int(std::find(sib.begin(), sib.end(), this) - sib.begin());
}

void TControl::DeleteChildren() {
  while (!m_children.empty()) delete m_children.back();
  Repaint();
}

void TControl::SetChildList(const std::vector<TControl*>& list) {
  for (TControl* c : m_children) c->m_parent = nullptr;
  for (TControl* c : list) {
    if (!c || c == this) throw EComponentError("A control cannot be its own child");
    if (c->m_parent && c->m_parent != this) c->DetachFromParent();
    if (c->m_parent == this) throw EComponentError("A control is listed twice among the children");
    c->m_parent = this;
  }
  m_children = list;
  for (TControl* c : m_children) c->Realign();
  Repaint();
}

void TControl::ReleaseComponents(const std::vector<TControl*>& which) {
  if (which.empty()) return;
  std::unordered_map<const TControl*, bool> leaving;
  leaving.reserve(which.size());
  for (TControl* c : which)
    if (c && c->m_owner == this) leaving.emplace(c, true);
  std::vector<TControl*> kept;
  kept.reserve(m_components.size() - std::min(m_components.size(), leaving.size()));
  for (TControl* c : m_components) {
    if (!leaving.count(c)) {
      kept.push_back(c);
      continue;
    }
    if (!c->m_name.empty()) {
      auto named = m_componentNames.find(c->m_name);
      if (named != m_componentNames.end() && named->second == c) m_componentNames.erase(named);
    }
    c->m_owner = nullptr;
  }
  m_components.swap(kept);
}

std::string UnusedComponentName(const TControl& owner, const std::string& prefix, int& counter) {
  std::string name;
  do name = prefix + std::to_string(++counter);
  while (owner.FindComponent(name));
  return name;
}

TControl* TControl::FindChild(const std::string& name) const {
  for (TControl* c : m_children) {
    if (c->m_name == name) return c;
    if (TControl* d = c->FindChild(name)) return d;
  }
  return nullptr;
}

TControl* TControl::Root() {
  TControl* r = this;
  while (r->m_parent) r = r->m_parent;
  return r;
}

void TControl::SetName(const std::string& name) {
  if (name == m_name) return;
  if (!name.empty()) {
    if (!IsValidIdent(name)) throw EComponentError("\"" + name + "\" is not a valid component name");
    if (m_owner) {
      const TControl* other = m_owner->FindComponent(name);
      if (other && other != this) throw EComponentError("A component named " + name + " already exists");
    }
  }
  if (m_owner) {
    // The owner's index views the names of its components.
    if (!m_name.empty()) {
      auto it = m_owner->m_componentNames.find(m_name);
      if (it != m_owner->m_componentNames.end() && it->second == this) m_owner->m_componentNames.erase(it);
    }
    m_name = name;
    if (!m_name.empty()) m_owner->m_componentNames.emplace(m_name, this);
    return;
  }
  m_name = name;
}

// --- placement -----------------------------------------------------------

void TControl::SetPosition(TPointF p) {
  if (m_align == TAlignLayout::alClient) return;  // the parent places it
  m_position = p;
  Repaint();
}

void TControl::SetWidth(float w) { SetSize(w, m_height); }
void TControl::SetHeight(float h) { SetSize(m_width, h); }

void TControl::SetSize(float w, float h) {
  if (m_align == TAlignLayout::alClient && m_parent) return;
  w = std::max(0.0f, w);
  h = std::max(0.0f, h);
  if (w == m_width && h == m_height) return;
  m_width = w;
  m_height = h;
  Resized();
  for (TControl* c : m_children) c->Realign();
  Repaint();
}

void TControl::SetBounds(float x, float y, float w, float h) {
  SetPosition({x, y});
  SetSize(w, h);
}

void TControl::SetScale(TPointF s) {
  m_scale = s;
  Repaint();
}

void TControl::SetRotationAngle(float degrees) {
  m_rotationAngle = degrees;
  Repaint();
}

void TControl::SetRotationCenter(TPointF c) {
  m_rotationCenter = c;
  Repaint();
}

void TControl::SetAlign(TAlignLayout a) {
  m_align = a;
  Realign();
}

void TControl::Realign() {
  if (m_align != TAlignLayout::alClient || !m_parent) return;
  m_position = {0, 0};
  const float w = m_parent->m_width, h = m_parent->m_height;
  if (w != m_width || h != m_height) {
    m_width = w;
    m_height = h;
    Resized();
    for (TControl* c : m_children) c->Realign();
  }
  Repaint();
}

TMatrix TControl::LocalMatrix() const {
  TMatrix m = TMatrix::CreateScaling(m_scale.X, m_scale.Y);
  if (m_rotationAngle != 0) {
    const float cx = m_rotationCenter.X * m_width * m_scale.X;
    const float cy = m_rotationCenter.Y * m_height * m_scale.Y;
    m = m * TMatrix::CreateTranslation(-cx, -cy) *
        TMatrix::CreateRotation(float(double(m_rotationAngle) * kDegToRad)) *
        TMatrix::CreateTranslation(cx, cy);
  }
  return m * TMatrix::CreateTranslation(m_position.X, m_position.Y);
}

TMatrix TControl::GetAbsoluteMatrix() const {
  TMatrix m = LocalMatrix();
  const TControl* c = this;
  for (; c->m_parent; c = c->m_parent) m = m * c->m_parent->LocalMatrix();
  return m * c->m_hostMatrix;
}

TPointF TControl::LocalToAbsolute(TPointF p) const { return GetAbsoluteMatrix().Transform(p); }
TPointF TControl::AbsoluteToLocal(TPointF p) const {
  return GetAbsoluteMatrix().Inverse().Transform(p);
}
TPointF TControl::LocalToAbsoluteVector(TPointF v) const {
  return GetAbsoluteMatrix().TransformVector(v);
}
TPointF TControl::AbsoluteToLocalVector(TPointF v) const {
  return GetAbsoluteMatrix().Inverse().TransformVector(v);
}

// --- state ---------------------------------------------------------------

void TControl::SetOpacity(float o) {
  o = std::clamp(o, 0.0f, 1.0f);
  if (o == m_opacity) return;
  m_opacity = o;
  Repaint();
}

float TControl::AbsoluteOpacity() const {
  float o = m_opacity;
  for (const TControl* p = m_parent; p; p = p->m_parent) o *= p->m_opacity;
  return o;
}

void TControl::SetVisible(bool v) {
  if (v == m_visible) return;
  m_visible = v;
  if (m_parent) m_parent->Repaint();
  Repaint();
}

void TControl::SetEnabled(bool e) {
  m_enabled = e;
  Repaint();
}

bool TControl::AbsoluteEnabled() const {
  for (const TControl* c = this; c; c = c->m_parent)
    if (!c->m_enabled) return false;
  return true;
}

void TControl::Repaint() {
  const TControl* r = this;
  while (r->m_parent) r = r->m_parent;
  if (r->m_onRepaint) r->m_onRepaint();
}

// --- pointer input -------------------------------------------------------

void TControl::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, float x, float y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

// --- object stream -------------------------------------------------------

uint64_t TDrawLayer::NextId() {
  static std::atomic<uint64_t> next{1};
  return next++;
}

namespace {
const char* const kBlendNames[] = {"normal",     "multiply",   "screen",     "overlay",   "darken",     "lighten",
                                   "color-dodge", "color-burn", "hard-light", "soft-light", "difference", "exclusion",
                                   "hue",        "saturation", "color",      "luminosity"};
}  // namespace

const char* LayerBlendName(TLayerBlend blend) { return kBlendNames[int(blend)]; }

bool ReadLayerBlend(const std::string& name, TLayerBlend& out) {
  for (size_t i = 0; i < std::size(kBlendNames); ++i)
    if (name == kBlendNames[i]) {
      out = TLayerBlend(i);
      return true;
    }
  return false;
}

std::string LayerChainText(const TDrawLayer* layer) {
  std::vector<const TDrawLayer*> chain;
  for (; layer; layer = layer->Parent.get()) chain.push_back(layer);
  std::string text;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!text.empty()) text += '/';
    text += std::to_string((*it)->Id) + '@' + proptext::Float((*it)->Opacity);
    if ((*it)->Blend != TLayerBlend::Normal) text += std::string("@") + LayerBlendName((*it)->Blend);
  }
  return text;
}

namespace {

// What one stream reading knows of layers: by the chain written (a layer
// is the same only under the same parents) and by the id written (for
// their masks). Readings nest: a mask's content is a stream of its own.
struct TLayerReading {
  std::unordered_map<std::string, std::shared_ptr<TDrawLayer>> byChain, byId;
  TLayerReading* outer = nullptr;
};
thread_local TLayerReading* t_reading = nullptr;

// The masks already written by the stream being written; null outside.
struct TLayerWriting {
  std::unordered_set<uint64_t> masksWritten;
  TLayerWriting* outer = nullptr;
};
thread_local TLayerWriting* t_writing = nullptr;

// The layer chain text describes, sharing layers read before; false when
// it does not parse.
bool ReadLayerChain(const std::string& text, std::shared_ptr<const TDrawLayer>& out) {
  TLayerReading local;
  TLayerReading& known = t_reading ? *t_reading : local;
  std::shared_ptr<const TDrawLayer> parent;
  std::string key;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const size_t at = item.find('@');
    const size_t blendAt = at == std::string::npos ? at : item.find('@', at + 1);
    float opacity = 1;
    TLayerBlend blend = TLayerBlend::Normal;
    if (at == std::string::npos || at == 0 || !proptext::ReadFloat(item.substr(at + 1, blendAt - at - 1), opacity))
      return false;
    if (blendAt != std::string::npos && !ReadLayerBlend(item.substr(blendAt + 1), blend)) return false;
    key += '/' + item;
    auto& layer = known.byChain[key];
    if (!layer) {
      layer = std::make_shared<TDrawLayer>();
      layer->Opacity = std::clamp(opacity, 0.0f, 1.0f);
      layer->Blend = blend;
      layer->Parent = parent;
      known.byId[item.substr(0, at)] = layer;
    }
    parent = layer;
    start = end + 1;
  }
  out = parent;
  return true;
}

}  // namespace

void BeginLayerReading() {
  auto* reading = new TLayerReading;
  reading->outer = t_reading;
  t_reading = reading;
}

void EndLayerReading() {
  if (!t_reading) return;
  TLayerReading* done = t_reading;
  t_reading = done->outer;
  delete done;
}

void BeginLayerWriting() {
  auto* writing = new TLayerWriting;
  writing->outer = t_writing;
  t_writing = writing;
}

void EndLayerWriting() {
  if (!t_writing) return;
  TLayerWriting* done = t_writing;
  t_writing = done->outer;
  delete done;
}

void TControl::WriteProperties(std::vector<std::pair<std::string, std::string>>& out) const {
  using namespace proptext;
  if (m_align != TAlignLayout::alNone) out.emplace_back("Align", "Client");
  out.emplace_back("Position.X", Float(m_position.X));
  out.emplace_back("Position.Y", Float(m_position.Y));
  out.emplace_back("Width", Float(m_width));
  out.emplace_back("Height", Float(m_height));
  if (m_scale.X != 1) out.emplace_back("Scale.X", Float(m_scale.X));
  if (m_scale.Y != 1) out.emplace_back("Scale.Y", Float(m_scale.Y));
  if (m_rotationAngle != 0) out.emplace_back("RotationAngle", Float(m_rotationAngle));
  if (m_rotationCenter.X != 0.5f) out.emplace_back("RotationCenter.X", Float(m_rotationCenter.X));
  if (m_rotationCenter.Y != 0.5f) out.emplace_back("RotationCenter.Y", Float(m_rotationCenter.Y));
  if (m_opacity != 1) out.emplace_back("Opacity", Float(m_opacity));
  if (!m_visible) out.emplace_back("Visible", Bool(false));
  if (!m_enabled) out.emplace_back("Enabled", Bool(false));
  if (!m_hitTest) out.emplace_back("HitTest", Bool(false));
  if (m_clipChildren) out.emplace_back("ClipChildren", Bool(true));
  if (m_tag != 0) out.emplace_back("Tag", Int(m_tag));
  if (m_layer) {
    out.emplace_back("Layer", Quote(LayerChainText(m_layer.get())));
    // A mask goes with the first control of the stream that names its
    // layer, as a stream of its own.
    for (const TDrawLayer* l = m_layer.get(); l; l = l->Parent.get()) {
      if (!l->Mask || (t_writing && !t_writing->masksWritten.insert(l->Id).second)) continue;
      out.emplace_back(std::string(l->MaskAlpha ? "Layer.AlphaMask." : "Layer.Mask.") + std::to_string(l->Id),
                       Quote(WriteComponent(*l->Mask)));
    }
  }
}

bool TControl::ReadProperty(const std::string& name, const std::string& value) {
  using namespace proptext;
  float f;
  bool b;
  long long i;
  if (name == "Align") {
    if (value == "Client") SetAlign(TAlignLayout::alClient);
    else if (value == "None") SetAlign(TAlignLayout::alNone);
    else return false;
    return true;
  }
  if (name == "Position.X") return ReadFloat(value, f) && (m_position.X = f, true);
  if (name == "Position.Y") return ReadFloat(value, f) && (m_position.Y = f, true);
  if (name == "Width") return ReadFloat(value, f) && (SetWidth(f), true);
  if (name == "Height") return ReadFloat(value, f) && (SetHeight(f), true);
  if (name == "Scale.X") return ReadFloat(value, f) && (m_scale.X = f, true);
  if (name == "Scale.Y") return ReadFloat(value, f) && (m_scale.Y = f, true);
  if (name == "RotationAngle") return ReadFloat(value, f) && (m_rotationAngle = f, true);
  if (name == "RotationCenter.X") return ReadFloat(value, f) && (m_rotationCenter.X = f, true);
  if (name == "RotationCenter.Y") return ReadFloat(value, f) && (m_rotationCenter.Y = f, true);
  if (name == "Opacity") return ReadFloat(value, f) && (SetOpacity(f), true);
  if (name == "Layer") {
    std::string text;
    return ReadQuoted(value, text) && ReadLayerChain(text, m_layer);
  }
  for (const char* prefix : {"Layer.Mask.", "Layer.AlphaMask."}) {
    if (name.rfind(prefix, 0) != 0) continue;
    std::string text;
    if (!t_reading || !ReadQuoted(value, text)) return false;
    const auto layer = t_reading->byId.find(name.substr(std::strlen(prefix)));
    if (layer == t_reading->byId.end()) return false;  // the layer comes first
    try {
      layer->second->Mask = std::shared_ptr<TControl>(ReadComponent(text).release());
    } catch (const EStreamError&) {
      return false;
    }
    layer->second->MaskAlpha = prefix[6] == 'A';
    return true;
  }
  if (name == "Visible") return ReadBool(value, b) && (m_visible = b, true);
  if (name == "Enabled") return ReadBool(value, b) && (m_enabled = b, true);
  if (name == "HitTest") return ReadBool(value, b) && (m_hitTest = b, true);
  if (name == "ClipChildren") return ReadBool(value, b) && (m_clipChildren = b, true);
  if (name == "Tag") return ReadInt(value, i) && (m_tag = intptr_t(i), true);
  return false;
}

}  // namespace karto
