#include "app/Utils.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QTextEdit>
#include <QWidget>

#include "platform/NamedColors.h"

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


QIcon ColorIcon(TAlphaColor c) {
  QPixmap pm(14, 14);
  pm.fill(QColor(ColorRed(c), ColorGreen(c), ColorBlue(c), ColorAlpha(c)));
  return QIcon(pm);
}

void FillColorBox(QComboBox* box, TAlphaColor color) {
  box->clear();
  int current = -1;
  for (const TNamedColor& c : NamedColors()) {
    if (current < 0 && c.color == color) current = box->count();
    box->addItem(ColorIcon(c.color), QString::fromLatin1(c.name), QVariant::fromValue(uint(c.color)));
  }
  if (current < 0) {
    current = box->count();
    box->addItem(ColorIcon(color), QString("#%1").arg(uint(color), 8, 16, QChar('0')).toUpper(),
                 QVariant::fromValue(uint(color)));
  }
  box->setCurrentIndex(current);
}

TAlphaColor ColorBoxColor(const QComboBox* box) { return TAlphaColor(box->currentData().toUInt()); }

}  // namespace karto
