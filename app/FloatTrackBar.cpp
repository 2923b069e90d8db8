#include "app/FloatTrackBar.h"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>

namespace karto {

TFloatTrackBar::TFloatTrackBar(QWidget* parent) : QWidget(parent), m_slider(new QSlider(Qt::Horizontal, this)) {
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(m_slider);
  connect(m_slider, &QSlider::valueChanged, this, &TFloatTrackBar::OnSliderMoved);
  SyncSlider();
}

void TFloatTrackBar::SetMin(double v) { SetRange(v, std::max(v, m_max)); }
void TFloatTrackBar::SetMax(double v) { SetRange(std::min(v, m_min), v); }

void TFloatTrackBar::SetRange(double min, double max) {
  if (!(min <= max)) max = min;
  m_min = min;
  m_max = max;
  SyncSlider();
  if (m_value < m_min || m_value > m_max) SetValue(std::clamp(m_value, m_min, m_max));
}

void TFloatTrackBar::SetFrequency(double step) {
  m_frequency = step > 0 ? step : 0.01;
  SyncSlider();
}

void TFloatTrackBar::SetValue(double v) {
  if (!std::isfinite(v)) return;
  v = std::clamp(v, m_min, m_max);
  if (v == m_value) return;
  m_value = v;
  SyncSlider();
  emit changed(m_value);
}

void TFloatTrackBar::SyncSlider() {
  const QSignalBlocker block(m_slider);
  const int steps = int(std::lround((m_max - m_min) / m_frequency));
  m_slider->setRange(0, std::max(0, steps));
  m_slider->setValue(int(std::lround((m_value - m_min) / m_frequency)));
}

void TFloatTrackBar::OnSliderMoved(int pos) {
  double v = m_min + pos * m_frequency;
  // Round away the binary noise of the multiplication (0.6 + 4 * 0.1).
  const double decimals = std::max(0.0, std::ceil(-std::log10(m_frequency)) + 2);
  const double p = std::pow(10.0, decimals);
  v = std::round(v * p) / p;
  v = std::clamp(v, m_min, m_max);
  if (v == m_value) return;
  m_value = v;
  emit changed(m_value);
}

}  // namespace karto
