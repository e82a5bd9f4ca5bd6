// The generic parameter bindings driven through real page messages, on a
// small controller of the SDK's own parameter kinds (test_controller.h).
#include <gtest/gtest.h>

#include <codecvt>
#include <locale>
#include <memory>

#include "component_handler.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "recording_webview.h"
#include "test_controller.h"
#include "webview/controller_bindings.h"

using nlohmann::json;
using qeqtest::RecordingWebview;
using Steinberg::kResultOk;
using Steinberg::owned;

namespace {

std::string unitsText(const std::string& leading) {
  std::string text = "[" + leading;
  for (int i = 2; i < 128; ++i) text += ",0";
  return text + "]";
}

// Parameters 1 and 7 as the page must see them, written out by hand.
std::string gainObject(const std::string& normalized) {
  return R"({"info":{"defaultNormalizedValue":0.5,"flags":1,"id":1,"shortTitle":"Gn","stepCount":0,"title":"Gain","units":)" +
         unitsText("100,66") + R"(},"isRangeParameter":false,"normalized":)" + normalized + R"(,"precision":4,"unitID":0})";
}
const std::string kFreqObject =
    R"({"info":{"defaultNormalizedValue":0.5,"flags":1,"id":7,"shortTitle":"","stepCount":0,"title":"Freq","units":)" +
    unitsText("72,122") + R"(},"isRangeParameter":true,"max":10.0,"min":-10.0,"normalized":0.5,"precision":4,"unitID":0})";

std::string notification(const std::string& object) { return "notifyParameterChange(" + object + ");"; }

// A message attribute read as `kind` ('f' float, 'i' integer, 's' string: the list
// does not keep kinds apart), "" when unset.
std::string attribute(Steinberg::Vst::IMessage* message, char kind, const char* key) {
  Steinberg::Vst::IAttributeList* list = message->getAttributes();
  double f = 0;
  Steinberg::int64 i = 0;
  Steinberg::Vst::String128 s{};
  if ((kind == 'f' ? list->getFloat(key, f) : kind == 'i' ? list->getInt(key, i) : list->getString(key, s, sizeof(s))) != kResultOk)
    return "";
  if (kind != 's') return kind == 'f' ? json(f).dump() : std::to_string(i);
  return std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>().to_bytes(reinterpret_cast<const char16_t*>(s));
}

class ControllerBindingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(controller->initialize(&hostApp), kResultOk);
    bindings = std::make_unique<webbridge::WebviewControllerBindings>(controller.get());
    bindings->Bind(&view);
  }
  void TearDown() override {
    bindings.reset();
    controller->terminate();
  }
  std::string result(const std::string& method, const json& params, int seq = 1) {
    return RecordingWebview::resultOf(view.call(method, params, seq), seq);
  }

  RecordingWebview view;
  Steinberg::Vst::HostApplication hostApp;  // not reference counted: it lives here
  Steinberg::IPtr<qeqtest::TestController> controller = owned(new qeqtest::TestController);
  std::unique_ptr<webbridge::WebviewControllerBindings> bindings;
};

TEST_F(ControllerBindingsTest, ParameterObjectsDescribeTheSdkParameterByIdentifier) {
  EXPECT_EQ(result("getParameterObject", {1}), gainObject("0.5"));
  EXPECT_EQ(result("getParameterObject", {7.8}), kFreqObject) << "identifiers truncate";
  EXPECT_EQ(result("getParameterObject", {99}), "null");
  const json odd = json::parse(result("getParameterObject", {40}));
  EXPECT_TRUE(odd["isRangeParameter"] == false && !odd.contains("min")) << "a class derived from RangeParameter is not one";
  for (const char* message : {R"({"id":1,"method":"getParameterObject","params":["1"]})", R"({"id":1,"method":"getParameterObject","params":[]})",
                              R"({"id":1,"method":"getParameterObject"})", R"({"id":1,"method":"getParameterObjects","params":[[1,"7"]]})"})
    EXPECT_TRUE(view.post(message).empty()) << message;
  // Indexed by identifier, gaps null; a lone number works as a list.
  EXPECT_EQ(result("getParameterObjects", {{7, 1, 99}}), "[null," + gainObject("0.5") + ",null,null,null,null,null," + kFreqObject + "]");
  EXPECT_EQ(json::parse(result("getParameterObjects", {7})).size(), 8u);
  for (const json& none : {json::array({json::array()}), json::array({nullptr}), json{{99, -7}}})
    EXPECT_EQ(result("getParameterObjects", none), "null") << none;
}

TEST_F(ControllerBindingsTest, ValuesEditsUnitsAndCounts) {
  struct Call { const char* method; json params; const char* answer; };  // "" for no answer
  const Call calls[] = {
      {"setParamNormalized", {1, 0.25}, "true"},  {"getParamNormalized", {1}, "0.25"},
      {"setParamNormalized", {1, 3}, "true"},     {"getParamNormalized", {1}, "1.0"},  // integers are values; the SDK clamps
      {"setParamNormalized", {99, 0.5}, "false"}, {"setParamNormalized", {1, true}, ""}, {"setParamNormalized", {1}, ""},
      {"normalizedParamToPlain", {7, 0.25}, "-5.0"}, {"getParameterCount", nullptr, "4"}, {"getSelectedUnit", json::array(), "0"},
      {"selectUnit", {-3.9}, "0"} /* the SDK's result code */, {"getSelectedUnit", json::array(), "-3"},
      {"beginEdit", {1}, "false"} /* no component handler yet */,
  };
  for (const Call& c : calls) EXPECT_EQ(result(c.method, c.params), c.answer) << c.method << c.params;

  auto handler = owned(new QuenrilEQ::host::RecordingComponentHandler);
  controller->setComponentHandler(handler);
  for (const auto& [method, args] : std::vector<std::pair<const char*, json>>{{"beginEdit", {1}}, {"performEdit", {1, 0.75}}, {"endEdit", {1}}})
    EXPECT_EQ(result(method, args), "true") << method;
  using Kind = QuenrilEQ::host::HandlerCall::Kind;
  const std::vector<QuenrilEQ::host::HandlerCall> expected = {{Kind::BeginEdit, 1, 0, 0}, {Kind::PerformEdit, 1, 0.75, 0}, {Kind::EndEdit, 1, 0, 0}};
  EXPECT_EQ(handler->calls(), expected);
  EXPECT_EQ(result("getParamNormalized", {1}), "1.0") << "performEdit tells the host, not the controller";
  controller->setComponentHandler(nullptr);
}

TEST_F(ControllerBindingsTest, SubscribedChangesAreNotifiedBeforeTheAnswerToTheLatestBoundPageOnly) {
  EXPECT_EQ(result("subscribeParameter", {1}) + result("subscribeParameter", {1}, 2) + result("subscribeParameter", {99}, 3),
            "truetruenull");
  EXPECT_EQ(bindings->subscribedParameters(), std::vector<Steinberg::Vst::ParamID>{1});
  const auto scripts = view.call("setParamNormalized", {1, 0.125}, 4);
  ASSERT_GE(scripts.size(), 2u);
  EXPECT_EQ(scripts.back(), RecordingWebview::answer(4, "true"));
  for (size_t i = 0; i + 1 < scripts.size(); ++i) EXPECT_EQ(scripts[i], notification(gainObject("0.125")));
  EXPECT_EQ(view.call("setParamNormalized", {1, 0.125}, 5).size(), 1u) << "an unchanged value is no change";
  EXPECT_EQ(view.call("setParamNormalized", {7, 0.3}, 6).size(), 1u) << "not subscribed";
  view.evaluated.clear();
  controller->setParamNormalized(1, 0.5);  // the host or the controller itself
  ASSERT_FALSE(view.evaluated.empty());
  EXPECT_EQ(view.evaluated[0], notification(gainObject("0.5")));

  // Detached, the first page hears nothing; a second bound page subscribes again and hears it.
  bindings->DetachWebview();
  RecordingWebview second;
  bindings->Bind(&second);
  EXPECT_EQ(RecordingWebview::resultOf(second.call("subscribeParameter", {7})), "true");
  view.evaluated.clear();
  controller->setParamNormalized(7, 0.25);
  EXPECT_TRUE(view.evaluated.empty());
  ASSERT_FALSE(second.evaluated.empty());
  EXPECT_NE(second.evaluated.back().find(R"("normalized":0.25)"), std::string::npos);

  // Unsubscribed, and destroyed while subscribed, nothing is heard (ASan would see a dead dependent called).
  auto scriptsForChanges = [&](double value) {
    view.evaluated.clear();
    second.evaluated.clear();
    for (Steinberg::Vst::ParamID id : {1, 3, 7}) controller->setParamNormalized(id, value);
    return view.evaluated.size() + second.evaluated.size();
  };
  bindings->UnsubscribeAll();
  EXPECT_EQ(scriptsForChanges(0.9), 0u);
  EXPECT_EQ(RecordingWebview::resultOf(second.call("subscribeParameter", {3})), "true");
  bindings.reset();
  EXPECT_EQ(scriptsForChanges(0.1), 0u);
}

TEST_F(ControllerBindingsTest, SendMessageReachesTheConnectedPeer) {
  auto peer = owned(new qeqtest::RecordingPeer);
  controller->connect(peer);
  const std::string long130 = std::string(126, 'y') + "\xF0\x9F\x8E\xB5" + "zz";  // a pair at units 126..127
  EXPECT_EQ(result("sendMessage", {"hello", {{"f", 0.5}, {"i", -3}, {"u", 4000000000u}, {"s", "Grüße"}, {"long", std::string(127, 'x')},
                                             {"cut", long130}, {"n", nullptr}, {"o", json::object()}, {"a", json::array()}}}), "true");
  EXPECT_EQ(result("sendMessage", {"list", {2.5, 7}}), "true");
  EXPECT_EQ(result("sendMessage", {"bare"}), "true");
  EXPECT_TRUE(view.call("sendMessage", {"flag", {{"a", 1}, {"b", true}}}).empty());
  EXPECT_TRUE(view.call("sendMessage", {5, json::object()}).empty());
  ASSERT_EQ(peer->received.size(), 3u) << "a refused message is not sent";
  EXPECT_EQ(std::string(peer->received[0]->getMessageID()) + std::string(peer->received[2]->getMessageID()), "hellobare");
  // Text is cut to 127 units, never inside a surrogate pair; null, object and array are skipped.
  const std::tuple<const char*, char, std::string> expected[] = {
      {"f", 'f', "0.5"}, {"i", 'i', "-3"}, {"u", 'i', "4000000000"}, {"s", 's', "Grüße"}, {"long", 's', std::string(127, 'x')},
      {"cut", 's', std::string(126, 'y')}, {"n", 'f', ""}, {"o", 'f', ""}, {"a", 'f', ""}};
  for (const auto& [key, kind, value] : expected) EXPECT_EQ(attribute(peer->received[0], kind, key), value) << key;
  EXPECT_EQ(attribute(peer->received[1], 'f', "0") + "|" + attribute(peer->received[1], 'i', "1"), "2.5|7");
  controller->disconnect(peer);
  EXPECT_EQ(result("sendMessage", {"alone", json::object()}), "true") << "no peer: still true";
  // Nor is it an error when the host cannot make messages at all.
  auto bare = owned(new qeqtest::TestController);
  bare->initialize(nullptr);
  RecordingWebview other;
  {
    webbridge::WebviewControllerBindings unhosted(bare.get());
    unhosted.Bind(&other);
    EXPECT_EQ(RecordingWebview::resultOf(other.call("sendMessage", {"x", {{"a", 1}}})), "true");
  }
  bare->terminate();
}

}  // namespace
