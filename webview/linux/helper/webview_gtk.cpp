#include "webview_gtk.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "input_focus.h"

namespace webbridge {

namespace {

// Follows the wrapper: hosts size their editor's child (our wrapper) through
// the plug-in or by themselves, and the browser window fills it.
GdkFilterReturn onWrapperEvent(GdkXEvent* xevent, GdkEvent*, gpointer window) {
  auto* ev = static_cast<XEvent*>(xevent);
  if (ev->type == ConfigureNotify && ev->xconfigure.width > 0 && ev->xconfigure.height > 0)
    gtk_window_resize(GTK_WINDOW(window), ev->xconfigure.width, ev->xconfigure.height);
  return GDK_FILTER_CONTINUE;
}

}  // namespace

bool EnsureGtk() {
  static int state = -1;
  if (state >= 0) return state == 1;
  state = 0;
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) return false;
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
  // GDK ends the process on an untrapped X error. Requests for our window
  // fail harmlessly once the host's window is gone, and we leave then anyway.
  gdk_x11_display_error_trap_push(display);
  state = 1;
  return true;
}

WebviewGtk::WebviewGtk(unsigned long parent, std::function<void()> gone) : gone_(std::move(gone)) {
  if (EnsureGtk()) createWindow(parent);
}

void WebviewGtk::createWindow(unsigned long parent) {
  GdkDisplay* display = gdk_display_get_default();
  Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
  gdk_x11_display_error_trap_push(display);
  ::Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  const bool exists = XGetGeometry(xdisplay, parent, &root, &x, &y, &width, &height, &border, &depth);
  if (gdk_x11_display_error_trap_pop(display) != 0 || !exists || width == 0 || height == 0) return;

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window_), static_cast<int>(width), static_cast<int>(height));
  g_signal_connect(window_, "destroy", G_CALLBACK(&WebviewGtk::onDestroy), this);
  gtk_widget_realize(window_);
  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  // Reparented before it is mapped: a window manager only manages windows
  // mapped as children of the root, so it never sees this one.
  gdk_x11_display_error_trap_push(display);
  XReparentWindow(xdisplay, GDK_WINDOW_XID(gdkWindow), parent, 0, 0);
  wrapper_ = gdk_x11_window_foreign_new_for_display(display, parent);
  if (wrapper_) {
    gdk_window_set_events(wrapper_, GDK_STRUCTURE_MASK);
    gdk_window_add_filter(wrapper_, onWrapperEvent, window_);
  }
  if (gdk_x11_display_error_trap_pop(display) != 0 || !wrapper_) {
    // Not a window we can live in: no window rather than a stray top-level.
    gtk_widget_destroy(window_);
    return;
  }
  FollowClicksWithKeyboardFocus(window_, parent);
  gtk_widget_show_all(window_);
}

WebviewGtk::~WebviewGtk() {
  gone_ = nullptr;  // the owner is going too
  Terminate();
}

void WebviewGtk::onDestroy(GtkWidget*, void* self) {
  auto* view = static_cast<WebviewGtk*>(self);
  if (view->wrapper_) {
    gdk_window_remove_filter(view->wrapper_, onWrapperEvent, view->window_);
    g_object_unref(view->wrapper_);
    view->wrapper_ = nullptr;
  }
  g_signal_handlers_disconnect_by_data(view->window_, view);
  view->OnWindowGone();
  view->window_ = nullptr;
  if (view->gone_) view->gone_();
}

void WebviewGtk::SetTitle(const std::string& title) {
  if (window_) gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
}

unsigned long WebviewGtk::WindowId() const {
  GdkWindow* gdkWindow = window_ ? gtk_widget_get_window(window_) : nullptr;
  return gdkWindow ? GDK_WINDOW_XID(gdkWindow) : 0;
}

void WebviewGtk::Terminate() {
  if (window_) gtk_widget_destroy(window_);  // onDestroy clears window_
}

void WebviewGtk::Resize() {}

}  // namespace webbridge
