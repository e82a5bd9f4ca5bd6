// The page and the plug-in talking through the real browser: bound functions
// from the first script on, answers, change notifications, reloads, and what
// the window shows.
#include <gtest/gtest.h>

#include <memory>

#include "editor_session.h"

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;
using nlohmann::json;

constexpr Vst::ParamID kBand1Gain = 2003;

TEST(EditorPage, CallsABoundFunctionFromItsFirstScriptAndFillsTheWindow) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  // Right after attachment no document exists yet: a script sent now waits for the page.
  auto queued = std::make_shared<json>("not called");
  session.View()->GetWebview()->EvalJS("window.__queued = 41 + 1", [queued](const json& value) { *queued = value; });
  ASSERT_TRUE(session.WaitFor("window.__answer !== undefined")) << "no answer reached the page";
  EXPECT_EQ(*queued, 42);
  EXPECT_EQ(session.Eval("window.__queued"), 42);
  EXPECT_EQ(session.Eval("window.__early"), json::parse(R"({"transport":true,"bound":true,"nextSeq":1})"));
  EXPECT_DOUBLE_EQ(session.Eval("window.__answer").get<double>(), session.Controller().getParamNormalized(kBand1Gain));
  // Every message also comes back to the page unchanged.
  ASSERT_TRUE(session.WaitFor("window.__echoes.length >= 1", 5000));
  EXPECT_EQ(json::parse(session.Eval("window.__echoes[0]").get<std::string>()),
            json::parse(R"({"id":1,"method":"getParamNormalized","params":[2003]})"));

  // The page paints the whole window, not just a corner of it.
  session.Frame().RunFor(500);
  QuenrilEQ::editorhost::RgbImage shot;
  ASSERT_TRUE(QuenrilEQ::editorhost::CaptureWindow(session.Frame().XDisplay(), session.Frame().WindowId(), shot));
  QuenrilEQ::editorhost::WritePng(shot, qeqtest::ArtifactPath("first_call.png"));
  ASSERT_TRUE(shot.width == 1400 && shot.height == 900);
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(shot, QuenrilEQ::editorhost::EditorFrame::kBackground);
  EXPECT_GT(facts.distinctColours, 100) << "blank or single-colour window";
  EXPECT_LT(facts.fractionLikeBackground, 0.01) << "the host's background shows through";
}

TEST(EditorPage, SetsTheControllerAndHearsAboutChanges) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("subscribe.html")), kResultOk);
  ASSERT_TRUE(session.WaitFor("window.__set !== undefined"));
  EXPECT_EQ(session.Eval("[window.__subscribed, window.__set]"), json::parse("[true,true]"));
  EXPECT_NEAR(session.Controller().getParamNormalized(kBand1Gain), 0.6, 1e-12);
  // The page's own change was announced to it, and so is a change the host makes.
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 1", 5000));
  EXPECT_EQ(session.Eval("window.__notes[0].info.id"), kBand1Gain);
  EXPECT_NEAR(session.Eval("window.__notes[0].normalized").get<double>(), 0.6, 1e-12);
  session.Controller().setParamNormalized(kBand1Gain, 0.25);
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 2", 5000));
  EXPECT_NEAR(session.Eval("window.__notes[window.__notes.length - 1].normalized").get<double>(), 0.25, 1e-12);
  // A parameter nobody subscribed to stays quiet.
  const json count = session.Eval("window.__notes.length");
  session.Controller().setParamNormalized(kBand1Gain + 1, 0.9);
  session.Frame().RunFor(300);
  EXPECT_EQ(session.Eval("window.__notes.length"), count);
}

TEST(EditorPage, ReloadRestartsCallNumbersAndKeepsTheBindings) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("reload.html")), kResultOk);
  const int count = session.Controller().getParameterCount();
  for (int load = 0; load < 2; ++load) {
    ASSERT_TRUE(session.WaitFor("!window.__old && window.__result !== undefined")) << load;
    EXPECT_EQ(session.Eval("[__result.startSeq, __result.ids[0], __result.count, __result.again]"), json({1, 1, count, count})) << load;
    // Marks this document, so the next one is recognisably new.
    session.Eval("window.__old = true; setTimeout(() => location.reload(), 0); 1");
  }
}

}  // namespace
