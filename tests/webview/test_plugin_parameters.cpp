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
    parameterBindings = std::make_unique<webbridge::WebviewControllerBindings>(controller.get());
    parameterBindings->Bind(&view);
  }
  void TearDown() override {
    parameterBindings.reset();
    PluginFixture::TearDown();
  }
  std::unique_ptr<webbridge::WebviewControllerBindings> parameterBindings;
};

}  // namespace

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
    const json& o = objects[param.id];
    ASSERT_TRUE(o.is_object()) << param.id;
    EXPECT_EQ(o["info"]["id"], param.id);
    EXPECT_EQ(o["info"]["title"], param.title);
    EXPECT_EQ(o["info"]["stepCount"], param.stepCount) << param.title;
    EXPECT_EQ(o["info"]["defaultNormalizedValue"].get<double>(), param.defaultNormalized) << param.title;
    EXPECT_EQ(o["isRangeParameter"], false);
    // Units: 128 code units, the text and then zeros.
    ASSERT_EQ(o["info"]["units"].size(), 128u);
    for (size_t i = 0; i < 128; ++i) {
      const unsigned expected = i < param.units.size() ? static_cast<unsigned char>(param.units[i]) : 0u;
      ASSERT_EQ(o["info"]["units"][i], expected) << param.title << " unit " << i;
    }
  }
  EXPECT_EQ(objects[bandParamId(0, kFieldFreq)]["info"]["units"][0], 72);  // 'H'
  EXPECT_EQ(objects[bandParamId(0, kFieldFreq)]["info"]["units"][1], 122);  // 'z'
}

TEST_F(PluginParametersTest, LoadingAPresetNotifiesTheSubscribedPage) {
  PresetBindings presets(controller.get());
  presets.Bind(&view);
  const ParamId gain = bandParamId(5, kFieldGain);
  controller->setParamNormalized(gain, 0.9);
  EXPECT_EQ(answer("savePresetByName", {"Loud"}), "true");
  controller->setParamNormalized(gain, 0.2);
  EXPECT_EQ(answer("subscribeParameter", {gain}), "true");

  const auto scripts = view.call("loadPresetByName", {"Loud"}, 8);
  ASSERT_EQ(scripts.size(), 2u);
  const std::string prefix = "notifyParameterChange(";
  ASSERT_EQ(scripts[0].rfind(prefix, 0), 0u);
  const json object = json::parse(scripts[0].substr(prefix.size(), scripts[0].size() - prefix.size() - 2));
  EXPECT_EQ(object["info"]["id"], gain);
  EXPECT_DOUBLE_EQ(object["normalized"].get<double>(), 0.9);
  EXPECT_EQ(scripts[1], qeqtest::RecordingWebview::answer(8, "true"));
}
