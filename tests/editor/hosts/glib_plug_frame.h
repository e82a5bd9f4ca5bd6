// The plug frame and run loop of a host built on GLib (GTK 2, GTK 3): timers
// and descriptor watches on the default main context, the way Ardour drives
// plug-in editors (a watch for input, error or hang-up that is dropped for
// good after an error or hang-up, one handler per descriptor).
#pragma once

#include <glib.h>

#include <list>

#include "base/source/fobject.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

namespace qeqhost {

/// Reference counted the SDK way. Main thread only.
class GlibPlugFrame : public Steinberg::FObject,
                      public Steinberg::IPlugFrame,
                      public Steinberg::Linux::IRunLoop {
 public:
  ~GlibPlugFrame() override;

  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;
  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval milliseconds) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  std::size_t Registrations() const { return watches_.size() + timers_.size(); }

  OBJ_METHODS(GlibPlugFrame, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPlugFrame)
    DEF_INTERFACE(Steinberg::Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  struct Watch {
    GlibPlugFrame* frame;
    Steinberg::IPtr<Steinberg::Linux::IEventHandler> handler;
    int fd;
    guint source;
  };
  struct Timer {
    GlibPlugFrame* frame;
    Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
    guint source;
  };
  static gboolean onWatch(GIOChannel*, GIOCondition condition, gpointer data);
  static gboolean onTimer(gpointer data);

  std::list<Watch> watches_;  // stable addresses: GLib holds pointers to them
  std::list<Timer> timers_;
};

/// Runs the default main context until done() answers true or timeoutMs
/// passed; returns done()'s last answer.
template <typename Done>
bool PumpUntil(Done done, int timeoutMs) {
  const gint64 end = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
  while (!done()) {
    if (g_get_monotonic_time() >= end) return done();
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  return true;
}

inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace qeqhost
