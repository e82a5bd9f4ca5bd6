// Drives the real bridge for the Node.js page test with three functions: one
// answering with its arguments, one with null and one that throws. Prints
// {"init":[scripts]} once, then reads one command {"message": text} per line
// (the page posted `text`) and prints {"eval":[scripts]} for each.
#include <iostream>
#include <stdexcept>
#include <string>

#include "recording_webview.h"

using nlohmann::json;

int main() {
  qeqtest::RecordingWebview view;
  view.BindFunction("echo", [](webbridge::Webview*, int, const std::string&, const json& args) { return args; });
  view.BindFunction("nothing", [](webbridge::Webview*, int, const std::string&, const json&) { return json(); });
  view.BindFunction("boom", [](webbridge::Webview*, int, const std::string&, const json&) -> json {
    throw std::runtime_error("boom");
  });
  std::cout << json{{"init", view.initScripts}}.dump() << std::endl;
  for (std::string line; std::getline(std::cin, line);)
    std::cout << json{{"eval", view.post(json::parse(line)["message"].get<std::string>())}}.dump() << std::endl;
  return 0;
}
