// The plug frame and run loop of a host built on GLib (GTK 2, GTK 3): timers
// and descriptor watches on the default main context, the way Ardour drives
// plug-in editors (a watch for input, error or hang-up that is dropped for
// good after an error or hang-up, one handler per descriptor).
#pragma once

#include <glib.h>

#include <algorithm>
#include <functional>
#include <list>

#include "base/source/fobject.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

namespace qeqhost {

/// Reference counted the SDK way. Main thread only.
class GlibPlugFrame : public Steinberg::FObject, public Steinberg::IPlugFrame, public Steinberg::Linux::IRunLoop {
 public:
  ~GlibPlugFrame() override {
    for (Source& s : sources_) g_source_remove(s.id);
  }
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override {
    return view && newSize ? view->onSize(newSize) : Steinberg::kInvalidArgument;
  }
  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler, Steinberg::Linux::FileDescriptor fd) override {
    if (!handler || fd < 0 || std::any_of(sources_.begin(), sources_.end(), [fd](const Source& s) { return s.fd == fd; }))
      return Steinberg::kInvalidArgument;
    Source& s = add(handler, fd, [h = Steinberg::IPtr<Steinberg::Linux::IEventHandler>(handler), fd] { h->onFDIsSet(fd); });
    GIOChannel* channel = g_io_channel_unix_new(fd);
    s.id = g_io_add_watch(channel, static_cast<GIOCondition>(G_IO_IN | G_IO_ERR | G_IO_HUP), &GlibPlugFrame::onWatch, &s);
    g_io_channel_unref(channel);
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override { return drop(handler); }
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler, Steinberg::Linux::TimerInterval ms) override {
    if (!handler || ms == 0) return Steinberg::kInvalidArgument;
    Source& s = add(handler, -1, [h = Steinberg::IPtr<Steinberg::Linux::ITimerHandler>(handler)] { h->onTimer(); });
    s.id = g_timeout_add(static_cast<guint>(ms), &GlibPlugFrame::onTimer, &s);
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override { return drop(handler); }

  std::size_t Registrations() const { return sources_.size(); }

  OBJ_METHODS(GlibPlugFrame, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPlugFrame)
    DEF_INTERFACE(Steinberg::Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  struct Source {
    GlibPlugFrame* frame;
    const Steinberg::FUnknown* key;
    int fd;
    std::function<void()> fire;  // holds the handler, alive while registered
    guint id = 0;
  };
  Source& add(Steinberg::FUnknown* handler, int fd, std::function<void()> fire) {
    return sources_.emplace_back(Source{this, handler, fd, std::move(fire)});
  }
  Steinberg::tresult drop(Steinberg::FUnknown* handler) {
    const std::size_t before = sources_.size();
    for (auto it = sources_.begin(); it != sources_.end();) {
      if (it->key != handler) { ++it; continue; }
      g_source_remove(it->id);
      it = sources_.erase(it);
    }
    return sources_.size() < before ? Steinberg::kResultOk : Steinberg::kResultFalse;
  }
  static gboolean onTimer(gpointer data) {
    const std::function<void()> fire = static_cast<Source*>(data)->fire;  // the handler may unregister, freeing the source
    fire();
    return G_SOURCE_CONTINUE;  // a removed source is not called again
  }
  static gboolean onWatch(GIOChannel*, GIOCondition condition, gpointer data) {
    auto* s = static_cast<Source*>(data);
    GlibPlugFrame* frame = s->frame;
    const guint id = s->id;
    const std::function<void()> fire = s->fire;
    fire();
    if (!(condition & (G_IO_ERR | G_IO_HUP))) return G_SOURCE_CONTINUE;
    frame->sources_.remove_if([id](const Source& other) { return other.id == id; });
    return G_SOURCE_REMOVE;
  }

  std::list<Source> sources_;  // stable addresses: GLib holds pointers to them
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
