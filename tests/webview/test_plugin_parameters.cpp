// The generic parameter bindings on the plug-in's own controller: all 314
// parameter descriptions, and notifications while a preset loads.
#include <gtest/gtest.h>

#include "plugin_fixture.h"
#include "preset_bindings.h"
#include "webview/controller_bindings.h"

using nlohmann::json;
using namespace QuenrilEQ;

namespace {

class PluginParametersTest : public qeqtest::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    parameters = std::make_unique<webbridge::WebviewControllerBindings>(controller.get());
    parameters->Bind(&view);
    presets.Bind(&view);
  }
  void TearDown() override {
    parameters.reset();
    PluginFixture::TearDown();
  }
  std::unique_ptr<webbridge::WebviewControllerBindings> parameters;
  PresetBindings presets{controller.get()};
};

TEST_F(PluginParametersTest, AllParameterObjectsIndexedByIdentifier) {
  json ids = json::array();
  for (ParamId id : allParameterIds()) ids.push_back(id);
  EXPECT_EQ(answer("getParameterCount", json::array()), "314");
  const json objects = answerJson("getParameterObjects", json::array({ids}));
  ASSERT_EQ(objects.size(), 2381u);
  size_t filled = 0;
  for (const json& o : objects) filled += o.is_null() ? 0 : 1;
  EXPECT_EQ(filled, 314u);
  for (const ParamSpec& param : parameterTable()) {
    const json& info = objects[param.id]["info"];
    EXPECT_EQ(info["title"], param.title);
    EXPECT_EQ(info["stepCount"], param.stepCount) << param.title;
    EXPECT_EQ(info["defaultNormalizedValue"].get<double>(), param.defaultNormalized) << param.title;
    std::vector<unsigned> units(128, 0);  // 128 code units: the text, then zeros
    std::copy(param.units.begin(), param.units.end(), units.begin());
    EXPECT_EQ(info["units"].get<std::vector<unsigned>>(), units) << param.title;
  }
}

TEST_F(PluginParametersTest, LoadingAPresetNotifiesTheSubscribedPageBeforeTheAnswer) {
  const ParamId gain = bandParamId(5, kFieldGain);
  controller->setParamNormalized(gain, 0.9);
  EXPECT_EQ(answer("savePresetByName", {"Loud"}), "true");
  controller->setParamNormalized(gain, 0.2);
  EXPECT_EQ(answer("subscribeParameter", {gain}), "true");
  const auto scripts = view.call("loadPresetByName", {"Loud"}, 8);
  ASSERT_EQ(scripts.size(), 2u);
  ASSERT_EQ(scripts[0].rfind("notifyParameterChange(", 0), 0u);
  const json object = json::parse(scripts[0].substr(22, scripts[0].size() - 24));
  EXPECT_EQ(object["info"]["id"], gain);
  EXPECT_DOUBLE_EQ(object["normalized"].get<double>(), 0.9);
  EXPECT_EQ(scripts[1], qeqtest::RecordingWebview::answer(8, "true"));
}

}  // namespace
