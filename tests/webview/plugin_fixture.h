// A QuenrilEQ controller with a throw-away HOME, so preset and state files
// land in a temporary folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "controller.h"
#include "recording_webview.h"

namespace qeqtest {

class TempHome {
 public:
  TempHome() {
    const char* old = std::getenv("HOME");
    hadHome_ = old != nullptr;
    if (old) oldHome_ = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "qeq-webview-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
    setenv("HOME", path_.c_str(), 1);
  }
  ~TempHome() {
    if (hadHome_) setenv("HOME", oldHome_.c_str(), 1); else unsetenv("HOME");
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return path_; }
  std::string presets() const { return path_ + "/Documents/QuenrilEQ/presets"; }

 private:
  bool hadHome_ = false;
  std::string oldHome_;
  std::string path_;
};

/// An initialised controller (declared after the HOME it writes into).
class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(controller->initialize(nullptr), Steinberg::kResultOk); }
  void TearDown() override { controller->terminate(); }

  /// The single answer of a call, as JSON text ("" when there is none).
  std::string answer(const std::string& method, const nlohmann::json& params, int seq = 1) {
    return RecordingWebview::resultOf(view.call(method, params, seq), seq);
  }
  nlohmann::json answerJson(const std::string& method, const nlohmann::json& params) {
    const std::string text = answer(method, params);
    return text.empty() ? nlohmann::json("no answer") : nlohmann::json::parse(text);
  }

  TempHome home;
  Steinberg::IPtr<QuenrilEQ::QuenrilEQController> controller =
      Steinberg::owned(new QuenrilEQ::QuenrilEQController);
  RecordingWebview view;
};

}  // namespace qeqtest
