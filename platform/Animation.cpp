#include "platform/Animation.h"

#include <QAbstractAnimation>
#include <QCoreApplication>
#include <QSequentialAnimationGroup>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>
#include <string_view>

namespace karto {

namespace {

enum class TAnimatedProperty { Unknown, Opacity, RotationAngle };

struct TPropertyName {
  std::string_view Name;
  TAnimatedProperty Property;
};

// Names are matched exactly, as the object stream writes them.
constexpr TPropertyName kProperties[] = {
    {"Opacity", TAnimatedProperty::Opacity},
    {"RotationAngle", TAnimatedProperty::RotationAngle},
};

TAnimatedProperty PropertyByName(std::string_view name) {
  for (const TPropertyName& p : kProperties)
    if (p.Name == name) return p.Property;
  return TAnimatedProperty::Unknown;
}

}  // namespace

// Qt's animation timer as a clock: an endless QAbstractAnimation that turns
// its time steps into ProcessTick calls. When to stop is decided by the
// TFloatAnimation, never by the driver's duration.
class TFloatAnimation::TDriver : public QAbstractAnimation {
 public:
  explicit TDriver(TFloatAnimation& owner) : m_owner(owner) {}
  int duration() const override { return -1; }
  void Restart() {
    stop();
    m_lastMs = 0;
    start();
  }

 protected:
  void updateCurrentTime(int ms) override {
    const int delta = ms - m_lastMs;
    m_lastMs = ms;
    if (delta > 0) m_owner.ProcessTick(delta / 1000.0);
  }

 private:
  TFloatAnimation& m_owner;
  int m_lastMs = 0;
};

TFloatAnimation::TFloatAnimation() = default;
TFloatAnimation::~TFloatAnimation() = default;

void TFloatAnimation::SetPropertyName(const std::string& name) { m_propertyName = name; }

bool TFloatAnimation::KnownProperty() const {
  return PropertyByName(m_propertyName) != TAnimatedProperty::Unknown;
}

void TFloatAnimation::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  if (enabled)
    Start();
  else
    Stop();
}

void TFloatAnimation::Start() {
  m_time = 0;
  if (Duration <= 0) {
    Apply(ValueAt(0));
    Finish();
    return;
  }
  m_running = true;
  Apply(ValueAt(0));
  if (QCoreApplication::instance()) {
    if (!m_driver) m_driver = std::make_unique<TDriver>(*this);
    m_driver->Restart();
  }
}

void TFloatAnimation::Stop() { Finish(); }

void TFloatAnimation::Finish() {
  m_running = false;
  // Stopping the driver from inside its own tick is allowed by Qt.
  if (m_driver) m_driver->stop();
}

void TFloatAnimation::ProcessTick(double deltaSeconds) {
  if (!m_running) return;
  if (!m_parent) {
    Finish();
    return;
  }
  m_time += std::max(0.0, deltaSeconds);
  const double cycle = CycleDuration();
  if (!Loop && m_time >= cycle) {
    m_time = cycle;
    Apply(ValueAt(cycle));
    Finish();
    return;
  }
  // Kept within one cycle so that precision does not drain away over a long run.
  if (Loop) m_time = std::fmod(m_time, cycle);
  Apply(ValueAt(m_time));
}

void TFloatAnimation::SetCurrentTime(double seconds) {
  m_time = std::max(0.0, seconds);
  Apply(ValueAt(m_time));
}

float TFloatAnimation::ValueAt(double seconds) const {
  if (Duration <= 0) return AutoReverse ? StartValue : StopValue;
  const double cycle = CycleDuration();
  double t = std::max(0.0, seconds);
  t = Loop ? std::fmod(t, cycle) : std::min(t, cycle);
  double phase = t / Duration;            // 0 .. 1, or 0 .. 2 with AutoReverse
  if (phase > 1) phase = 2 - phase;       // the reverse run
  // TInterpolationType::itLinear is the only curve.
  return float(StartValue + (double(StopValue) - StartValue) * phase);
}

void TFloatAnimation::Apply(float value) {
  TControl* parent = m_parent.Get();
  if (!parent) return;
  switch (PropertyByName(m_propertyName)) {
    case TAnimatedProperty::Opacity: parent->SetOpacity(value); break;
    case TAnimatedProperty::RotationAngle: parent->SetRotationAngle(value); break;
    case TAnimatedProperty::Unknown: break;
  }
}

QAbstractAnimation* AnimateFloatDelay(QObject* owner, float from, float to, double duration, double delay,
                                      std::function<void(float)> apply) {
  auto* group = new QSequentialAnimationGroup(owner);
  if (delay > 0) group->addPause(int(std::lround(delay * 1000)));
  auto* run = new QVariantAnimation(group);
  run->setStartValue(double(from));
  run->setEndValue(double(to));
  run->setDuration(std::max(0, int(std::lround(duration * 1000))));
  run->setEasingCurve(QEasingCurve::Linear);
  QObject::connect(run, &QVariantAnimation::valueChanged, group,
                   [apply](const QVariant& v) { apply(float(v.toDouble())); });
  group->addAnimation(run);
  group->start(QAbstractAnimation::DeleteWhenStopped);
  return group;
}

}  // namespace karto
