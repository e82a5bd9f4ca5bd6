// The bridge's message handling: answer scripts, argument passing and every
// way a message can fail to get an answer.
#include <gtest/gtest.h>

#include <stdexcept>

#include "recording_webview.h"

using nlohmann::json;
using qeqtest::RecordingWebview;

namespace {

webbridge::BindingFunction returning(json value) {
  return [value](webbridge::Webview*, int, const std::string&, const json&) { return value; };
}

std::vector<std::string> answered(int seq, const std::string& result) { return {RecordingWebview::answer(seq, result)}; }

TEST(Rpc, RebindingUnbindingAndTheAnswerText) {
  RecordingWebview view;
  view.BindFunction("f", returning("first"));
  EXPECT_TRUE(view.evaluated.empty()) << "a stub only takes effect in the next document";
  // The latest binding answers: compact, keys sorted, UTF-8 unescaped.
  const std::pair<json, const char*> cases[] = {
      {json{{"zeta", 1}, {"alpha", json{{"b", 2}, {"a", nullptr}}}, {"mid", "x y"}}, R"({"alpha":{"a":null,"b":2},"mid":"x y","zeta":1})"},
      {nullptr, "null"},
      {"Grüße €", "\"Grüße €\""},
  };
  for (const auto& [value, text] : cases) {
    view.BindFunction("f", returning(value));
    EXPECT_EQ(view.call("f", {3}, 7), answered(7, text));
  }
  view.BindFunction("f", returning(std::string("ok\xC3(", 4)));
  EXPECT_TRUE(view.call("f", json::array()).empty()) << "invalid UTF-8 is not answered";
  // A function may rebind its own name while it runs.
  view.BindFunction("g", [](webbridge::Webview* w, int, const std::string& name, const json&) -> json {
    w->BindFunction(name, returning("replaced"));
    return "original";
  });
  EXPECT_EQ(view.call("g", json::array(), 1), answered(1, "\"original\""));
  EXPECT_EQ(view.call("g", json::array(), 2), answered(2, "\"replaced\""));
  // Unbinding deletes the global now and in later documents.
  view.evaluated.clear();
  view.UnbindFunction("f");
  view.UnbindFunction("neverBound");
  EXPECT_EQ(view.initScripts.back(), "delete window['f'];");
  EXPECT_EQ(view.evaluated, std::vector<std::string>{"delete window['f'];"});
  EXPECT_TRUE(view.call("f", json::array()).empty());
}

// The view and the name reach a function as the rebinding above uses them; arguments as the page
// test's echo shows them.
TEST(Rpc, MalformedMessagesAndThrowingFunctionsGetNoAnswerCallNumbersConvertLikeOtherNumbers) {
  RecordingWebview view;
  int calls = 0;
  json seenArgs;
  view.BindFunction("f", [&](webbridge::Webview*, int seq, const std::string&, const json& args) {
    ++calls, seenArgs = args;
    return json(seq);
  });
  view.BindFunction("json", [](webbridge::Webview*, int, const std::string&, const json& args) -> json { return args.at(5); });
  view.BindFunction("std", [](webbridge::Webview*, int, const std::string&, const json&) -> json { throw std::runtime_error("boom"); });
  view.BindFunction("odd", [](webbridge::Webview*, int, const std::string&, const json&) -> json { throw 42; });
  for (const char* message : {
           "", "{", R"({"id":1,"method":"f"} x)", R"({"id":1,/*c*/"method":"f"})",
           "null", "[1,2]", "\"f\"", R"({"method":"f"})", R"({"id":"1","method":"f"})", R"({"id":null,"method":"f"})",
           R"({"id":[1],"method":"f"})", R"({"id":1})", R"({"id":1,"method":7})", R"({"id":1,"method":"F"})",
           R"({"id":1,"method":"g","params":[]})", R"({"id":1,"method":"json","params":[]})",
           R"({"id":1,"method":"std","params":[]})", R"({"id":1,"method":"odd","params":[]})"})
    EXPECT_TRUE(view.post(message).empty()) << message;
  EXPECT_EQ(calls, 0);
  view.post(R"({"id":1,"method":"f"})");
  EXPECT_TRUE(seenArgs.is_null()) << "missing params arrive as null";
  // The bridge goes on. Call numbers convert like every other number from the page: truncated, low 32 bits.
  for (const auto& [id, expected] : std::vector<std::pair<std::string, int>>{
           {"3.9", 3}, {"-2.7", -2}, {"true", 1}, {"false", 0}, {"4294967301", 5}, {"-1", -1}, {"1e3", 1000}})
    EXPECT_EQ(view.post(R"({"method":"f","id":)" + id + "}"), answered(expected, std::to_string(expected))) << id;
}

}  // namespace
