#pragma once
// The 2D workspace without its window: picking shapes by click and rubber
// band, the selection with its groups and highlight, the editing commands
// (line properties, delete, join), the Normalize frame with snapping, and
// undo. The window's handlers read their controls, call this class and
// show what it reports; tests drive it with a paint box and no window.
//
// Coordinates: the pointer arrives in paint-box coordinates; distances,
// the pick tolerance and the rubber band's corners are absolute (the
// coordinates of the paint box's host, y growing downwards).

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Animation.h"
#include "platform/Shapes.h"
#include "workspace/GeoUtils.h"
#include "workspace/Overlays.h"
#include "workspace/ShapeSelection.h"
#include "workspace/ViewHistory.h"

namespace karto {

// One top-level entry of the selection list: a shape selected by a click
// (no children), or a rubber-band group "Inbox_n" with its shapes.
struct TSelTreeItem {
  std::string Text;
  std::vector<std::string> Children;
  bool IsGroup = false;
};

// The Normalize frame's three corners in absolute coordinates.
struct TCoordFrame {
  TPointF Origin, XEnd, YEnd;
  float RefWidth() const { return XEnd.X - Origin.X + 1; }
  float RefHeight() const { return YEnd.Y - Origin.Y + 1; }
};

class TShapeWorkspace {
 public:
  // The pick tolerance in paint-box units, and how far a press must move
  // before it becomes a rubber band.
  static constexpr float kPickUnits = 5;
  static constexpr float kGripSize = 7;

  explicit TShapeWorkspace(TControl& paintBox);
  ~TShapeWorkspace();
  TShapeWorkspace(const TShapeWorkspace&) = delete;
  TShapeWorkspace& operator=(const TShapeWorkspace&) = delete;

  TControl& PaintBox() const { return m_paintBox; }

  // Called after anything that changes the selection list or the shapes,
  // so a window can mirror the list and repaint.
  std::function<void()> OnSelectionChanged;

  // --- pointer gestures (paint-box coordinates) ----------------------------
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y);
  void MouseMove(TShiftState shift, float x, float y);
  // A release: ends a rubber band (selecting what lies inside it) or, without
  // one, is a click that toggles the path under the pointer. Returns the
  // absolute point of a click for the coordinate fields, or false when the
  // release was ignored (another button, the Normalize frame is open).
  bool MouseUp(TMouseButton button, TShiftState shift, float x, float y, TPointF* clickedAbsolute = nullptr);
  // The rubber band's own release handler.
  void InBoxSelectionMouseUp(TControl* sender, TMouseButton button, TShiftState shift, float x, float y);
  // Drops a rubber band in progress without selecting (Esc).
  bool CancelGesture();
  float FetchDelta() const { return m_fFetchDelta; }
  TInBoxSelection* InBoxSelection() const;

  // --- selection ------------------------------------------------------------
  bool SelectShape(bool select, int index, TShape* shape, const std::string& groupName);
  void RestoreSelectedShape(const std::string& key);
  void HighlightShape(bool start, TControl* shape);
  void ClearAllShapeSelection();
  // Selects every named shape of the view that is not yet selected, as
  // clicks do (Ctrl+A).
  void SelectAll();
  // The child index of the path nearest to (x, y) (paint-box coordinates)
  // within the pick tolerance, -1 when none; dist receives its distance.
  // Straight, curved and closing segments count; with fills, a point inside
  // a filled path picks the topmost such path when no outline is near.
  int FindPathAt(float& dist, float x, float y, bool fills = true) const;
  const std::map<std::string, TSelShapeInfo>& Selection() const { return m_lstSelShapes; }
  const std::vector<TSelTreeItem>& Tree() const { return m_tree; }
  int InBoxSelCount() const { return m_iInBoxSelCount; }
  TFloatAnimation& Highlight() { return *m_oShapeFloatAnimation; }

  // --- commands --------------------------------------------------------------
  // Each acts on the selection, ends with an empty selection and can be
  // undone. SetLineProps and DeleteSelection return how many shapes they
  // changed; JoinSelection returns the new path or nullptr.
  int SetLineProps(TAlphaColor color, TStrokeDash dash, float thickness);
  int DeleteSelection();
  TPath* JoinSelection();

  // --- normalise --------------------------------------------------------------
  // Opens the coordinate-system frame over the middle quarter of the view.
  void OpenCoordSystem();
  void CloseCoordSystem();
  TCoordSystemSelection* CoordSystemSelection() const;
  // The frame's corners in absolute coordinates ("+ 1" sizes).
  bool CoordFrame(TCoordFrame& frame) const;
  // Moves the frame's origin, or sizes it, in absolute units.
  void SetCoordOrigin(float x, float y);
  void SetCoordRefSize(float refWidth, float refHeight);
  // Scales every shape of the view by newW / refW and newH / refH about the
  // paint box's origin. False (nothing changed) for sizes that are not
  // positive numbers.
  bool Normalize(float refWidth, float refHeight, float newWidth, float newHeight);
  // Moves the frame's corners onto the nearest path lines; returns the frame.
  TCoordFrame Snap();
  bool FindProbeCrossing(const TLineF& L, TControl* shape, float& x, float& y) const;

  // --- undo ---------------------------------------------------------------------
  TViewHistory& History() { return m_history; }
  // Undo and redo clear the selection first; false when there is nothing.
  bool Undo();
  bool Redo();
  // Records the view as it is before a change made outside the commands
  // (an import); the change ends with EndOutsideChange.
  void BeginOutsideChange(const std::string& caption);
  void EndOutsideChange();

  // Runs write with the selected shapes in their own strokes and the
  // highlighted one at its own opacity, then shows the selection again:
  // what is saved or exported carries no selection marks.
  std::string WithOwnLooks(const std::function<std::string()>& write);

  // A name not yet used by any component of the paint box: prefix followed
  // by a number.
  std::string FreeName(const std::string& prefix);

 private:
  float PickTolerance() const;
  void Changed();
  void RemoveFromTree(const std::string& name, const std::string& group);
  std::vector<TControl*> SelectedShapesInTreeOrder(bool topLevelOnly) const;

  TControl& m_paintBox;
  std::map<std::string, TSelShapeInfo> m_lstSelShapes;
  std::vector<TSelTreeItem> m_tree;
  int m_iInBoxSelCount = 0;
  float m_fFetchDelta = -1;
  TPointF m_BeginMouseMoveLocalPoint, m_BeginMouseMoveAbsolutPoint;
  TControlRef m_oInBoxSelection;
  TControlRef m_oCoordSystemSelection;
  std::unique_ptr<TFloatAnimation> m_oShapeFloatAnimation;
  TViewHistory m_history;
  std::map<std::string, int> m_nameCounters;
  std::string m_pendingCaption;
  std::unique_ptr<TViewState> m_pendingBefore;
};

}  // namespace karto
