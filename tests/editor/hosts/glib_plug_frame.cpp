#include "glib_plug_frame.h"

#include <algorithm>

namespace qeqhost {

using namespace Steinberg;

GlibPlugFrame::~GlibPlugFrame() {
  for (Watch& w : watches_) g_source_remove(w.source);
  for (Timer& t : timers_) g_source_remove(t.source);
}

tresult PLUGIN_API GlibPlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  return view && newSize ? view->onSize(newSize) : kInvalidArgument;
}

tresult PLUGIN_API GlibPlugFrame::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  for (const Watch& w : watches_)
    if (w.fd == fd) return kInvalidArgument;
  watches_.push_back({this, IPtr<Linux::IEventHandler>(handler), fd, 0});
  GIOChannel* channel = g_io_channel_unix_new(fd);
  watches_.back().source = g_io_add_watch(channel, static_cast<GIOCondition>(G_IO_IN | G_IO_ERR | G_IO_HUP),
                                          &GlibPlugFrame::onWatch, &watches_.back());
  g_io_channel_unref(channel);
  return kResultOk;
}

tresult PLUGIN_API GlibPlugFrame::unregisterEventHandler(Linux::IEventHandler* handler) {
  bool found = false;
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (it->handler.get() != handler) {
      ++it;
      continue;
    }
    g_source_remove(it->source);
    it = watches_.erase(it);
    found = true;
  }
  return found ? kResultOk : kResultFalse;
}

gboolean GlibPlugFrame::onWatch(GIOChannel*, GIOCondition condition, gpointer data) {
  auto* watch = static_cast<Watch*>(data);
  GlibPlugFrame* frame = watch->frame;
  const guint source = watch->source;
  IPtr<Linux::IEventHandler> handler = watch->handler;
  handler->onFDIsSet(watch->fd);  // may unregister, freeing *watch
  if (!(condition & (G_IO_ERR | G_IO_HUP))) return G_SOURCE_CONTINUE;
  auto still = std::find_if(frame->watches_.begin(), frame->watches_.end(),
                            [source](const Watch& w) { return w.source == source; });
  if (still != frame->watches_.end()) frame->watches_.erase(still);
  return G_SOURCE_REMOVE;
}

tresult PLUGIN_API GlibPlugFrame::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) {
  if (!handler || ms == 0) return kInvalidArgument;
  timers_.push_back({this, IPtr<Linux::ITimerHandler>(handler), 0});
  timers_.back().source = g_timeout_add(static_cast<guint>(ms), &GlibPlugFrame::onTimer, &timers_.back());
  return kResultOk;
}

tresult PLUGIN_API GlibPlugFrame::unregisterTimer(Linux::ITimerHandler* handler) {
  bool found = false;
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->handler.get() != handler) {
      ++it;
      continue;
    }
    g_source_remove(it->source);
    it = timers_.erase(it);
    found = true;
  }
  return found ? kResultOk : kResultFalse;
}

gboolean GlibPlugFrame::onTimer(gpointer data) {
  IPtr<Linux::ITimerHandler> handler = static_cast<Timer*>(data)->handler;
  handler->onTimer();
  return G_SOURCE_CONTINUE;  // a removed source is not called again
}

}  // namespace qeqhost
