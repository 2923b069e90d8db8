#pragma once
// A track bar with float minimum, maximum, step and value over a QSlider.
// The value is kept as set, not re-derived from the slider position, so
// ranges such as 0.6 ... 10 in steps of 0.1 hold their values exactly.
// Like the track bars users know, setting the value from code fires
// changed() as well; handlers that must not react guard themselves.

#include <QWidget>

class QSlider;

namespace karto {

class TFloatTrackBar : public QWidget {
  Q_OBJECT
 public:
  explicit TFloatTrackBar(QWidget* parent = nullptr);

  double Min() const { return m_min; }
  double Max() const { return m_max; }
  double Frequency() const { return m_frequency; }
  double Value() const { return m_value; }
  // Setting a range clamps the value into it (and fires changed() if that
  // moves it).
  void SetMin(double v);
  void SetMax(double v);
  void SetRange(double min, double max);
  void SetFrequency(double step);
  void SetValue(double v);

  QSlider* Slider() const { return m_slider; }

 signals:
  void changed(double value);

 private:
  void SyncSlider();
  void OnSliderMoved(int pos);

  QSlider* m_slider;
  double m_min = 0;
  double m_max = 10;
  double m_frequency = 0.01;
  double m_value = 0;
};

}  // namespace karto
