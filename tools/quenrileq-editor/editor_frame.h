// The host side of a Linux plug-in editor: an X11 window to put the editor
// in, the plug frame the view talks to, and the run loop (timers and file
// descriptor callbacks) that drives it. Used by quenrileq-editor and by the
// editor tests.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "base/source/fobject.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

#undef None  // Xlib's, which clashes with enumerators of the same name

namespace QuenrilEQ {
namespace editorhost {

/// A top-level X11 window on its own Xlib connection, acting as IPlugFrame
/// and Steinberg::Linux::IRunLoop for the views attached to it. Reference
/// counted the SDK way: create with Steinberg::owned(new EditorFrame(...)).
/// Single-threaded: everything, including the callbacks it makes, runs on the
/// thread that calls Run*.
class EditorFrame : public Steinberg::FObject,
                    public Steinberg::IPlugFrame,
                    public Steinberg::Linux::IRunLoop {
 public:
  /// Magenta: no page uses it, so an editor that paints nothing is obvious
  /// at a glance and in screenshots.
  static constexpr unsigned long kBackground = 0xFF00FF;

  /// Opens $DISPLAY and maps a window of width x height pixels with the given
  /// background colour (0xRRGGBB). Check Ok() afterwards.
  EditorFrame(int width, int height, const std::string& title,
              unsigned long background = kBackground);
  ~EditorFrame() override;

  bool Ok() const { return window_ != 0; }
  /// The window id to pass to IPlugView::attached; 0 once destroyed.
  unsigned long WindowId() const { return window_; }
  Display* XDisplay() const { return display_; }

  /// Runs the loop until done() answers true (checked after every round) or
  /// timeoutMs have passed; returns done()'s last answer.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);
  /// Runs the loop for ms milliseconds.
  void RunFor(int ms);
  /// True once the window manager asked to close the window.
  bool CloseRequested() const { return closeRequested_; }
  /// Destroys the X11 window now, as a host that tears down its window before
  /// the view does.
  void DestroyWindow();

  /// Timers and event handlers currently registered.
  std::size_t TimerCount() const { return timers_.size(); }
  std::size_t EventHandlerCount() const { return handlers_.size(); }
  /// Size of the last resizeView request, or 0 x 0.
  Steinberg::ViewRect LastResize() const { return lastResize_; }

  // IPlugFrame: resizes the window and tells the view its new size.
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                           Steinberg::ViewRect* newSize) override;
  // IRunLoop
  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval milliseconds) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  OBJ_METHODS(EditorFrame, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPlugFrame)
    DEF_INTERFACE(Steinberg::Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
    std::chrono::milliseconds interval;
    Clock::time_point due;
  };
  struct Handler {
    Steinberg::IPtr<Steinberg::Linux::IEventHandler> handler;
    int fd;
  };

  void runOnce(Clock::time_point limit);
  void handleXEvents();

  Display* display_ = nullptr;
  Window window_ = 0;
  Atom deleteAtom_ = 0;
  bool closeRequested_ = false;
  Steinberg::ViewRect lastResize_{0, 0, 0, 0};
  std::vector<Timer> timers_;
  std::vector<Handler> handlers_;
};

}  // namespace editorhost
}  // namespace QuenrilEQ
