#include "host_support.h"

#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "process_table.h"
#include "webview/plugin_view.h"

namespace qeqhost {

using namespace Steinberg;

Plugin::Plugin() {
  std::string error;
  module = QuenrilEQ::host::Module::load(QEQ_BUNDLE_PATH, &error);
  if (module) instance = QuenrilEQ::host::PluginInstance::createFirst(module, &error);
  if (!instance || !instance->controller()) std::fprintf(stderr, "cannot load the plug-in: %s\n", error.c_str());
}

Editor::Editor(Vst::IEditController* controller, GlibPlugFrame* frame, unsigned long parent) {
  if (!controller) return;
  view_ = owned(controller->createView(Vst::ViewType::kEditor));
  if (!view_) return;
  view_->setFrame(frame);
  attached_ = view_->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)),
                              kPlatformTypeX11EmbedWindowID) == kResultOk;
}

Editor::~Editor() {
  if (!view_) return;
  if (attached_) view_->removed();
  view_->setFrame(nullptr);
}

void Editor::AddInitScript(const std::string& script) {
  FUnknownPtr<webbridge::IWebviewAccess> access(view_);
  if (webbridge::Webview* page = access ? access->getWebview() : nullptr) page->AddInitScript(script);
}

nlohmann::json Editor::Eval(const std::string& script, int timeoutMs) {
  FUnknownPtr<webbridge::IWebviewAccess> access(view_);
  webbridge::Webview* page = access ? access->getWebview() : nullptr;
  if (!page) return "no page";
  auto result = std::make_shared<nlohmann::json>("timeout");
  auto arrived = std::make_shared<bool>(false);
  page->EvalJS(script, [result, arrived](const nlohmann::json& value) {
    *result = value;
    *arrived = true;
  });
  PumpUntil([&] { return *arrived; }, timeoutMs);
  return *result;
}

bool Editor::WaitFor(const std::string& script, int timeoutMs) {
  return PumpUntil([&] { return Eval("!!(" + script + ")", 1000) == true; }, timeoutMs);
}

std::vector<pid_t> HelperChildren() { return qeqtest::HelperChildrenOf(getpid()); }

bool NoHelperChildrenWithin(int timeoutMs) {
  return PumpUntil([] { return HelperChildren().empty(); }, timeoutMs);
}

void PointerTo(Display* display, Window window, int x, int y) {
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
  XFlush(display);
  PumpFor(100);
}

void Click(Display* display, int count) {
  for (int i = 0; i < count; ++i) {
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    PumpFor(40);
  }
  PumpFor(200);
}

void Type(Display* display, const std::vector<std::string>& keysyms) {
  for (const std::string& name : keysyms) {
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(name.c_str()));
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
    PumpFor(40);
  }
  PumpFor(200);
}

PagePoint EmptyGraphPoint(Editor& editor) {
  const nlohmann::json at = editor.Eval(R"JS(
(function () {
  var r = document.getElementById('graph-wrap').getBoundingClientRect();
  var p = QEQ.graph.plot();
  return [Math.round(r.left + p.x + p.w * 0.5), Math.round(r.top + p.y + p.h * 0.25)];
})())JS");
  PagePoint point;
  if (at.is_array() && at.size() == 2 && at[0].is_number() && at[1].is_number()) {
    point.x = at[0].get<int>();
    point.y = at[1].get<int>();
  }
  return point;
}

}  // namespace qeqhost
