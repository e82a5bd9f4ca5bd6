// The window part of the Linux web view: a GTK 3 window embedded into the
// host's X11 window, with sizing, title, resources path and the run-loop pump.
// WebKitBrowser derives from it and adds the browser.
#pragma once

#include <functional>
#include <string>

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "webview/webview.h"

typedef struct _GtkWidget GtkWidget;

namespace webbridge {

class RunLoopPump;

/// Window layer of the web view on X11. The constructor initialises GTK for
/// its X11 backend, creates a GTK window, reparents it into the host's window
/// before mapping it (so no window manager ever sees a top-level), shows it and
/// starts pumping GLib from the host's run loop. When any of that fails the
/// object exists without a window and CreateBrowser answers false.
/// Every operation runs on the host's user-interface thread.
class WebviewGtk : public Webview {
 public:
  using ReadyCallback = std::function<void(Webview*)>;

  /// parent: X11 window id of the host's window, 0 for a top-level window of
  /// our own; runLoop: the host's run loop (null: nothing pumps GLib, which a
  /// caller that runs GLib itself may want).
  WebviewGtk(unsigned long parent, bool debug, ReadyCallback ready,
             Steinberg::Linux::IRunLoop* runLoop);
  ~WebviewGtk() override;

  void SetTitle(const std::string& title) override;
  /// Width and height in pixels of the client area (an embedded window has no
  /// frame). None: resize; Min/Max: record the limit; Fixed: resize and make
  /// the window non-resizable.
  void SetViewSize(int width, int height, SizeHint hint) override;
  /// Contents/Resources/ beside the folder holding the module file, with a
  /// trailing slash; empty when the module's path is unknown.
  std::string GetResourcesPath() override;
  /// The GTK window's X11 id as a pointer-sized integer; null without window.
  void* GetNativeWindow() override;
  /// Destroys the window (and the browser in it) and stops the pump.
  void Terminate() override;

  /// Creates the browser in the window; true when it is starting. Pure here.
  virtual bool CreateBrowser() = 0;
  /// Fits the browser to the window. Nothing here.
  virtual void Resize();

  /// True while the GTK window exists.
  bool HasWindow() const { return window_ != nullptr; }

 protected:
  GtkWidget* Window() const { return window_; }
  bool Debug() const { return debug_; }
  void CallReady() {
    if (ready_) ready_(this);
  }
  /// The window has gone (destroyed by us, or with the host's window); the
  /// browser drops its widget pointers here.
  virtual void OnWindowGone() {}

 private:
  static void onDestroy(GtkWidget* widget, void* self);
  void createWindow(unsigned long parent);

  bool debug_;
  ReadyCallback ready_;
  GtkWidget* window_ = nullptr;
  int minWidth_ = 0, minHeight_ = 0;
  int maxWidth_ = 0, maxHeight_ = 0;
  Steinberg::IPtr<RunLoopPump> pump_;
};

/// Initialises GTK once per process, restricted to its X11 backend, and
/// answers whether the default display is an X11 display GTK can use. Also
/// makes X errors on GDK's connection non-fatal: GDK's default reaction is to
/// end the process, which here is the host. [UI thread]
bool EnsureGtk();

}  // namespace webbridge
