#pragma once
// Undo and redo for the 2D view. A step holds the view's content (its
// shapes, in order) before and after a command, and the looks of the shapes
// the command restyled or reshaped. Shapes a command takes out of the view
// are not freed but kept here, owned by nobody else, so that undoing brings
// back the very same shapes (names, layers and all); they are freed once no
// step can bring them back.
//
// Overlays (rubber band, coordinate frame) are not content: they stay where
// they are whatever a step restores.

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Shapes.h"

namespace karto {

// What the editing commands change on a shape.
struct TShapeLook {
  TControl* Shape = nullptr;
  TPointF Position, Scale{1, 1};
  float Width = 0, Height = 0;
  TBrush Stroke;
  float StrokeThickness = 1;
  TStrokeDash StrokeDash = TStrokeDash::sdSolid;
  std::vector<float> CustomDash;
  float DashOffset = 0;
  // Geometry, only when it was taken (normalising changes it); for a
  // picture its DrawMatrix and clip.
  bool HasGeometry = false;
  TPathData Data;
  TMatrix DataMatrix = TMatrix::Zero();
  TPathData ClipOutline;
};

TShapeLook TakeLook(TControl& shape, bool geometry);
void ApplyLook(const TShapeLook& look);

// The view at one moment.
struct TViewState {
  std::shared_ptr<const std::vector<TControl*>> Content;
  std::vector<TShapeLook> Looks;
  TPointF Scale{1, 1};
  float Width = 0, Height = 0;
};

class TViewHistory {
 public:
  static constexpr size_t kMaxSteps = 100;

  explicit TViewHistory(TControl& view) : m_view(view) {}
  ~TViewHistory();
  TViewHistory(const TViewHistory&) = delete;
  TViewHistory& operator=(const TViewHistory&) = delete;

  // The view's content now, and the looks of the given shapes.
  TViewState Capture(const std::vector<TControl*>& lookShapes = {}, bool geometry = false) const;
  // Takes shapes out of the view into the history's keeping.
  void Keep(const std::vector<TControl*>& shapes);
  // Records a command that turned before into the view as it is now.
  void Push(const std::string& caption, TViewState before, TViewState after);

  bool CanUndo() const { return m_next > 0; }
  bool CanRedo() const { return m_next < m_steps.size(); }
  std::string UndoCaption() const { return CanUndo() ? m_steps[m_next - 1].Caption : std::string(); }
  std::string RedoCaption() const { return CanRedo() ? m_steps[m_next].Caption : std::string(); }
  bool Undo();
  bool Redo();
  // Forgets every step and frees the shapes only they kept.
  void Clear();
  size_t KeptCount() const { return m_kept.size(); }

 private:
  struct TStep {
    std::string Caption;
    TViewState Before, After;
  };
  void Restore(const TViewState& state);
  // Frees kept shapes that no remaining step refers to.
  void FreeUnreachable();

  TControl& m_view;
  std::vector<TStep> m_steps;
  size_t m_next = 0;
  std::unordered_set<TControl*> m_kept;
};

// Whether a child of the view is content (a shape, picture or text) rather
// than one of the workspace's overlays.
bool IsViewContent(const TControl* c);

}  // namespace karto
