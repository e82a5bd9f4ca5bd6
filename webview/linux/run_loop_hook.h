// A callback the host's run loop calls: Linux hosts own the user-interface
// loop and offer editors timers and file-descriptor callbacks through
// Steinberg::Linux::IRunLoop. The host holds a reference while the hook is
// registered, possibly beyond the life of whatever set it up, so the owner
// detaches it before going away.
#pragma once

#include <functional>

#include "base/source/fobject.h"
#include "pluginterfaces/gui/iplugview.h"

namespace webbridge {

/// Reference counted the SDK way. [UI thread]
class RunLoopHook : public Steinberg::FObject,
                    public Steinberg::Linux::IEventHandler,
                    public Steinberg::Linux::ITimerHandler {
 public:
  explicit RunLoopHook(std::function<void()> fire) : fire_(std::move(fire)) {}

  /// Calls nothing from now on.
  void Detach() { fire_ = nullptr; }

  void PLUGIN_API onFDIsSet(Steinberg::Linux::FileDescriptor) override { run(); }
  void PLUGIN_API onTimer() override { run(); }

  OBJ_METHODS(RunLoopHook, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Linux::IEventHandler)
    DEF_INTERFACE(Steinberg::Linux::ITimerHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  void run() {
    // The callback may unregister this hook, dropping the host's reference.
    Steinberg::IPtr<RunLoopHook> self(this);
    if (fire_) {
      auto fire = fire_;
      fire();
    }
  }

  std::function<void()> fire_;
};

}  // namespace webbridge
