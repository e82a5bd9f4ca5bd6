// Shared by the fuzz targets that reach the bridge: the controller with its
// three binding sets, and the checks every script the bridge evaluates in the
// page must pass: one answer "window._rpc[N].resolve(R); delete
// window._rpc[N]" whose R parses as JSON, or "notifyParameterChange(J);"
// whose J parses.
#pragma once

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "eq_bindings.h"
#include "fuzz_support.h"
#include "preset_bindings.h"
#include "webview/controller_bindings.h"

namespace QuenrilEQ::fuzzing {

using nlohmann::json;

/// Whether `script` is `head`, JSON text, then `tail`.
inline bool jsonBetween(const std::string& script, const std::string& head, const std::string& tail) {
  if (script.size() < head.size() + tail.size() || script.rfind(head, 0) != 0 ||
      script.compare(script.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  return !json::parse(script.substr(head.size(), script.size() - head.size() - tail.size()), nullptr, false).is_discarded();
}

/// The call number of an answer script; aborts on anything malformed.
inline long long checkAnswer(const std::string& script) {
  check(script.rfind("window._rpc[", 0) == 0);
  const std::size_t start = 12, digits = start + (script[start] == '-' ? 1 : 0);
  std::size_t end = digits;
  while (end < script.size() && script[end] >= '0' && script[end] <= '9') ++end;
  check(end > digits && end - digits <= 10);
  const std::string number = script.substr(start, end - start);
  check(jsonBetween(script, "window._rpc[" + number + "].resolve(", "); delete window._rpc[" + number + "]"));
  return std::stoll(number);
}

inline void checkScripts(const std::vector<std::string>& scripts, const std::string& message) {
  int answers = 0;
  for (const std::string& script : scripts) {
    if (script.rfind("notifyParameterChange(", 0) == 0) {
      check(jsonBetween(script, "notifyParameterChange(", ");"));
      continue;
    }
    const long long seq = checkAnswer(script);
    ++answers;
    // Answered, so the message was JSON; an integral id that fits an int comes back unchanged.
    const json m = json::parse(message, nullptr, false);
    check(!m.is_discarded());
    if (m.is_object() && m.contains("id") && m["id"].is_number_integer()) {
      const long long id = m["id"].get<long long>();
      check(id < INT_MIN || id > INT_MAX || id == seq);
    }
  }
  check(answers <= 1);
}

/// A folder on PATH whose xdg-open succeeds without opening anything.
inline bool harmlessXdgOpen() {
  const std::string bin = fuzzSandbox() + "/bin";
  std::filesystem::create_directories(bin);
  std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nexit 0\n";
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  return setenv("PATH", bin.c_str(), 1) == 0;
}

/// A controller in the fuzz HOME with the editor's three binding sets.
struct EditorBindings {
  /// Binds the three sets in the editor's order.
  void bindInto(webbridge::Webview& view) {
    parameters.Bind(&view);
    eq.Bind(&view);
    presets.Bind(&view);
  }
  void checkValues() { check(controllerValuesInRange(*hosted.controller)); }
  /// Subscriptions pile up dependents: each input starts without them, and without earlier host calls.
  void forgetInput() {
    parameters.UnsubscribeAll();
    hosted.handler->clear();
  }
  ~EditorBindings() { parameters.UnsubscribeAll(); }

  const bool sandboxed = (fuzzHome(), harmlessXdgOpen());  // before the controller reads HOME
  QuenrilEQ::testing::HostedController& hosted = fuzzController();
  webbridge::WebviewControllerBindings parameters{hosted.controller.get()};
  EqBindings eq{hosted.controller.get()};
  PresetBindings presets{hosted.controller.get()};
};

}  // namespace QuenrilEQ::fuzzing
