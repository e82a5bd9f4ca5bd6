// A QuenrilEQ controller with a throw-away HOME (preset and state files land
// in a temporary folder) and a recording web view holding its preset bindings.
#pragma once

#include <gtest/gtest.h>

#include "../controller/controller_test_support.h"
#include "controller.h"
#include "preset_bindings.h"
#include "recording_webview.h"

namespace qeqtest {

/// An initialised controller (declared after the HOME it writes into).
class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(controller->initialize(nullptr), Steinberg::kResultOk);
    presets.Bind(&view);
  }
  void TearDown() override { controller->terminate(); }

  /// The single answer of a call, as JSON text ("" when there is none).
  std::string answer(const std::string& method, const nlohmann::json& params, int seq = 1) {
    return RecordingWebview::resultOf(view.call(method, params, seq), seq);
  }
  nlohmann::json answerJson(const std::string& method, const nlohmann::json& params) {
    const std::string text = answer(method, params);
    return text.empty() ? nlohmann::json("no answer") : nlohmann::json::parse(text);
  }

  QuenrilEQ::testing::TempHome home;
  Steinberg::IPtr<QuenrilEQ::QuenrilEQController> controller = Steinberg::owned(new QuenrilEQ::QuenrilEQController);
  RecordingWebview view;
  QuenrilEQ::PresetBindings presets{controller.get()};
};

}  // namespace qeqtest
