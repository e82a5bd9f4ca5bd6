// Preset, A/B, history and version functions on the plug-in's own controller
// through page messages (the controller's own tests cover what they do; these
// cover what the page sends and gets back). The generic parameter functions
// on this controller, notifications included, are driven by the editor tests
// through a real page.
#include <gtest/gtest.h>

#include <fstream>

#include "plugin_fixture.h"

using nlohmann::json;
using namespace QuenrilEQ;

namespace {

const ParamId kGain = bandParamId(2, kFieldGain);

using PresetBindingsTest = qeqtest::PluginFixture;

TEST_F(PresetBindingsTest, SaveListLoadAndRestorePresets) {
  EXPECT_EQ(answer("getPluginVersion", json::array()), json(QEQ_PROJECT_VERSION).dump());
  EXPECT_EQ(answer("restoreCurrentState", json::array()), "false") << "nothing saved yet";
  EXPECT_EQ(answer("listPresets", json::array()), "[]") << "no folder yet";
  controller->setClock([] { return std::int64_t{1} << 50; });  // after the first change only loads save the current state
  controller->setParamNormalized(kGain, 0.8);
  EXPECT_EQ(answer("savePresetByName", {"Rock/Kick"}), "true");
  controller->setParamNormalized(kGain, 0.1);
  EXPECT_EQ(answer("savePresetByName", {"Grüße"}), "true");
  std::ofstream(home.presets() + "/bad\xff.quenrileqpreset") << "\n";  // a name the page cannot read: not listed
  EXPECT_EQ(answer("listPresets", nullptr), R"(["Grüße","Rock/Kick"])");
  EXPECT_EQ(answer("loadPresetByName", {"Rock/Kick", "ignored"}), "true");
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(kGain), 0.8);
  controller->setParamNormalized(kGain, 0.6);
  EXPECT_EQ(answer("restoreCurrentState", json::array()), "true");
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(kGain), 0.8) << "as the load left it";
  // Refusals change nothing.
  for (const json& params : {json::array(), json(nullptr), json{5}, json{true}, json{{"Rock/Kick"}}, json{"Nope"}})
    EXPECT_EQ(answer("loadPresetByName", params), "false") << params;
  for (const json& params : {json::array(), json{5}, json{"../x"}})
    EXPECT_EQ(answer("savePresetByName", params), "false") << params;
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(kGain), 0.8);
  EXPECT_TRUE(view.post(R"({"id":1,"method":"loadPresetByName","params":"Rock/Kick"})").empty());
}

TEST_F(PresetBindingsTest, AbSlotTakesIntegersOnlyAndTextSettersStringsOnly) {
  EXPECT_EQ(answer("getAbActiveSlot", json::array()), "0");
  EXPECT_EQ(answer("setAbActiveSlot", {-7}), "true");
  for (const json& params : {json{1.5}, json{1.0}, json{"1"}, json{true}, json::array(), json(nullptr)})
    EXPECT_EQ(answer("setAbActiveSlot", params), "false") << params;
  EXPECT_EQ(answer("getAbActiveSlot", json::array()), "-7");
  EXPECT_EQ(view.post(R"({"id":1,"method":"setAbActiveSlot","params":[4294967298]})").size(), 1u);
  EXPECT_EQ(answer("getAbActiveSlot", json::array()), "2") << "low 32 bits";

  const std::string slotText = R"({"bands":[1,2],"name":"Ä"})";
  EXPECT_EQ(answer("setAbInactiveSlotJson", {slotText}) + answer("setHistoryState", {"[undo]"}), "truetrue");
  for (const char* setter : {"setAbInactiveSlotJson", "setHistoryState"})
    for (const json& params : {json{5}, json{{{"a", 1}}}, json::array(), json(nullptr)})
      EXPECT_EQ(answer(setter, params), "false") << setter << params;
  EXPECT_EQ(answer("getAbInactiveSlotJson", json::array()), json(slotText).dump()) << "a string, not an object";
  EXPECT_EQ(answer("getHistoryState", json::array()), "\"[undo]\"");
}

}  // namespace
