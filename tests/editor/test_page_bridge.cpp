// The page and the plug-in talking through the real browser: bound functions
// from the first script on, answers, change notifications and reloads.
#include <gtest/gtest.h>

#include <memory>

#include "editor_session.h"

namespace {

using namespace Steinberg;
using nlohmann::json;

constexpr Vst::ParamID kBand1Gain = 2003;

TEST(EditorPage, CallsFromItsFirstScriptSetsHearsChangesAndSurvivesReloads) {
  qeqtest::EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("bridge.html")), kResultOk);
  // Right after attachment no document exists yet: a script sent now waits for the page.
  auto queued = std::make_shared<json>("not called");
  session.View()->GetWebview()->EvalJS("window.__queued = 41 + 1", [queued](const json& value) { *queued = value; });
  for (int load = 0; load < 2; ++load) {
    ASSERT_TRUE(session.WaitFor("!window.__old && window.__answer !== undefined")) << "no answer reached the page " << load;
    EXPECT_DOUBLE_EQ(session.Eval("window.__answer").get<double>(), session.Controller().getParamNormalized(kBand1Gain));
    // Every message also comes back to the page unchanged, numbered from 1 in each document.
    ASSERT_TRUE(session.WaitFor("window.__echoes.length >= 1", 5000));
    EXPECT_EQ(json::parse(session.Eval("window.__echoes[0]").get<std::string>()),
              json::parse(R"({"id":1,"method":"getParamNormalized","params":[2003]})")) << load;
    if (load == 0) session.Eval("window.__old = true; setTimeout(() => location.reload(), 0); 1");
  }
  EXPECT_EQ(*queued, 42);

  // The page's own change reaches the controller and is announced to it, and so is a change the host makes.
  session.Eval("subscribeParameter(2003).then((ok) => setParamNormalized(2003, ok === true ? 0.6 : 0.1)); 1");
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 1", 5000));
  EXPECT_NEAR(session.Controller().getParamNormalized(kBand1Gain), 0.6, 1e-12);
  EXPECT_EQ(session.Eval("window.__notes[0].info.id"), kBand1Gain);
  EXPECT_NEAR(session.Eval("window.__notes[0].normalized").get<double>(), 0.6, 1e-12);
  session.Controller().setParamNormalized(kBand1Gain, 0.25);
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 2", 5000));
  EXPECT_NEAR(session.Eval("window.__notes[window.__notes.length - 1].normalized").get<double>(), 0.25, 1e-12);
}

}  // namespace
