// Drives the real bridge for the Node.js page tests.
// Prints {"init":[scripts]} once, then reads one JSON command per line and
// prints {"eval":[scripts],"init":[scripts added meanwhile]} for each:
//   {"message": text}      the page posted `text`
//   {"hostSet": [id, v]}   the host sets a parameter (change notifications)
//   {"bind": name}         binds `name` now (echoes its arguments)
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_controller.h"
#include "webview/controller_bindings.h"

namespace {

using nlohmann::json;

class PipeWebview final : public webbridge::Webview {
 public:
  std::vector<std::string> init, eval;
  void SetTitle(const std::string&) override {}
  void SetViewSize(int, int, webbridge::SizeHint) override {}
  std::string GetResourcesPath() override { return {}; }
  void Navigate(const std::string&) override {}
  void EvalJS(const std::string& s, std::function<void(const json&)>) override { eval.push_back(s); }
  void AddInitScript(const std::string& s) override { init.push_back(s); }
  void* GetNativeWindow() override { return nullptr; }
  void Terminate() override {}
  void Dispatch(std::function<void()> fn) override { fn(); }
};

json echo(webbridge::Webview*, int, const std::string&, const json& args) { return args; }

}  // namespace

int main() {
  auto controller = Steinberg::owned(new qeqtest::TestController);
  controller->initialize(nullptr);
  PipeWebview view;
  {
    webbridge::WebviewControllerBindings bindings(controller.get());
    bindings.Bind(&view);
    view.BindFunction("echo", echo);
    view.BindFunction("greet", [](webbridge::Webview*, int, const std::string&, const json&) -> json {
      return {{"text", "Grüße €"}, {"list", {1, 2.5, nullptr}}};
    });
    view.BindFunction("boom", [](webbridge::Webview*, int, const std::string&, const json&) -> json {
      throw std::runtime_error("boom");
    });
    std::cout << json{{"init", view.init}}.dump() << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
      view.eval.clear();
      const std::size_t mark = view.init.size();
      const json command = json::parse(line, nullptr, false);
      if (command.contains("message")) {
        view.OnMessage(command["message"].get<std::string>());
      } else if (command.contains("hostSet")) {
        controller->setParamNormalized(command["hostSet"][0].get<Steinberg::Vst::ParamID>(),
                                       command["hostSet"][1].get<double>());
      } else if (command.contains("bind")) {
        view.BindFunction(command["bind"].get<std::string>(), echo);
      }
      const std::vector<std::string> added(view.init.begin() + static_cast<std::ptrdiff_t>(mark), view.init.end());
      std::cout << json{{"eval", view.eval}, {"init", added}}.dump() << std::endl;
    }
    bindings.UnsubscribeAll();
  }
  controller->terminate();
  return 0;
}
