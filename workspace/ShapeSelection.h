#pragma once
// What the workspace remembers of a selected shape: the shape itself, its
// place among the paint box's children when it was selected, the stroke it
// had before it was drawn selected, and the rubber-band group it came in.

#include <string>

#include "platform/Shapes.h"

namespace karto {

struct TSelShapeInfo {
  int m_iIdx = -1;
  TAlphaColor m_oColor = 0;
  TStrokeDash m_enStrokeDash = TStrokeDash::sdSolid;
  float m_fStrokeThickness = 1;
  // The whole stroke before selection: an imported shape without a stroke
  // (or with a gradient one) is drawn with a solid red one while selected
  // and gets its own back afterwards.
  TBrush m_oStroke;
  // The shape, followed by reference rather than by m_iIdx: deleting or
  // joining other shapes moves indices, and the commands must act on the
  // shapes that were selected.
  TControlRef m_oShape;
  // The rubber-band group the shape was selected with; empty for a click.
  std::string m_sGroup;
};

enum class ShapeActionMode { SHAPE_NONE, SHAPE_NORMALIZE };

}  // namespace karto
