#include "webview_gtk.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
// Xlib names its zero window "None", which hides SizeHint::None.
#undef None

#include <cstdint>

#include "module_paths.h"
#include "run_loop_pump.h"

namespace webbridge {

namespace {

// The size a fresh window gets before the view sizes it, in pixels.
constexpr int kInitialWidth = 640;
constexpr int kInitialHeight = 480;

// GTK only sees clicks inside the embedded window, but the X server gives the
// keyboard to whatever window the host's window manager focused: take the
// focus on every click so that text fields of the page can be typed into.
GdkFilterReturn focusOnClick(GdkXEvent* xevent, GdkEvent*, gpointer) {
  auto* ev = static_cast<XEvent*>(xevent);
  if (ev->type != ButtonPress) return GDK_FILTER_CONTINUE;
  GdkDisplay* display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(display);
  XSetInputFocus(ev->xbutton.display, ev->xbutton.window, RevertToParent, ev->xbutton.time);
  gdk_x11_display_error_trap_pop_ignored(display);
  return GDK_FILTER_CONTINUE;
}

}  // namespace

bool EnsureGtk() {
  static int state = -1;
  if (state >= 0) return state == 1;
  state = 0;
  // Our window lives inside an X11 window; a Wayland GDK could not do that.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) return false;
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
  // An X error on GDK's connection without a trap makes GDK end the process.
  // Our window can vanish at any moment with the host's window, and the
  // requests GTK and WebKit still make for it then fail: one trap that is
  // never popped turns those errors into nothing instead of a dead host.
  gdk_x11_display_error_trap_push(display);
  state = 1;
  return true;
}

WebviewGtk::WebviewGtk(unsigned long parent, bool debug, ReadyCallback ready,
                       Steinberg::Linux::IRunLoop* runLoop)
    : debug_(debug), ready_(std::move(ready)) {
  if (!EnsureGtk()) return;
  if (runLoop) {
    pump_ = Steinberg::owned(new RunLoopPump(runLoop));
    if (!pump_->Start()) return;  // nothing would ever drive the window
  }
  createWindow(parent);
}

void WebviewGtk::createWindow(unsigned long parent) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window_), kInitialWidth, kInitialHeight);
  g_signal_connect(window_, "destroy", G_CALLBACK(&WebviewGtk::onDestroy), this);
  if (parent != 0) {
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_widget_realize(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    GdkDisplay* display = gdk_window_get_display(gdkWindow);
    // Reparented before it is mapped: a window manager only manages windows
    // mapped as children of the root, so it never sees this one.
    gdk_x11_display_error_trap_push(display);
    XReparentWindow(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(gdkWindow), parent, 0, 0);
    const int error = gdk_x11_display_error_trap_pop(display);  // waits for the answer
    if (error != 0) {
      // Not a window we can live in: no window rather than a stray top-level.
      gtk_widget_destroy(window_);
      return;
    }
    gdk_window_add_filter(gdkWindow, focusOnClick, this);
  }
  gtk_widget_show_all(window_);
}

WebviewGtk::~WebviewGtk() {
  Terminate();
  if (pump_) pump_->Stop();
}

void WebviewGtk::onDestroy(GtkWidget* widget, void* self) {
  auto* view = static_cast<WebviewGtk*>(self);
  if (GdkWindow* gdkWindow = gtk_widget_get_window(widget))
    gdk_window_remove_filter(gdkWindow, focusOnClick, view);
  g_signal_handlers_disconnect_by_data(widget, view);
  view->OnWindowGone();
  view->window_ = nullptr;
}

void WebviewGtk::SetTitle(const std::string& title) {
  if (window_) gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
}

void WebviewGtk::SetViewSize(int width, int height, SizeHint hint) {
  if (!window_) return;
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_set_resizable(window, hint != SizeHint::Fixed);
  switch (hint) {
    case SizeHint::Min:
    case SizeHint::Max: {
      (hint == SizeHint::Min ? minWidth_ : maxWidth_) = width;
      (hint == SizeHint::Min ? minHeight_ : maxHeight_) = height;
      GdkGeometry limits{};
      int mask = 0;
      if (minWidth_ >= 1 && minHeight_ >= 1) {
        limits.min_width = minWidth_;
        limits.min_height = minHeight_;
        mask |= GDK_HINT_MIN_SIZE;
      }
      if (maxWidth_ >= 1 && maxHeight_ >= 1) {
        limits.max_width = maxWidth_;
        limits.max_height = maxHeight_;
        mask |= GDK_HINT_MAX_SIZE;
      }
      gtk_window_set_geometry_hints(window, nullptr, &limits, static_cast<GdkWindowHints>(mask));
      return;
    }
    case SizeHint::None:
    case SizeHint::Fixed:
      break;
  }
  if (width < 1 || height < 1) return;
  // A window that may not be resized takes its size from its size request.
  if (hint == SizeHint::Fixed)
    gtk_widget_set_size_request(window_, width, height);
  else
    gtk_widget_set_size_request(window_, -1, -1);
  gtk_window_resize(window, width, height);
  Resize();
}

std::string WebviewGtk::GetResourcesPath() { return ResourcesFolderFor(ModuleFilePath()); }

void* WebviewGtk::GetNativeWindow() {
  if (!window_) return nullptr;
  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  if (!gdkWindow) return nullptr;
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(GDK_WINDOW_XID(gdkWindow)));
}

void WebviewGtk::Terminate() {
  if (window_) {
    GdkDisplay* display = gdk_display_get_default();
    gdk_x11_display_error_trap_push(display);
    gtk_widget_destroy(window_);  // onDestroy clears window_
    gdk_display_flush(display);
    gdk_x11_display_error_trap_pop_ignored(display);
  }
  window_ = nullptr;
  if (pump_) pump_->Stop();
}

void WebviewGtk::Resize() {}

}  // namespace webbridge
