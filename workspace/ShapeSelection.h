#pragma once
// What the workspace remembers of a selected shape: its place among the
// paint box's children and the stroke it had before it was drawn selected.

#include "platform/Shapes.h"

namespace karto {

struct TSelShapeInfo {
  int m_iIdx = -1;
  TAlphaColor m_oColor = 0;
  TStrokeDash m_enStrokeDash = TStrokeDash::sdSolid;
  float m_fStrokeThickness = 1;
};

enum class ShapeActionMode { SHAPE_NONE, SHAPE_NORMALIZE };

}  // namespace karto
