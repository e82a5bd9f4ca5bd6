// Drives the real bridge for the Node.js page tests.
// Prints {"init":[scripts]} once, then reads one command {"message": text}
// per line (the page posted `text`) and prints {"eval":[scripts]} for each.
#include <iostream>
#include <stdexcept>
#include <string>

#include "recording_webview.h"
#include "test_controller.h"
#include "webview/controller_bindings.h"

using nlohmann::json;

int main() {
  auto controller = Steinberg::owned(new qeqtest::TestController);
  controller->initialize(nullptr);
  qeqtest::RecordingWebview view;
  {
    webbridge::WebviewControllerBindings bindings(controller.get());
    bindings.Bind(&view);
    view.BindFunction("echo", [](webbridge::Webview*, int, const std::string&, const json& args) { return args; });
    view.BindFunction("boom", [](webbridge::Webview*, int, const std::string&, const json&) -> json {
      throw std::runtime_error("boom");
    });
    std::cout << json{{"init", view.initScripts}}.dump() << std::endl;

    std::string line;
    while (std::getline(std::cin, line))
      std::cout << json{{"eval", view.post(json::parse(line)["message"].get<std::string>())}}.dump() << std::endl;
    bindings.UnsubscribeAll();
  }
  controller->terminate();
  return 0;
}
