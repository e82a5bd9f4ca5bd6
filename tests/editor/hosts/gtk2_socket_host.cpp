// A host built on GTK 2, as Ardour is: the editor's parent window is a
// GtkSocket in a GTK 2 window, and the plug-in is driven from GLib's main
// loop through IRunLoop. GTK 3 could not load in this process; the editor
// must still show, take edits, survive its browser crashing, and leave no
// helper process behind.
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#undef None  // Xlib's, which gtest also uses as a name
#include <signal.h>

#include "host_support.h"

namespace {

using namespace Steinberg;
using QuenrilEQ::host::HandlerCall;

struct HostWindow {
  HostWindow() : window(gtk_window_new(GTK_WINDOW_TOPLEVEL)), socket(gtk_socket_new()) {
    gtk_widget_set_size_request(socket, 1400, 900);
    gtk_container_add(GTK_CONTAINER(window), socket);
    gtk_widget_show_all(window);
    g_object_add_weak_pointer(G_OBJECT(socket), reinterpret_cast<gpointer*>(&socket));
    qeqhost::PumpFor(300);
  }
  ~HostWindow() {
    gtk_widget_destroy(window);
    qeqhost::PumpFor(100);
  }
  unsigned long socketId() const { return socket ? gtk_socket_get_id(GTK_SOCKET(socket)) : 0; }

  GtkWidget* window;
  GtkWidget* socket;  // cleared if the socket destroys itself
};

// The calls the host got for one parameter, in order.
std::vector<HandlerCall::Kind> callsFor(const std::vector<HandlerCall>& calls, Vst::ParamID id) {
  std::vector<HandlerCall::Kind> kinds;
  for (const HandlerCall& c : calls)
    if (c.id == id && c.kind != HandlerCall::Kind::RestartComponent) kinds.push_back(c.kind);
  return kinds;
}

// Ardour closes an editor window by hiding it, and destroys the window (and
// its socket, whose child went) only when the plug-in's editor goes for good.
TEST(Gtk2SocketHost, ShowsTakesEditsAndKeysHidesClosesAndOutlivesACrashedHelper) {
  qeqhost::Plugin plugin;
  ASSERT_TRUE(plugin.instance);
  Vst::IEditController* controller = plugin.instance->controller();
  auto frame = owned(new qeqhost::GlibPlugFrame);
  {
    HostWindow host;
    qeqhost::Editor editor(controller, frame, host.socketId());
    ASSERT_TRUE(editor.Attached());
    editor.AddInitScript(qeqhost::kKeyRecorder);
    ASSERT_TRUE(editor.WaitUntilReady()) << "the page did not start";
    qeqhost::PumpFor(500);
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());

    // A double-click on empty graph space (half way across, a quarter down)
    // adds band 1 there, through the host's edit calls: the page is shown
    // where the host's socket is and takes the user's pointer.
    const auto [x, y] = qeqhost::EmptyGraphPoint(editor);
    ASSERT_GE(x, 0);
    plugin.instance->handler().clear();
    qeqhost::PointerTo(display, host.socketId(), x, y);
    qeqhost::Press(display, {"button1", "button1"});
    ASSERT_TRUE(qeqhost::PumpUntil([&] { return !callsFor(plugin.instance->handler().calls(), 2000).empty(); }, 5000))
        << "the double-click never reached the host";
    qeqhost::PumpFor(300);
    const auto calls = plugin.instance->handler().calls();
    const std::vector<HandlerCall::Kind> edit = {HandlerCall::Kind::BeginEdit, HandlerCall::Kind::PerformEdit, HandlerCall::Kind::EndEdit};
    EXPECT_EQ(callsFor(calls, 2000), edit) << "band 1 Enabled";
    EXPECT_EQ(callsFor(calls, 2002), edit) << "band 1 Frequency";
    // The plot spans the frequency and gain parameters' ranges: the place is the value.
    EXPECT_EQ(controller->getParamNormalized(2000), 1.0);
    EXPECT_NEAR(controller->getParamNormalized(2002), 0.5, 0.005);
    EXPECT_NEAR(controller->getParamNormalized(2003), 0.75, 0.01);

    // A GtkSocket passes keys on to its child (our wrapper) as sent events.
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(display, host.socketId(), &root, &parent, &children, &count) && count == 1);
    XEvent key{};
    key.xkey = {KeyPress, 0, False, display, children[0], root, 0, CurrentTime, 0, 0, 0, 0, 0,
                XKeysymToKeycode(display, XStringToKeysym("k")), True};
    XFree(children);
    XSendEvent(display, key.xkey.window, False, NoEventMask, &key);
    XFlush(display);
    EXPECT_TRUE(editor.WaitFor("window.__keys.indexOf('k') >= 0", 3000)) << editor.Eval("window.__keys");

    gtk_widget_hide(host.window);
    EXPECT_TRUE(editor.WaitFor("document.visibilityState === 'hidden'", 5000)) << "a hidden editor keeps drawing";
    gtk_widget_show(host.window);
    EXPECT_TRUE(editor.WaitFor("document.visibilityState === 'visible'", 5000));
  }
  EXPECT_EQ(frame->Registrations(), 0u);
  EXPECT_TRUE(qeqhost::NoHelperChildrenWithin(5000)) << "a closed editor's helper is still there";

  {
    HostWindow host;
    qeqhost::Editor editor(controller, frame, host.socketId());
    ASSERT_TRUE(editor.WaitUntilReady());
    const std::vector<pid_t> helpers = qeqhost::HelperChildren();
    ASSERT_EQ(helpers.size(), 1u);
    kill(helpers[0], SIGKILL);
    // The host's socket outlives the browser: the helper's window was never
    // the socket's own child. A new helper takes its place.
    EXPECT_TRUE(editor.WaitUntilReady()) << "the editor did not come back";
    ASSERT_NE(host.socket, nullptr) << "the host's socket went with the helper";
    EXPECT_EQ(qeqhost::HelperChildren().size(), 1u) << "the crashed helper was not collected";
  }
  EXPECT_TRUE(qeqhost::NoHelperChildrenWithin(5000)) << "the crashed helper's successor outlived its editor";
}

}  // namespace

int main(int argc, char** argv) { return qeqhost::RunHost(argc, argv); }
