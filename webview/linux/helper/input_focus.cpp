#include "input_focus.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdint>

namespace webbridge {

namespace {

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

// Runs in the capture phase, before WebKit (which takes every press it
// gets) sees the press.
void onPressed(GtkGestureMultiPress*, gint, gdouble, gdouble, gpointer toplevel) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(toplevel));
  if (!window) return;
  GdkDisplay* display = gdk_window_get_display(window);
  Display* dpy = GDK_DISPLAY_XDISPLAY(display);
  const Window xid = GDK_WINDOW_XID(window);
  gdk_x11_display_error_trap_push(display);
  // Focus on a window that is mapped but not viewable (a host hid its
  // window) is an X error, and a request older than the last focus change
  // is silently ignored: check, and pass the press's own time.
  XWindowAttributes attributes;
  if (XGetWindowAttributes(dpy, xid, &attributes) && attributes.map_state == IsViewable)
    XSetInputFocus(dpy, xid, RevertToParent, gtk_get_current_event_time());
  gdk_x11_display_error_trap_pop_ignored(display);
}

gboolean onLeave(GtkWidget* toplevel, GdkEventCrossing* event, gpointer wrapper) {
  // Moving onto a part of the page, or a grab (an open menu), is no leaving.
  if (event->detail == GDK_NOTIFY_INFERIOR || event->mode != GDK_CROSSING_NORMAL) return FALSE;
  GdkWindow* window = gtk_widget_get_window(toplevel);
  if (!window) return FALSE;
  GdkDisplay* display = gdk_window_get_display(window);
  Display* dpy = GDK_DISPLAY_XDISPLAY(display);
  gdk_x11_display_error_trap_push(display);
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(dpy, &focus, &revert);
  if (focus == GDK_WINDOW_XID(window)) {
    if (const Window host = hostToplevel(dpy, static_cast<Window>(reinterpret_cast<std::uintptr_t>(wrapper))))
      XSetInputFocus(dpy, host, RevertToParent, event->time);
  }
  gdk_x11_display_error_trap_pop_ignored(display);
  return FALSE;
}

}  // namespace

void FollowClicksWithKeyboardFocus(GtkWidget* toplevel, unsigned long wrapper) {
  GtkGesture* press = gtk_gesture_multi_press_new(toplevel);
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press), 0);  // any button
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press), GTK_PHASE_CAPTURE);
  g_signal_connect(press, "pressed", G_CALLBACK(onPressed), toplevel);
  // The gesture lives as long as the window.
  g_object_set_data_full(G_OBJECT(toplevel), "webbridge-focus-on-press", press, g_object_unref);
  gtk_widget_add_events(toplevel, GDK_LEAVE_NOTIFY_MASK);
  g_signal_connect(toplevel, "leave-notify-event", G_CALLBACK(onLeave),
                   reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(wrapper)));
}

}  // namespace webbridge
