// The bridge's message handling: stubs, answer scripts, argument passing and
// every way a message can fail to get an answer.
#include <gtest/gtest.h>

#include <stdexcept>

#include "recording_webview.h"

using nlohmann::json;
using qeqtest::RecordingWebview;

namespace {

// The page-side function installed per name, written out as the page sees it.
const std::string kStubTail =
    "\n     var RPC = window._rpc = (window._rpc || {nextSeq: 1});\n     window[name] = function() {\n"
    "       var seq = RPC.nextSeq++;\n       var promise = new Promise(function(resolve, reject) {\n"
    "         RPC[seq] = {\n           resolve: resolve,\n           reject: reject,\n         };\n"
    "       });\n       window.external.invoke(JSON.stringify({\n         id: seq,\n"
    "         method: name,\n         params: Array.prototype.slice.call(arguments),\n"
    "       }));\n       return promise;\n     }\n   })()";

webbridge::BindingFunction returning(json value) {
  return [value](webbridge::Webview*, int, const std::string&, const json&) { return value; };
}

// Records what the bound function received.
struct Seen {
  webbridge::Webview* view = nullptr;
  int seq = -1;
  std::string name;
  json args = "untouched";
  int calls = 0;
};

webbridge::BindingFunction recording(Seen& seen, json result = true) {
  return [&seen, result](webbridge::Webview* view, int seq, const std::string& name, const json& args) {
    seen.view = view;
    seen.seq = seq;
    seen.name = name;
    seen.args = args;
    ++seen.calls;
    return result;
  };
}

}  // namespace

TEST(RpcStub, IsTheFixedScriptWithTheNameInserted) {
  RecordingWebview view;
  view.BindFunction("getThing", returning(1));
  ASSERT_EQ(view.initScripts.size(), 1u);
  EXPECT_EQ(kStubTail.size(), 481u);
  EXPECT_EQ(view.initScripts[0], "(function() { var name = 'getThing';" + kStubTail);
  EXPECT_TRUE(view.evaluated.empty()) << "a stub only takes effect in the next document";
}

TEST(RpcStub, BindingANameTwiceRegistersTwoStubsAndTheSecondFunctionAnswers) {
  RecordingWebview view;
  view.BindFunction("f", returning("first"));
  view.BindFunction("f", returning("second"));
  EXPECT_EQ(view.initScripts.size(), 2u);
  EXPECT_EQ(view.initScripts[0], view.initScripts[1]);
  EXPECT_EQ(view.call("f", json::array(), 4), std::vector<std::string>{RecordingWebview::answer(4, "\"second\"")});
}

TEST(RpcStub, UnbindDeletesTheGlobalNowAndInLaterDocuments) {
  RecordingWebview view;
  view.BindFunction("f", returning(1));
  view.UnbindFunction("f");
  ASSERT_EQ(view.initScripts.size(), 2u);
  EXPECT_EQ(view.initScripts[1], "delete window['f'];");
  EXPECT_EQ(view.evaluated, std::vector<std::string>{"delete window['f'];"});
  EXPECT_TRUE(view.call("f", json::array()).empty());

  view.UnbindFunction("neverBound");
  EXPECT_EQ(view.initScripts.size(), 2u);
}

TEST(RpcAnswer, ResultsAreCompactWithSortedKeysAndUnescapedUtf8) {
  RecordingWebview view;
  view.BindFunction("obj", returning(json{{"zeta", 1}, {"alpha", json{{"b", 2}, {"a", nullptr}}}, {"mid", "x y"}}));
  view.BindFunction("nil", returning(nullptr));
  view.BindFunction("text", returning("Grüße €"));
  view.BindFunction("quarter", returning(0.25));

  EXPECT_EQ(view.call("obj", json::array(), 1),
            std::vector<std::string>{RecordingWebview::answer(1, R"({"alpha":{"a":null,"b":2},"mid":"x y","zeta":1})")});
  EXPECT_EQ(view.call("nil", json::array(), 2), std::vector<std::string>{RecordingWebview::answer(2, "null")});
  EXPECT_EQ(view.call("text", json::array(), 3),
            std::vector<std::string>{RecordingWebview::answer(3, "\"Grüße €\"")});
  EXPECT_EQ(view.post(R"({"id":7,"method":"quarter","params":[3]})"),
            std::vector<std::string>{"window._rpc[7].resolve(0.25); delete window._rpc[7]"});
}

TEST(RpcAnswer, ResultWithInvalidUtf8IsNotAnswered) {
  RecordingWebview view;
  view.BindFunction("bad", returning(std::string("ok\xC3(", 4)));
  view.BindFunction("good", returning(1));
  EXPECT_TRUE(view.call("bad", json::array()).empty());
  EXPECT_EQ(view.call("good", json::array(), 2).size(), 1u) << "the bridge keeps working";
}

TEST(RpcMessage, FunctionReceivesViewCallNumberNameAndArguments) {
  RecordingWebview view;
  Seen seen;
  view.BindFunction("f", recording(seen));
  view.post(R"({"params":[1,"two",[3],{"four":4}],"method":"f","id":12})");
  EXPECT_EQ(seen.view, &view);
  EXPECT_EQ(seen.seq, 12);
  EXPECT_EQ(seen.name, "f");
  EXPECT_EQ(seen.args, json::parse(R"([1,"two",[3],{"four":4}])"));

  view.post(R"({"id":1,"method":"f"})");
  EXPECT_TRUE(seen.args.is_null()) << "missing params arrive as null";
  EXPECT_EQ(view.evaluated, std::vector<std::string>{RecordingWebview::answer(1, "true")});
}

TEST(RpcMessage, CallNumbersConvertLikeTheLibraryIntConversion) {
  RecordingWebview view;
  Seen seen;
  view.BindFunction("f", recording(seen));
  const std::pair<const char*, int> cases[] = {
      {"3.9", 3}, {"-2.7", -2}, {"true", 1}, {"false", 0}, {"4294967301", 5}, {"-1", -1}, {"1e3", 1000},
  };
  for (const auto& [id, expected] : cases) {
    const auto scripts = view.post(std::string(R"({"method":"f","id":)") + id + "}");
    EXPECT_EQ(seen.seq, expected) << id;
    EXPECT_EQ(scripts, std::vector<std::string>{RecordingWebview::answer(expected, "true")}) << id;
  }
}

TEST(RpcMessage, MalformedMessagesGetNoAnswerAndDoNotCallTheFunction) {
  RecordingWebview view;
  Seen seen;
  view.BindFunction("f", recording(seen));
  const char* messages[] = {
      "",                                      // empty text
      "{",                                     // syntax error
      R"({"id":1,"method":"f"} x)",            // trailing text
      R"({"id":1,/*c*/"method":"f"})",         // comments are not JSON
      "null",                                  // becomes {} and has no id
      "[1,2]",                                 // not an object
      "\"f\"",                                 // not an object
      R"({"method":"f"})",                     // no id
      R"({"id":"1","method":"f"})",            // id as text
      R"({"id":null,"method":"f"})",           // id null
      R"({"id":[1],"method":"f"})",            // id array
      R"({"id":1})",                           // no method
      R"({"id":1,"method":7})",                // method not a string
      R"({"id":1,"method":"F"})",              // names are case-sensitive
      R"({"id":1,"method":"g","params":[]})",  // unknown name
  };
  for (const char* message : messages) {
    EXPECT_TRUE(view.post(message).empty()) << message;
  }
  EXPECT_EQ(seen.calls, 0);
}

TEST(RpcMessage, ThrowingFunctionsGetNoAnswerAndTheBridgeGoesOn) {
  RecordingWebview view;
  view.BindFunction("json", [](webbridge::Webview*, int, const std::string&, const json& args) -> json {
    return args.at(5);  // out_of_range from the library
  });
  view.BindFunction("std", [](webbridge::Webview*, int, const std::string&, const json&) -> json {
    throw std::runtime_error("boom");
  });
  view.BindFunction("odd", [](webbridge::Webview*, int, const std::string&, const json&) -> json { throw 42; });
  view.BindFunction("ok", returning(1));
  EXPECT_TRUE(view.call("json", json::array()).empty());
  EXPECT_TRUE(view.call("std", json::array()).empty());
  EXPECT_TRUE(view.call("odd", json::array()).empty());
  EXPECT_EQ(view.call("ok", json::array(), 9), std::vector<std::string>{RecordingWebview::answer(9, "1")});
}

TEST(RpcMessage, AFunctionMayRebindItsOwnNameWhileRunning) {
  RecordingWebview view;
  view.BindFunction("f", [](webbridge::Webview* w, int, const std::string& name, const json&) -> json {
    w->BindFunction(name, returning("replaced"));
    return "original";
  });
  EXPECT_EQ(view.call("f", json::array(), 1), std::vector<std::string>{RecordingWebview::answer(1, "\"original\"")});
  EXPECT_EQ(view.call("f", json::array(), 2), std::vector<std::string>{RecordingWebview::answer(2, "\"replaced\"")});
}
