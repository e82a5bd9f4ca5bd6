#include "input_focus.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace webbridge {

namespace {

struct Embedding {
  GtkWidget* toplevel;
  Window wrapper;
};

// Our top-level's X window, or 0 once it is gone.
Window toplevelXid(const Embedding& e) {
  GdkWindow* w = gtk_widget_get_window(e.toplevel);
  return w ? GDK_WINDOW_XID(w) : 0;
}

// Whether an X window is our top-level or one of GDK's windows inside it.
bool ours(GdkDisplay* display, const Embedding& e, Window window) {
  GdkWindow* gdkWindow = gdk_x11_window_lookup_for_display(display, window);
  return gdkWindow && gdk_window_get_toplevel(gdkWindow) == gtk_widget_get_window(e.toplevel);
}

// The host's top-level above the wrapper: the first ancestor a window
// manager manages (it carries WM_STATE), else the child of the root.
Window hostToplevel(Display* dpy, Window from) {
  const Atom wmState = XInternAtom(dpy, "WM_STATE", True);
  Window at = from, last = 0;
  for (int depth = 0; at != 0 && depth < 64; ++depth) {
    if (wmState != 0) {
      Atom type = 0;
      int format = 0;
      unsigned long items = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy, at, wmState, 0, 0, False, AnyPropertyType, &type, &format, &items,
                             &after, &data) == Success) {
        if (data) XFree(data);
        if (type != 0) return at;
      }
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, at, &root, &parent, &children, &count)) break;
    if (children) XFree(children);
    last = at;
    if (parent == root) break;
    at = parent;
  }
  return last;
}

void takeFocus(Display* dpy, Window window, Time time) {
  // Focus on a window that is mapped but not viewable (a host hid its
  // window) is an X error, and an old timestamp is silently ignored.
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(dpy, window, &attributes) || attributes.map_state != IsViewable) return;
  XSetInputFocus(dpy, window, RevertToParent, time);
}

GdkFilterReturn onXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  const auto* e = static_cast<const Embedding*>(data);
  auto* ev = static_cast<XEvent*>(xevent);
  if (ev->type != ButtonPress && ev->type != LeaveNotify) return GDK_FILTER_CONTINUE;
  GdkDisplay* display = gdk_display_get_default();
  Display* dpy = GDK_DISPLAY_XDISPLAY(display);
  const Window toplevel = toplevelXid(*e);
  if (toplevel == 0) return GDK_FILTER_CONTINUE;
  gdk_x11_display_error_trap_push(display);
  if (ev->type == ButtonPress && ours(display, *e, ev->xbutton.window)) {
    takeFocus(dpy, toplevel, ev->xbutton.time);
  } else if (ev->type == LeaveNotify && ev->xcrossing.window == toplevel &&
             ev->xcrossing.detail != NotifyInferior && ev->xcrossing.mode == NotifyNormal) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus == toplevel || ours(display, *e, focus)) {
      if (const Window host = hostToplevel(dpy, e->wrapper))
        XSetInputFocus(dpy, host, RevertToParent, ev->xcrossing.time);
    }
  }
  gdk_x11_display_error_trap_pop_ignored(display);
  return GDK_FILTER_CONTINUE;
}

// One helper process shows one editor, so one filter for the whole display
// sees the presses on every window WebKit may make inside ours.
Embedding embedding{};

void onToplevelDestroyed(GtkWidget*, gpointer) {
  gdk_window_remove_filter(nullptr, onXEvent, &embedding);
  embedding = {};
}

}  // namespace

void FollowClicksWithKeyboardFocus(GtkWidget* toplevel, unsigned long wrapper) {
  if (embedding.toplevel) return;
  embedding = {toplevel, wrapper};
  gdk_window_add_filter(nullptr, onXEvent, &embedding);
  g_signal_connect(toplevel, "destroy", G_CALLBACK(onToplevelDestroyed), nullptr);
}

}  // namespace webbridge
