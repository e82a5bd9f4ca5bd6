// What the toolkit hosts of these tests share: the plug-in as a host loads
// it, its editor in a window of the host's, scripts in the page, input
// through the X server (XTest: as a user's mouse and keyboard would), and the
// browser helper processes that are children of this host. Each host program
// is one translation unit.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "glib_plug_frame.h"
#include "module.h"
#include "plugin_instance.h"
#include "process_table.h"
#include "webview/plugin_view.h"

#undef None

namespace qeqhost {

/// The bundle loaded and one instance created, with a recording component
/// handler; empty pointers (and a message on stderr) when that failed.
struct Plugin {
  Plugin() {
    std::string error;
    module = QuenrilEQ::host::Module::load(QEQ_BUNDLE_PATH, &error);
    if (module) instance = QuenrilEQ::host::PluginInstance::createFirst(module, &error);
    if (!instance || !instance->controller()) std::fprintf(stderr, "cannot load the plug-in: %s\n", error.c_str());
  }
  std::shared_ptr<QuenrilEQ::host::Module> module;
  std::unique_ptr<QuenrilEQ::host::PluginInstance> instance;
};

/// One opening of the plug-in's editor in the host window `parent`:
/// createView, setFrame, attached; removed and released on destruction.
class Editor {
 public:
  Editor(Steinberg::Vst::IEditController* controller, GlibPlugFrame* frame, unsigned long parent) {
    view_ = Steinberg::owned(controller ? controller->createView(Steinberg::Vst::ViewType::kEditor) : nullptr);
    if (!view_) return;
    view_->setFrame(frame);
    attached_ = view_->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), Steinberg::kPlatformTypeX11EmbedWindowID) ==
                Steinberg::kResultOk;
  }
  ~Editor() {
    if (view_ && attached_) view_->removed();
    if (view_) view_->setFrame(nullptr);
  }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  bool Attached() const { return attached_; }
  /// Adds a script to every document created from now on.
  void AddInitScript(const std::string& script) {
    if (webbridge::Webview* page = Page()) page->AddInitScript(script);
  }
  /// Runs a script in the page and waits for its result ("timeout" if none).
  nlohmann::json Eval(const std::string& script, int timeoutMs = 5000) {
    webbridge::Webview* page = Page();
    if (!page) return "no page";
    auto result = std::make_shared<nlohmann::json>("timeout");
    auto arrived = std::make_shared<bool>(false);
    page->EvalJS(script, [result, arrived](const nlohmann::json& value) { *result = value, *arrived = true; });
    PumpUntil([&] { return *arrived; }, timeoutMs);
    return *result;
  }
  /// Waits until the script's result is truthy.
  bool WaitFor(const std::string& script, int timeoutMs = 30000) {
    return PumpUntil([&] { return Eval("!!(" + script + ")", 1000) == true; }, timeoutMs);
  }
  /// Waits until the shipped page has read all its values.
  bool WaitUntilReady() { return WaitFor("document.body && document.body.dataset.ready === 'true'"); }

 private:
  webbridge::Webview* Page() {
    Steinberg::FUnknownPtr<webbridge::IWebviewAccess> access(view_);
    return access ? access->getWebview() : nullptr;
  }
  Steinberg::IPtr<Steinberg::IPlugView> view_;
  bool attached_ = false;
};

/// An init script that records every key the page sees in window.__keys.
constexpr const char* kKeyRecorder =
    "window.__keys = []; window.addEventListener('keydown', e => window.__keys.push(e.key), true);";

/// Child processes of this host that run the browser helper, zombies included.
inline std::vector<pid_t> HelperChildren() { return qeqtest::HelperChildrenOf(getpid()); }
/// The host program: GTK, then the tests.
inline int RunHost(int argc, char** argv) {
  gtk_init(&argc, &argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
/// Pumps the main loop until no helper child is left; false after timeoutMs.
inline bool NoHelperChildrenWithin(int timeoutMs) {
  return PumpUntil([] { return HelperChildren().empty(); }, timeoutMs);
}

/// Moves the pointer to (x, y) inside `window`, as the user's mouse would.
inline void PointerTo(Display* display, Window window, int x, int y) {
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
  XFlush(display);
  PumpFor(100);
}
/// Presses and releases, one after the other, each key named by its keysym
/// ("q", "Return") or the left button ("button1"), as a user would.
inline void Press(Display* display, const std::vector<std::string>& inputs) {
  for (const std::string& name : inputs) {
    for (const Bool down : {True, False}) {
      if (name == "button1") XTestFakeButtonEvent(display, 1, down, CurrentTime);
      else XTestFakeKeyEvent(display, XKeysymToKeycode(display, XStringToKeysym(name.c_str())), down, CurrentTime);
    }
    XFlush(display);
    PumpFor(40);
  }
  PumpFor(200);
}

/// Where the shipped page's graph has empty space: (x, y) in page pixels, or (-1, -1).
inline std::pair<int, int> EmptyGraphPoint(Editor& editor) {
  const nlohmann::json at = editor.Eval(R"JS(
(function () {
  var r = document.getElementById('graph-wrap').getBoundingClientRect(), p = QEQ.graph.plot();
  return [Math.round(r.left + p.x + p.w * 0.5), Math.round(r.top + p.y + p.h * 0.25)];
})())JS");
  if (!at.is_array() || at.size() != 2 || !at[0].is_number() || !at[1].is_number()) return {-1, -1};
  return {at[0].get<int>(), at[1].get<int>()};
}

}  // namespace qeqhost
