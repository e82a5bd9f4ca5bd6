// A web view without a browser: it keeps every init script and every script
// handed to EvalJS, and runs Dispatch at once like the real browsers do.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "webview/webview.h"

namespace qeqtest {

class RecordingWebview final : public webbridge::Webview {
 public:
  std::vector<std::string> initScripts;
  std::vector<std::string> evaluated;

  void SetTitle(const std::string&) override {}
  void SetViewSize(int, int, webbridge::SizeHint) override {}
  std::string GetResourcesPath() override { return "/nowhere"; }
  void Navigate(const std::string&) override {}
  void EvalJS(const std::string& script, std::function<void(const nlohmann::json&)>) override {
    evaluated.push_back(script);
  }
  void AddInitScript(const std::string& script) override { initScripts.push_back(script); }
  void* GetNativeWindow() override { return nullptr; }
  void Terminate() override {}
  void Dispatch(std::function<void()> fn) override { fn(); }

  /// Posts one message text and returns the scripts it made the view evaluate.
  std::vector<std::string> post(const std::string& message) {
    evaluated.clear();
    OnMessage(message);
    return evaluated;
  }

  /// Calls `method` with `params` as call number `seq` and returns the scripts.
  std::vector<std::string> call(const std::string& method, const nlohmann::json& params, int seq = 1) {
    return post(nlohmann::json{{"id", seq}, {"method", method}, {"params", params}}.dump());
  }

  /// The answer script the page expects for call `seq` resolving with the
  /// JSON text `result`, written out independently of the bridge.
  static std::string answer(int seq, const std::string& result) {
    const std::string s = std::to_string(seq);
    return "window._rpc[" + s + "].resolve(" + result + "); delete window._rpc[" + s + "]";
  }

  /// The result text of a single answer script, or "" when `scripts` is not
  /// exactly one answer for call `seq`.
  static std::string resultOf(const std::vector<std::string>& scripts, int seq = 1) {
    const std::string empty = answer(seq, ""), head = empty.substr(0, empty.find('(') + 1), tail = empty.substr(head.size());
    if (scripts.size() != 1 || scripts[0].size() < empty.size() || scripts[0].rfind(head, 0) != 0 ||
        scripts[0].compare(scripts[0].size() - tail.size(), tail.size(), tail) != 0)
      return "";
    return scripts[0].substr(head.size(), scripts[0].size() - empty.size());
  }
};

}  // namespace qeqtest
