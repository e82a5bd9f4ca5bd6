// A host built on GTK 3 that shows effects in a modal dialog, as Audacity
// does: GTK's grab keeps input to the dialog's window group, and the host
// keeps X's keyboard focus on its own window. Clicks and keys must still reach
// the page, the host must get its keys back when the pointer leaves the
// editor, and opening and closing the editor must leave the host's GDK state
// (its X error traps, its grab) as it was.
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#undef None  // Xlib's, which gtest also uses as a name

#include <string>

#include "host_support.h"

namespace {

using namespace Steinberg;

struct ModalDialog {
  ModalDialog() : dialog(gtk_dialog_new()), area(gtk_drawing_area_new()), entry(gtk_entry_new()) {
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_widget_set_size_request(area, 1400, 900);
    gtk_box_pack_start(GTK_BOX(box), area, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(entry);
    qeqhost::PumpFor(300);
    // The plug-in gets a native X window of the dialog's, as wxWidgets gives.
    gdk_window_ensure_native(gtk_widget_get_window(area));
    display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    // A window manager hands the dialog the keyboard, and GDK keeps it on a
    // focus window of its own: keys no longer go to whatever is under the
    // pointer.
    XEvent take{};
    take.xclient.type = ClientMessage;
    take.xclient.window = GDK_WINDOW_XID(gtk_widget_get_window(dialog));
    take.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    take.xclient.format = 32;
    take.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_TAKE_FOCUS", False));
    take.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, take.xclient.window, False, 0, &take);
    qeqhost::PumpFor(200);
    int revert = 0;
    XGetInputFocus(display, &hostFocus, &revert);
  }
  ~ModalDialog() { gtk_widget_destroy(dialog); }
  unsigned long areaId() const { return GDK_WINDOW_XID(gtk_widget_get_window(area)); }
  std::string entryText() const { return gtk_entry_get_text(GTK_ENTRY(entry)); }

  GtkWidget* dialog;
  GtkWidget* area;
  GtkWidget* entry;
  Display* display = nullptr;
  Window hostFocus = 0;
};

TEST(Gtk3DialogHost, ClicksAndKeysReachThePageTheHostGetsItsKeysBackAndItsGdkStateIsLeftAlone) {
  qeqhost::Plugin plugin;
  ASSERT_TRUE(plugin.instance);
  ModalDialog host;
  ASSERT_EQ(gtk_grab_get_current(), host.dialog);
  ASSERT_NE(host.hostFocus, GDK_WINDOW_XID(gtk_widget_get_window(host.dialog))) << "no focus window";
  GdkDisplay* display = gdk_display_get_default();
  auto frame = owned(new qeqhost::GlibPlugFrame);
  // The host holds an X error trap of its own across the editors' whole lives.
  gdk_x11_display_error_trap_push(display);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    qeqhost::Editor editor(plugin.instance->controller(), frame, host.areaId());
    ASSERT_TRUE(editor.Attached());
    editor.AddInitScript(qeqhost::kKeyRecorder);
    ASSERT_TRUE(editor.WaitUntilReady());
    if (round > 0) continue;  // opened and closed again only
    ASSERT_EQ(editor.Eval("window.__keys.length"), 0) << "the key recorder did not load";
    const auto [x, y] = qeqhost::EmptyGraphPoint(editor);
    qeqhost::PointerTo(host.display, host.areaId(), x, y);
    qeqhost::Press(host.display, {"button1"});  // focus first
    qeqhost::Press(host.display, {"q", "e"});
    EXPECT_TRUE(editor.WaitFor("window.__keys.join('') === 'qe'", 3000)) << editor.Eval("window.__keys");
    EXPECT_EQ(host.entryText(), "") << "the keys went to the host as well";
    // Outside the editor the host's shortcuts and fields work again.
    GtkAllocation field;
    gtk_widget_get_allocation(host.entry, &field);  // relative to the dialog's window
    qeqhost::PointerTo(host.display, GDK_WINDOW_XID(gtk_widget_get_window(host.dialog)), field.x + 5, field.y + 5);
    qeqhost::Press(host.display, {"z"});
    EXPECT_EQ(host.entryText(), "z");
    EXPECT_EQ(editor.Eval("window.__keys.join('')"), "qe");
  }
  EXPECT_TRUE(qeqhost::NoHelperChildrenWithin(5000));
  // A request that must fail: the host's trap catches exactly its error.
  XMapWindow(host.display, 0x1fffffff);
  EXPECT_EQ(gdk_x11_display_error_trap_pop(display), BadWindow);
  EXPECT_EQ(gtk_grab_get_current(), host.dialog);
  // And the stack is balanced: a new trap starts clean.
  gdk_x11_display_error_trap_push(display);
  EXPECT_EQ(gdk_x11_display_error_trap_pop(display), 0);
}

}  // namespace

int main(int argc, char** argv) { return qeqhost::RunHost(argc, argv); }
