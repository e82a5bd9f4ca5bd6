// The window part of the helper's browser: a GTK 3 window put into the
// plug-in's wrapper window (an X11 window made by the host process), sized
// like the wrapper and following it. WebKitBrowser derives from it.
#pragma once

#include <functional>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkWindow GdkWindow;

namespace webbridge {

/// The constructor creates the GTK window, reparents it into the wrapper
/// before mapping it (so no window manager ever sees a top-level), and shows
/// it. When that fails the object exists without a window. [main thread]
class WebviewGtk {
 public:
  /// parent: XID of the wrapper window; gone: called once when the window
  /// has been destroyed (by us, or with the wrapper).
  WebviewGtk(unsigned long parent, std::function<void()> gone);
  virtual ~WebviewGtk();
  WebviewGtk(const WebviewGtk&) = delete;
  WebviewGtk& operator=(const WebviewGtk&) = delete;

  void SetTitle(const std::string& title);
  /// The window's XID; 0 without window.
  unsigned long WindowId() const;
  /// Destroys the window (and the browser in it).
  void Terminate();
  /// Fits the browser to the window. Nothing here.
  virtual void Resize();

  bool HasWindow() const { return window_ != nullptr; }

 protected:
  GtkWidget* Window() const { return window_; }
  /// The window has gone; the browser drops its widget pointers here.
  virtual void OnWindowGone() {}

 private:
  static void onDestroy(GtkWidget* widget, void* self);
  void createWindow(unsigned long parent);

  GtkWidget* window_ = nullptr;
  GdkWindow* wrapper_ = nullptr;  // foreign window, watched for its size
  std::function<void()> gone_;
};

/// Initialises GTK once, restricted to its X11 backend, and answers whether
/// the default display is an X11 display GTK can use. X errors on GDK's
/// connection stay non-fatal for good: our window lives in another process's
/// window that may vanish at any moment. [main thread]
bool EnsureGtk();

}  // namespace webbridge
