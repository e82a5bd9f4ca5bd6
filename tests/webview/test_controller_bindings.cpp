// The generic parameter bindings driven through real page messages, on a
// small controller of the SDK's own parameter kinds (test_controller.h).
#include <gtest/gtest.h>

#include <memory>

#include "component_handler.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "recording_webview.h"
#include "test_controller.h"
#include "webview/controller_bindings.h"

using nlohmann::json;
using qeqtest::RecordingWebview;
using Steinberg::owned;

namespace {

std::string unitsText(const std::string& leading, int codes) {
  std::string text = "[" + leading;
  for (int i = codes; i < 128; ++i) text += ",0";
  return text + "]";
}

// Parameters 1 and 7 as the page must see them, written out by hand.
std::string gainObject(const std::string& normalized) {
  return R"({"info":{"defaultNormalizedValue":0.5,"flags":1,"id":1,"shortTitle":"Gn","stepCount":0,"title":"Gain","units":)" +
         unitsText("100,66", 2) + R"(},"isRangeParameter":false,"normalized":)" + normalized + R"(,"precision":4,"unitID":0})";
}
const std::string kFreqObject =
    R"({"info":{"defaultNormalizedValue":0.5,"flags":1,"id":7,"shortTitle":"","stepCount":0,"title":"Freq","units":)" +
    unitsText("72,122", 2) + R"(},"isRangeParameter":true,"max":10.0,"min":-10.0,"normalized":0.5,"precision":4,"unitID":0})";

std::string notification(const std::string& object) { return "notifyParameterChange(" + object + ");"; }

class ControllerBindingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(controller->initialize(&hostApp), Steinberg::kResultOk);
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
  ASSERT_EQ(view.initScripts.size(), 13u);
  EXPECT_EQ(result("getParameterObject", {1}), gainObject("0.5"));
  EXPECT_EQ(result("getParameterObject", {7.8}), kFreqObject) << "identifiers truncate";
  EXPECT_EQ(result("getParameterObject", {true}), gainObject("0.5")) << "true reads as 1";
  EXPECT_EQ(result("getParameterObject", {99}), "null");
  const json odd = json::parse(result("getParameterObject", {40}));
  EXPECT_EQ(odd["isRangeParameter"], false) << "a class derived from RangeParameter is not one";
  EXPECT_FALSE(odd.contains("min"));
  EXPECT_EQ(json::parse(result("getParameterObject", {3}))["info"]["stepCount"], 2);
  for (const char* message : {R"({"id":1,"method":"getParameterObject","params":["1"]})", R"({"id":1,"method":"getParameterObject","params":[]})",
                              R"({"id":1,"method":"getParameterObject"})", R"({"id":1,"method":"getParameterObjects","params":[[1,"7"]]})"})
    EXPECT_TRUE(view.post(message).empty()) << message;

  // Indexed by identifier, gaps null; a lone number or an object's members work as a list.
  const json both = json::parse(result("getParameterObjects", {{7, 1, 99}}));
  ASSERT_EQ(both.size(), 8u);
  EXPECT_EQ(both[1].dump(), gainObject("0.5"));
  EXPECT_EQ(both[7].dump(), kFreqObject);
  for (int i : {0, 2, 3, 4, 5, 6}) EXPECT_TRUE(both[i].is_null()) << i;
  EXPECT_EQ(json::parse(result("getParameterObjects", {7})).size(), 8u);
  EXPECT_FALSE(json::parse(result("getParameterObjects", {{{"a", 3}, {"b", 1}}}))[3].is_null());
  for (const json& none : {json::array({json::array()}), json::array({nullptr}), json{{99, -7}}})
    EXPECT_EQ(result("getParameterObjects", none), "null") << none;
}

TEST_F(ControllerBindingsTest, ValuesEditsUnitsAndCounts) {
  EXPECT_EQ(result("setParamNormalized", {1, 0.25}), "true");
  EXPECT_EQ(result("getParamNormalized", {1}), "0.25");
  EXPECT_EQ(result("setParamNormalized", {1, 3}), "true") << "integers are values too";
  EXPECT_EQ(result("getParamNormalized", {1}), "1.0") << "the SDK clamps";
  EXPECT_EQ(result("setParamNormalized", {99, 0.5}), "false");
  EXPECT_TRUE(view.call("setParamNormalized", {1, true}).empty()) << "a boolean is no value";
  EXPECT_TRUE(view.call("setParamNormalized", {1}).empty()) << "missing value";
  EXPECT_EQ(result("normalizedParamToPlain", {7, 0.25}), "-5.0");
  EXPECT_EQ(result("getParameterCount", nullptr), "4");
  EXPECT_EQ(result("getSelectedUnit", json::array()), "0");
  EXPECT_EQ(result("selectUnit", {-3.9}), "0") << "the SDK's result code";
  EXPECT_EQ(result("getSelectedUnit", json::array()), "-3");

  EXPECT_EQ(result("beginEdit", {1}), "false") << "no component handler yet";
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
  EXPECT_EQ(result("subscribeParameter", {1}), "true");
  EXPECT_EQ(result("subscribeParameter", {1}, 2), "true");
  EXPECT_EQ(result("subscribeParameter", {99}, 3), "null");
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

  // Unsubscribed, and destroyed while subscribed, no dependent is left behind (ASan would see a dead one called).
  bindings->UnsubscribeAll();
  EXPECT_TRUE(bindings->subscribedParameters().empty());
  result("subscribeParameter", {3});
  bindings.reset();
  view.evaluated.clear();
  second.evaluated.clear();
  controller->setParamNormalized(1, 0.9);
  controller->setParamNormalized(3, 1.0);
  controller->setParamNormalized(7, 0.5);
  EXPECT_TRUE(second.evaluated.empty() && view.evaluated.empty());
}

TEST_F(ControllerBindingsTest, SendMessageReachesTheConnectedPeer) {
  auto peer = owned(new qeqtest::RecordingPeer);
  peer->keys = {"f", "i", "u", "s", "long", "n", "o", "a", "0", "1"};
  controller->connect(peer);
  const std::string long130 = std::string(126, 'y') + "\xF0\x9F\x8E\xB5" + "zz";  // a pair at units 126..127
  EXPECT_EQ(result("sendMessage", {"hello", {{"f", 0.5}, {"i", -3}, {"u", 4000000000u}, {"s", "Grüße"}, {"long", std::string(127, 'x')},
                                             {"n", nullptr}, {"o", json::object()}, {"a", json::array()}}}), "true");
  EXPECT_EQ(result("sendMessage", {"cut", {{"s", long130}}}), "true");
  EXPECT_EQ(result("sendMessage", {"list", {2.5, 7}}), "true");
  EXPECT_EQ(result("sendMessage", {"bare"}), "true");
  EXPECT_TRUE(view.call("sendMessage", {"flag", {{"a", 1}, {"b", true}}}).empty());
  EXPECT_TRUE(view.call("sendMessage", {5, json::object()}).empty());
  ASSERT_EQ(peer->received.size(), 4u) << "a refused message is not sent";
  const auto& first = peer->received[0];
  EXPECT_EQ(first.id, "hello");
  EXPECT_EQ(first.floats.at("f"), 0.5);
  EXPECT_EQ(first.ints.at("i"), -3);
  EXPECT_EQ(first.ints.at("u"), 4000000000);
  EXPECT_EQ(first.strings.at("s"), u"Grüße");
  EXPECT_EQ(first.strings.at("long"), std::u16string(127, u'x'));
  for (const char* skipped : {"n", "o", "a"})  // null, object, array
    EXPECT_EQ(first.floats.count(skipped) + first.ints.count(skipped) + first.strings.count(skipped), 0u) << skipped;
  EXPECT_EQ(peer->received[1].strings.at("s"), std::u16string(126, u'y')) << "no half surrogate pair";
  EXPECT_EQ(peer->received[2].floats.at("0"), 2.5);
  EXPECT_EQ(peer->received[2].ints.at("1"), 7);
  controller->disconnect(peer);
  EXPECT_EQ(result("sendMessage", {"alone", json::object()}), "true") << "no peer: still true";
}

TEST(ControllerBindingsNoHost, SendMessageWithoutHostMessagesAnswersTrue) {
  auto controller = owned(new qeqtest::TestController);
  controller->initialize(nullptr);
  RecordingWebview view;
  {
    webbridge::WebviewControllerBindings bindings(controller.get());
    bindings.Bind(&view);
    EXPECT_EQ(RecordingWebview::resultOf(view.call("sendMessage", {"x", {{"a", 1}}})), "true");
  }
  controller->terminate();
}

}  // namespace
