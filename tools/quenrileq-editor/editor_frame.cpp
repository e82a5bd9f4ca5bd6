#include "editor_frame.h"

#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>

namespace QuenrilEQ {
namespace editorhost {

using namespace Steinberg;

EditorFrame::EditorFrame(int width, int height, const std::string& title, unsigned long background) {
  display_ = XOpenDisplay(nullptr);
  if (!display_ || width < 1 || height < 1) return;
  window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0,
                                static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                0, background);
  XStoreName(display_, window_, title.c_str());
  deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display_, window_, &deleteAtom_, 1);
  XSelectInput(display_, window_, StructureNotifyMask);
  XMapWindow(display_, window_);
  XSync(display_, False);
}

EditorFrame::~EditorFrame() {
  timers_.clear();
  handlers_.clear();
  if (display_) {
    if (window_) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
}

void EditorFrame::DestroyWindow() {
  if (!display_ || !window_) return;
  XDestroyWindow(display_, window_);
  XSync(display_, False);
  window_ = 0;
}

bool EditorFrame::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const Clock::time_point limit = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= limit) return done();
    runOnce(limit);
  }
}

void EditorFrame::RunFor(int ms) {
  RunUntil([] { return false; }, ms);
}

void EditorFrame::runOnce(Clock::time_point limit) {
  // Due timers first. A snapshot, because a handler may (un)register timers.
  const Clock::time_point now = Clock::now();
  std::vector<IPtr<Linux::ITimerHandler>> due;
  for (Timer& t : timers_) {
    if (t.due <= now) {
      due.push_back(t.handler);
      t.due = now + t.interval;
    }
  }
  for (auto& handler : due) {
    const bool stillRegistered = std::any_of(timers_.begin(), timers_.end(),
                                             [&](const Timer& t) { return t.handler == handler; });
    if (stillRegistered) handler->onTimer();
  }

  // Then wait for X events, file descriptors or the next timer.
  Clock::time_point wake = limit;
  for (const Timer& t : timers_) wake = std::min(wake, t.due);
  // Rounded up: a wait rounded down to 0 ms would spin through the last millisecond.
  const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
  std::vector<pollfd> fds;
  if (display_) fds.push_back({ConnectionNumber(display_), POLLIN, 0});
  for (const Handler& h : handlers_) fds.push_back({h.fd, POLLIN, 0});
  // Events Xlib already read would not wake poll; asking without reading
  // keeps an idle loop from hammering the X connection.
  const bool xQueued = display_ && XEventsQueued(display_, QueuedAlready) > 0;
  if (!xQueued) poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, waitMs)));
  if (xQueued || (display_ && (fds[0].revents & POLLIN))) handleXEvents();

  std::vector<Handler> ready;
  for (std::size_t i = display_ ? 1 : 0, h = 0; i < fds.size() && h < handlers_.size(); ++i, ++h)
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ready.push_back(handlers_[h]);
  for (Handler& h : ready) h.handler->onFDIsSet(h.fd);
}

void EditorFrame::handleXEvents() {
  if (!display_) return;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom_)
      closeRequested_ = true;
  }
}

tresult PLUGIN_API EditorFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  if (!view || !newSize || newSize->getWidth() < 1 || newSize->getHeight() < 1) return kInvalidArgument;
  lastResize_ = *newSize;
  if (display_ && window_) {
    XResizeWindow(display_, window_, static_cast<unsigned>(newSize->getWidth()),
                  static_cast<unsigned>(newSize->getHeight()));
    XSync(display_, False);
  }
  return view->onSize(newSize);
}

tresult PLUGIN_API EditorFrame::registerEventHandler(Linux::IEventHandler* handler,
                                                     Linux::FileDescriptor fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  handlers_.push_back({IPtr<Linux::IEventHandler>(handler), fd});
  return kResultOk;
}

tresult PLUGIN_API EditorFrame::unregisterEventHandler(Linux::IEventHandler* handler) {
  const auto before = handlers_.size();
  handlers_.erase(std::remove_if(handlers_.begin(), handlers_.end(),
                                 [&](const Handler& h) { return h.handler.get() == handler; }),
                  handlers_.end());
  return handlers_.size() != before ? kResultOk : kResultFalse;
}

tresult PLUGIN_API EditorFrame::registerTimer(Linux::ITimerHandler* handler,
                                              Linux::TimerInterval milliseconds) {
  if (!handler || milliseconds == 0) return kInvalidArgument;
  const std::chrono::milliseconds interval(milliseconds);
  timers_.push_back({IPtr<Linux::ITimerHandler>(handler), interval, Clock::now() + interval});
  return kResultOk;
}

tresult PLUGIN_API EditorFrame::unregisterTimer(Linux::ITimerHandler* handler) {
  const auto before = timers_.size();
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.handler.get() == handler; }),
                timers_.end());
  return timers_.size() != before ? kResultOk : kResultFalse;
}

}  // namespace editorhost
}  // namespace QuenrilEQ
