#pragma once
// Property animation of display objects. A TFloatAnimation drives one float
// property of its parent control from StartValue to StopValue over Duration
// seconds. It is not itself a control: it is owned by whoever creates it, it
// never appears among the parent's children (so it is neither drawn, hit nor
// streamed), and it may be moved from one parent to another.
//
// Time advances through ProcessTick, which tests call directly. Start() also
// runs a real-time driver on Qt's animation timer when a QCoreApplication
// exists; it feeds the same ProcessTick, so both paths compute the same
// values.

#include <functional>
#include <memory>
#include <string>

#include "platform/Control.h"

class QAbstractAnimation;
class QObject;

namespace karto {

enum class TInterpolationType { itLinear };

class TFloatAnimation {
 public:
  TFloatAnimation();
  ~TFloatAnimation();
  TFloatAnimation(const TFloatAnimation&) = delete;
  TFloatAnimation& operator=(const TFloatAnimation&) = delete;

  // The control animated; nullptr when none was set or when it has been
  // destroyed. Changing it leaves the old parent's property as it is.
  TControl* Parent() const { return m_parent.Get(); }
  void SetParent(TControl* parent) { m_parent = TControlRef(parent); }

  // "Opacity" or "RotationAngle". Any other name is kept but animates
  // nothing; KnownProperty tells which case holds.
  const std::string& PropertyName() const { return m_propertyName; }
  void SetPropertyName(const std::string& name);
  bool KnownProperty() const;

  float StartValue = 0;
  float StopValue = 0;
  // Seconds for one pass from StartValue to StopValue. A duration <= 0 makes
  // Start jump to the final value and finish at once (Loop is ignored then).
  double Duration = 0.2;
  // After reaching StopValue, run back to StartValue within another Duration;
  // without Loop the animation then finishes on StartValue.
  bool AutoReverse = false;
  // Repeat for ever (each pass including its reverse run when AutoReverse).
  bool Loop = false;
  TInterpolationType Interpolation = TInterpolationType::itLinear;

  // Setting Enabled starts the animation, clearing it stops it.
  bool Enabled() const { return m_enabled; }
  void SetEnabled(bool enabled);
  bool Running() const { return m_running; }

  // Restarts from time 0 and applies StartValue at once.
  void Start();
  // Stops where the animation is: the property keeps the last value set.
  void Stop();

  // Advances a running animation by deltaSeconds and applies the value. A
  // non-looping animation that reaches its end applies its final value and
  // stops; so does one whose parent is gone. Does nothing when not running.
  void ProcessTick(double deltaSeconds);
  // Seconds since Start; within one cycle while looping.
  double CurrentTime() const { return m_time; }
  // Moves to a time (clamped to >= 0) and applies its value, running or not.
  void SetCurrentTime(double seconds);
  // The value at a time since Start, from StartValue, StopValue, Duration,
  // AutoReverse and Loop; past the end of a non-looping run it is the final
  // value.
  float ValueAt(double seconds) const;

 private:
  class TDriver;

  // One pass, or a pass and its reverse run.
  double CycleDuration() const { return AutoReverse ? 2 * Duration : Duration; }
  void Apply(float value);
  void Finish();

  TControlRef m_parent;
  std::string m_propertyName;
  bool m_enabled = false;
  bool m_running = false;
  double m_time = 0;
  std::unique_ptr<TDriver> m_driver;
};

// Animates a value to a target after a delay: after delay seconds, apply is
// called with values running linearly from from to to over duration
// seconds, ending exactly on to. The animation belongs to owner (deleted
// with it) and runs on Qt's animation timer; the returned object lets a
// caller stop it or tests finish it (its currentTime set to its
// totalDuration applies the final value).
QAbstractAnimation* AnimateFloatDelay(QObject* owner, float from, float to, double duration, double delay,
                                      std::function<void(float)> apply);

}  // namespace karto
