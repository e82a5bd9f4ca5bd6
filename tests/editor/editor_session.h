// An editor as a Linux host opens it, for the end-to-end tests: a QuenrilEQ
// controller with the parameter bindings, a WebviewPluginView showing a test
// page, and an X11 frame whose run loop drives it. Needs an X display
// (ctest runs this program under xvfb-run).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "controller.h"
#include "controller_bindings.h"
#include "editor_frame.h"
#include "eq_bindings.h"
#include "preset_bindings.h"
#include "webview/plugin_view.h"
#include "window_capture.h"

namespace qeqtest {

/// file: address of a page in tests/editor/pages.
std::string PageAddress(const std::string& name);

/// Where screenshots go (created on first use): artifacts/editor/.
std::string ArtifactPath(const std::string& fileName);

/// True in pages/bridge.html once the plug-in answered its first call.
constexpr const char* kAnswered = "window.__answer !== undefined";

/// A controller with its three binding sets (as its createView makes them)
/// and a frame; views come and go.
class EditorSession {
 public:
  EditorSession();
  ~EditorSession();

  QuenrilEQ::QuenrilEQController& Controller() { return *controller_; }
  QuenrilEQ::editorhost::EditorFrame& Frame() { return *frame_; }
  webbridge::WebviewPluginView* View() { return view_.get(); }
  /// The view's helper process id, or -1 (no view, or no helper running).
  pid_t HelperPid();

  /// Makes a view for the page (empty: the bundle's own page) and attaches
  /// it to the frame; returns attached's answer.
  Steinberg::tresult Open(const std::string& page);
  /// Opens pages/bridge.html and waits for its first answer.
  bool OpenAnswered() { return Open(PageAddress("bridge.html")) == Steinberg::kResultOk && WaitFor(kAnswered); }
  /// removed(), then releases the view.
  void Close();

  /// Evaluates a script in the page and waits (running the loop) for its
  /// result; "timeout" as a string when none came within timeoutMs.
  nlohmann::json Eval(const std::string& script, int timeoutMs = 5000);
  /// Waits until the script's result is truthy; false on timeout.
  bool WaitFor(const std::string& script, int timeoutMs = 20000);
  /// Runs the loop until the process is gone and collected (a zombie still
  /// counts as there); false after timeoutMs.
  bool EndsWithin(pid_t pid, int timeoutMs);

 private:
  Steinberg::IPtr<QuenrilEQ::QuenrilEQController> controller_;
  std::unique_ptr<webbridge::WebviewControllerBindings> bindings_;
  std::unique_ptr<QuenrilEQ::EqBindings> eqBindings_;
  std::unique_ptr<QuenrilEQ::PresetBindings> presetBindings_;
  Steinberg::IPtr<QuenrilEQ::editorhost::EditorFrame> frame_;
  Steinberg::IPtr<webbridge::WebviewPluginView> view_;
};

/// Exit status and everything a shell command printed (stdout and stderr).
struct CommandRun {
  int status = -1;
  std::string output;
};
CommandRun RunCommand(const std::string& command);

using QuenrilEQ::editorhost::FactsOf;
using QuenrilEQ::editorhost::ImageFacts;

}  // namespace qeqtest
