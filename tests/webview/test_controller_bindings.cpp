// Generic parameter bindings driven through real page messages.
#include <gtest/gtest.h>

#include <memory>

#include "component_handler.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "recording_webview.h"
#include "test_controller.h"
#include "webview/controller_bindings.h"

using nlohmann::json;
using qeqtest::RecordingWebview;
using Steinberg::IPtr;
using Steinberg::owned;

namespace {

std::string unitsText(const std::string& leading, int codes) {
  std::string text = "[" + leading;
  for (int i = codes; i < 128; ++i) text += (i == 0 ? "0" : ",0");
  return text + "]";
}

// Parameter 1 as the page must see it, written out by hand.
std::string gainObject(const std::string& normalized) {
  return R"({"info":{"defaultNormalizedValue":0.5,"flags":1,"id":1,"shortTitle":"Gn","stepCount":0,)"
         R"("title":"Gain","units":)" + unitsText("100,66", 2) +
         R"(},"isRangeParameter":false,"normalized":)" + normalized + R"(,"precision":4,"unitID":0})";
}

const std::string kFreqObject =
    R"({"info":{"defaultNormalizedValue":0.5,"flags":1,"id":7,"shortTitle":"","stepCount":0,)"
    R"("title":"Freq","units":)" + unitsText("72,122", 2) +
    R"(},"isRangeParameter":true,"max":10.0,"min":-10.0,"normalized":0.5,"precision":4,"unitID":0})";

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
  // The SDK's host application is not reference counted: it lives here.
  Steinberg::Vst::HostApplication hostApp;
  IPtr<qeqtest::TestController> controller = owned(new qeqtest::TestController);
  std::unique_ptr<webbridge::WebviewControllerBindings> bindings;
};

}  // namespace

TEST_F(ControllerBindingsTest, BindInstallsThirteenStubsInOrder) {
  const char* names[] = {"getParameterObject", "getParameterObjects", "subscribeParameter", "setParamNormalized",
                         "normalizedParamToPlain", "getParamNormalized", "beginEdit", "performEdit", "endEdit",
                         "getParameterCount", "getSelectedUnit", "selectUnit", "sendMessage"};
  ASSERT_EQ(view.initScripts.size(), 13u);
  for (size_t i = 0; i < 13; ++i)
    EXPECT_EQ(view.initScripts[i].rfind(std::string("(function() { var name = '") + names[i] + "';", 0), 0u) << i;
}

TEST_F(ControllerBindingsTest, ParameterObjectsDescribeTheSdkParameter) {
  EXPECT_EQ(result("getParameterObject", {1}), gainObject("0.5"));
  EXPECT_EQ(result("getParameterObject", {7}), kFreqObject);
  EXPECT_EQ(result("getParameterObject", {7.8}), kFreqObject) << "identifiers truncate";
  EXPECT_EQ(result("getParameterObject", {true}), gainObject("0.5")) << "true reads as 1";
  EXPECT_EQ(result("getParameterObject", {99}), "null");

  const json odd = json::parse(result("getParameterObject", {40}));
  EXPECT_EQ(odd["isRangeParameter"], false) << "a class derived from RangeParameter is not one";
  EXPECT_FALSE(odd.contains("min"));
  EXPECT_FALSE(odd.contains("max"));
  const json mode = json::parse(result("getParameterObject", {3}));
  EXPECT_EQ(mode["info"]["stepCount"], 2);
  EXPECT_EQ(mode["info"]["title"], "Mode");

  EXPECT_TRUE(view.call("getParameterObject", {"1"}).empty()) << "text is not an identifier";
  EXPECT_TRUE(view.call("getParameterObject", json::array()).empty());
  EXPECT_TRUE(view.post(R"({"id":1,"method":"getParameterObject"})").empty());
}

TEST_F(ControllerBindingsTest, GetParameterObjectsIndexesByIdentifier) {
  const json both = json::parse(result("getParameterObjects", {{7, 1, 99}}));
  ASSERT_EQ(both.size(), 8u);
  EXPECT_EQ(both[1].dump(), gainObject("0.5"));
  EXPECT_EQ(both[7].dump(), kFreqObject);
  for (int i : {0, 2, 3, 4, 5, 6}) EXPECT_TRUE(both[i].is_null()) << i;

  const json lone = json::parse(result("getParameterObjects", {7}));
  EXPECT_EQ(lone.size(), 8u);
  EXPECT_EQ(lone[7].dump(), kFreqObject);
  const json members = json::parse(result("getParameterObjects", {{{"a", 3}, {"b", 1}}}));
  EXPECT_EQ(members.size(), 4u);
  EXPECT_FALSE(members[1].is_null());
  EXPECT_FALSE(members[3].is_null());

  EXPECT_EQ(result("getParameterObjects", json::array({json::array()})), "null");
  EXPECT_EQ(result("getParameterObjects", json::array({nullptr})), "null");
  EXPECT_EQ(result("getParameterObjects", {{99, -7}}), "null");
  EXPECT_TRUE(view.call("getParameterObjects", {{1, "7"}}).empty()) << "a text element is a type error";
}

TEST_F(ControllerBindingsTest, ValuesEditsAndCounts) {
  EXPECT_EQ(result("setParamNormalized", {1, 0.25}), "true");
  EXPECT_EQ(result("getParamNormalized", {1}), "0.25");
  EXPECT_EQ(result("setParamNormalized", {1, 3}), "true") << "integers are values too";
  EXPECT_EQ(result("getParamNormalized", {1}), "1.0") << "the SDK clamps";
  EXPECT_EQ(result("setParamNormalized", {99, 0.5}), "false");
  EXPECT_TRUE(view.call("setParamNormalized", {1, true}).empty()) << "a boolean is no value";
  EXPECT_TRUE(view.call("setParamNormalized", {1}).empty()) << "missing value";
  EXPECT_EQ(result("normalizedParamToPlain", {7, 0.25}), "-5.0");
  EXPECT_EQ(result("getParameterCount", json::array()), "4");
  EXPECT_EQ(result("getParameterCount", nullptr), "4");
}

TEST_F(ControllerBindingsTest, EditGesturesReachTheHostOnlyWhenThereIsOne) {
  EXPECT_EQ(result("beginEdit", {1}), "false") << "no component handler yet";
  auto handler = owned(new QuenrilEQ::host::RecordingComponentHandler);
  controller->setComponentHandler(handler);
  EXPECT_EQ(result("beginEdit", {1}), "true");
  EXPECT_EQ(result("performEdit", {1, 0.75}), "true");
  EXPECT_EQ(result("endEdit", {1}), "true");
  using Kind = QuenrilEQ::host::HandlerCall::Kind;
  const std::vector<QuenrilEQ::host::HandlerCall> expected = {
      {Kind::BeginEdit, 1, 0, 0}, {Kind::PerformEdit, 1, 0.75, 0}, {Kind::EndEdit, 1, 0, 0}};
  EXPECT_EQ(handler->calls(), expected);
  EXPECT_EQ(result("getParamNormalized", {1}), "0.5") << "performEdit tells the host, not the controller";
  controller->setComponentHandler(nullptr);
}

TEST_F(ControllerBindingsTest, UnitSelectionAnswersTheResultCode) {
  EXPECT_EQ(result("getSelectedUnit", json::array()), "0") << "the root unit";
  EXPECT_EQ(result("selectUnit", {5}), "0");
  EXPECT_EQ(result("getSelectedUnit", json::array()), "5");
  EXPECT_EQ(result("selectUnit", {-3.9}), "0");
  EXPECT_EQ(result("getSelectedUnit", json::array()), "-3");
}

TEST_F(ControllerBindingsTest, NotificationPrecedesTheAnswerAndCarriesTheNewObject) {
  EXPECT_EQ(result("subscribeParameter", {1}), "true");
  EXPECT_EQ(result("subscribeParameter", {1}, 2), "true");
  EXPECT_EQ(result("subscribeParameter", {99}, 3), "null");
  EXPECT_EQ(bindings->subscribedParameters(), std::vector<Steinberg::Vst::ParamID>{1});

  const auto scripts = view.call("setParamNormalized", {1, 0.125}, 4);
  ASSERT_GE(scripts.size(), 2u);
  EXPECT_EQ(scripts.back(), RecordingWebview::answer(4, "true"));
  for (size_t i = 0; i + 1 < scripts.size(); ++i) EXPECT_EQ(scripts[i], notification(gainObject("0.125")));

  EXPECT_EQ(view.call("setParamNormalized", {1, 0.125}, 5), std::vector<std::string>{RecordingWebview::answer(5, "true")})
      << "an unchanged value is no change";
  EXPECT_EQ(view.call("setParamNormalized", {7, 0.3}, 6), std::vector<std::string>{RecordingWebview::answer(6, "true")})
      << "not subscribed";

  view.evaluated.clear();
  controller->setParamNormalized(1, 0.5);  // the host or the controller itself
  ASSERT_FALSE(view.evaluated.empty());
  EXPECT_EQ(view.evaluated[0], notification(gainObject("0.5")));
}

TEST_F(ControllerBindingsTest, DetachStopsNotificationsAndTheLatestBindReceivesThem) {
  result("subscribeParameter", {7});
  bindings->DetachWebview();
  view.evaluated.clear();
  controller->setParamNormalized(7, 0.75);
  EXPECT_TRUE(view.evaluated.empty());

  RecordingWebview second;
  bindings->Bind(&second);
  EXPECT_EQ(second.initScripts.size(), 13u);
  // The second page subscribes again; the identifier is listed once.
  EXPECT_EQ(RecordingWebview::resultOf(second.call("subscribeParameter", {7})), "true");
  EXPECT_EQ(bindings->subscribedParameters().size(), 1u);
  controller->setParamNormalized(7, 0.25);
  EXPECT_TRUE(view.evaluated.empty()) << "the first view is no longer notified";
  ASSERT_FALSE(second.evaluated.empty());
  EXPECT_EQ(json::parse(second.evaluated.back().substr(22, second.evaluated.back().size() - 24))["normalized"], 0.25);
  bindings->DetachWebview();
}

TEST_F(ControllerBindingsTest, UnsubscribeAndDestructionRemoveTheDependent) {
  result("subscribeParameter", {1});
  result("subscribeParameter", {3});
  bindings->UnsubscribeAll();
  EXPECT_TRUE(bindings->subscribedParameters().empty());
  view.evaluated.clear();
  controller->setParamNormalized(1, 0.9);
  controller->setParamNormalized(3, 1.0);
  EXPECT_TRUE(view.evaluated.empty());

  // A set destroyed while subscribed must not leave the SDK calling a dead
  // dependent (the address sanitizer build turns this into a hard failure).
  result("subscribeParameter", {1});
  bindings.reset();
  view.evaluated.clear();
  controller->setParamNormalized(1, 0.1);
  EXPECT_TRUE(view.evaluated.empty());
}

TEST_F(ControllerBindingsTest, SendMessageReachesTheConnectedPeer) {
  auto peer = owned(new qeqtest::RecordingPeer);
  peer->keys = {"f", "i", "u", "s", "long", "n", "o", "a", "0", "1"};
  controller->connect(peer);

  const std::u16string units127(127, u'x');
  const std::string long127(127, 'x');
  const std::string long130 = std::string(126, 'y') + "\xF0\x9F\x8E\xB5" + "zz";  // pair at units 126..127
  EXPECT_EQ(result("sendMessage", {"hello", {{"f", 0.5}, {"i", -3}, {"u", 4000000000u}, {"s", "Grüße"},
                                              {"long", long127}, {"n", nullptr}, {"o", json::object()},
                                              {"a", json::array()}}}),
            "true");
  ASSERT_EQ(peer->received.size(), 1u);
  const auto& first = peer->received[0];
  EXPECT_EQ(first.id, "hello");
  EXPECT_EQ(first.floats.at("f"), 0.5);
  EXPECT_EQ(first.ints.at("i"), -3);
  EXPECT_EQ(first.ints.at("u"), 4000000000);
  EXPECT_EQ(first.strings.at("s"), u"Grüße");
  EXPECT_EQ(first.strings.at("long"), units127);
  for (const char* skipped : {"n", "o", "a"}) {  // null, object, array
    EXPECT_EQ(first.floats.count(skipped) + first.ints.count(skipped) + first.strings.count(skipped), 0u) << skipped;
  }

  EXPECT_EQ(result("sendMessage", {"cut", {{"s", long130}}}), "true");
  ASSERT_EQ(peer->received.size(), 2u);
  EXPECT_EQ(peer->received[1].strings.at("s"), std::u16string(126, u'y')) << "no half surrogate pair";

  EXPECT_EQ(result("sendMessage", {"list", {2.5, 7}}), "true");
  ASSERT_EQ(peer->received.size(), 3u);
  EXPECT_EQ(peer->received[2].floats.at("0"), 2.5);
  EXPECT_EQ(peer->received[2].ints.at("1"), 7);

  EXPECT_EQ(result("sendMessage", {"bare"}), "true");
  EXPECT_EQ(peer->received.size(), 4u);

  EXPECT_TRUE(view.call("sendMessage", {"flag", {{"a", 1}, {"b", true}}}).empty());
  EXPECT_TRUE(view.call("sendMessage", {5, json::object()}).empty());
  EXPECT_EQ(peer->received.size(), 4u) << "a refused message is not sent";

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
