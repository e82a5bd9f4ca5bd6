// Drives GLib (and so GTK and WebKit) from the host's run loop. Linux hosts
// own the user-interface loop and offer plug-in editors timers and file
// descriptor callbacks through Steinberg::Linux::IRunLoop; the editor has no
// thread of its own.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

namespace webbridge {

/// A timer registered with the host's run loop that, on every tick, runs
/// GLib's default main context until it has nothing ready. Reference counted
/// the SDK way (the host holds a reference while registered).
/// Every operation runs on the host's user-interface thread.
class RunLoopPump : public Steinberg::FObject, public Steinberg::Linux::ITimerHandler {
 public:
  /// Tick interval in ms: short enough for smooth page animation, long
  /// enough to cost nothing while idle.
  static constexpr Steinberg::Linux::TimerInterval kIntervalMs = 10;

  explicit RunLoopPump(Steinberg::Linux::IRunLoop* runLoop);
  ~RunLoopPump() override;

  /// Registers the timer; false when the host refuses it. Idempotent.
  bool Start();
  /// Unregisters the timer; safe to call repeatedly.
  void Stop();
  bool Running() const { return running_; }

  /// Runs ready GLib sources without waiting, at most maxIterations times
  /// (a bound so a source that is always ready cannot hold the host's loop).
  /// Returns how many iterations dispatched something.
  static int PumpPending(int maxIterations = 500);

  void PLUGIN_API onTimer() override;

  OBJ_METHODS(RunLoopPump, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Linux::ITimerHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
  bool running_ = false;
};

}  // namespace webbridge
