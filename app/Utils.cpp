#include "app/Utils.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QTextEdit>
#include <QWidget>

namespace karto {

void SetWidgetOpacity(QWidget* w, double opacity) {
  if (!w) return;
  opacity = qBound(0.0, opacity, 1.0);
  w->setProperty("opacity", opacity);
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect());
  if (opacity >= 1.0) {
    if (effect) w->setGraphicsEffect(nullptr);  // deletes it; full opacity needs no effect
    return;
  }
  if (!effect) {
    effect = new QGraphicsOpacityEffect(w);
    w->setGraphicsEffect(effect);
  }
  effect->setOpacity(opacity);
}

double WidgetOpacity(const QWidget* w) {
  const QVariant v = w ? w->property("opacity") : QVariant();
  return v.isValid() ? v.toDouble() : 1.0;
}

namespace {
// Edit fields, tree views and list boxes keep more of their look when
// disabled, since their content stays worth reading.
bool IsEditOrList(const QWidget* w) {
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w);
}
}  // namespace

void EnableControl(bool value, QWidget* control) {
  if (!control) return;
  control->setEnabled(value);
  SetWidgetOpacity(control, value ? 1.0 : (IsEditOrList(control) ? 0.6 : 0.4));
}

void EnablePanel(bool value, QWidget* panel, float disabledOpacity) {
  if (!panel) return;
  panel->setEnabled(value);
  SetWidgetOpacity(panel, value ? 1.0 : disabledOpacity);
}

TRectF FitRect(bool center, bool keepAspect, float srcW, float srcH, float dstW, float dstH,
               float scaleX, float scaleY) {
  float w = srcW * scaleX;
  float h = srcH * scaleY;
  if (keepAspect) {
    const float ratio = srcH > 0 ? srcW / srcH : 1;
    // An area without height is treated as infinitely wide, so the drawing
    // takes the area's height (0) instead of dividing by zero.
    const float areaRatio = dstH > 0 ? dstW / dstH : INFINITY;
    if (areaRatio > ratio) {
      w = dstH * ratio;
      h = dstH;
    } else {
      w = dstW;
      h = ratio > 0 ? dstW / ratio : 0;
    }
  }
  float ox = 0, oy = 0;
  if (center) {
    ox = (dstW - w) / 2;
    oy = (dstH - h) / 2;
  }
  return {ox, oy, ox + w, oy + h};
}

}  // namespace karto
