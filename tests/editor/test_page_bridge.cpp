// The page and the plug-in talking through the real browser: bound functions
// from the first script on, answers, change notifications, reloads, and what
// the window shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "editor_session.h"

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;
using nlohmann::json;

constexpr Vst::ParamID kBand1Gain = 2003;
constexpr unsigned long kHostBackground = QuenrilEQ::editorhost::EditorFrame::kBackground;

TEST(EditorPage, CallsABoundFunctionFromItsFirstScriptAndFillsTheWindow) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  ASSERT_TRUE(session.WaitFor("window.__answer !== undefined")) << "no answer reached the page";

  const json early = session.Eval("window.__early");
  EXPECT_EQ(early["transport"], true);
  EXPECT_EQ(early["bound"], true);
  EXPECT_EQ(early["nextSeq"], 1);
  // The answer is the controller's own value.
  EXPECT_DOUBLE_EQ(session.Eval("window.__answer").get<double>(),
                   session.Controller().getParamNormalized(kBand1Gain));

  // Every message also comes back to the page unchanged.
  ASSERT_TRUE(session.WaitFor("window.__echoes.length >= 1", 5000));
  const json echoed = json::parse(session.Eval("window.__echoes[0]").get<std::string>());
  EXPECT_EQ(echoed, json::parse(R"({"id":1,"method":"getParamNormalized","params":[2003]})"));

  // The page paints the whole window, not just a corner of it.
  session.Frame().RunFor(500);
  QuenrilEQ::editorhost::RgbImage shot;
  ASSERT_TRUE(QuenrilEQ::editorhost::CaptureWindow(session.Frame().XDisplay(),
                                                   session.Frame().WindowId(), shot));
  EXPECT_TRUE(QuenrilEQ::editorhost::WritePng(shot, qeqtest::ArtifactPath("first_call.png")));
  ASSERT_EQ(shot.width, 1400);
  ASSERT_EQ(shot.height, 900);
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(shot, kHostBackground);
  EXPECT_GT(facts.distinctColours, 100) << "blank or single-colour window";
  EXPECT_LT(facts.fractionLikeBackground, 0.01) << "the host's background shows through";
}

TEST(EditorPage, ScriptsSentBeforeThePageExistsReachIt) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  // Right after attachment no document exists yet; the script must wait for
  // the page rather than vanish.
  auto result = std::make_shared<json>("not called");
  session.View()->GetWebview()->EvalJS("window.__queued = 41 + 1",
                                       [result](const json& value) { *result = value; });
  ASSERT_TRUE(session.WaitFor("window.__answer !== undefined"));
  EXPECT_EQ(*result, 42);
  EXPECT_EQ(session.Eval("window.__queued"), 42);
}

TEST(EditorPage, SetsTheControllerAndHearsAboutChanges) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("subscribe.html")), kResultOk);
  ASSERT_TRUE(session.WaitFor("window.__set !== undefined"));
  EXPECT_EQ(session.Eval("window.__subscribed"), true);
  EXPECT_EQ(session.Eval("window.__set"), true);
  EXPECT_NEAR(session.Controller().getParamNormalized(kBand1Gain), 0.6, 1e-12);

  // The page's own change was announced to it, with the new value.
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 1", 5000));
  json note = session.Eval("window.__notes[0]");
  EXPECT_EQ(note["info"]["id"], kBand1Gain);
  EXPECT_NEAR(note["normalized"].get<double>(), 0.6, 1e-12);

  // So is a change the host makes.
  session.Controller().setParamNormalized(kBand1Gain, 0.25);
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 2", 5000));
  note = session.Eval("window.__notes[window.__notes.length - 1]");
  EXPECT_NEAR(note["normalized"].get<double>(), 0.25, 1e-12);

  // A parameter nobody subscribed to stays quiet.
  const json count = session.Eval("window.__notes.length");
  session.Controller().setParamNormalized(kBand1Gain + 1, 0.9);
  session.Frame().RunFor(300);
  EXPECT_EQ(session.Eval("window.__notes.length"), count);
}

TEST(EditorPage, ReloadRestartsCallNumbersAndKeepsTheBindings) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("reload.html")), kResultOk);
  std::vector<json> loads;
  for (int load = 0; load < 2; ++load) {
    SCOPED_TRACE(load);
    ASSERT_TRUE(session.WaitFor("!window.__old && window.__result !== undefined"))
        << session.Eval("[location.href, document.readyState, String(window._rpc && window._rpc.nextSeq)]");
    loads.push_back(session.Eval("window.__result"));
    // Marks this document, so the next one is recognisably new.
    session.Eval("window.__old = true; setTimeout(() => location.reload(), 0); 1");
  }
  for (const json& load : loads) {
    EXPECT_EQ(load["startSeq"], 1);
    ASSERT_FALSE(load["ids"].empty());
    EXPECT_EQ(load["ids"][0], 1);
    EXPECT_EQ(load["count"], session.Controller().getParameterCount());
    EXPECT_EQ(load["again"], session.Controller().getParameterCount());
  }
}

TEST(EditorPage, TheBundlesOwnPageFillsTheWindow) {
  const std::filesystem::path page =
      std::filesystem::path(QEQ_BUNDLE_PATH) / "Contents" / "Resources" / "index.html";
  if (!std::filesystem::exists(page)) GTEST_SKIP() << "no editor page in the bundle yet";
  EditorSession session;
  ASSERT_EQ(session.Open("file://" + page.string()), kResultOk);
  ASSERT_TRUE(session.WaitFor("document.readyState === 'complete'"));
  session.Frame().RunFor(1500);
  QuenrilEQ::editorhost::RgbImage shot;
  ASSERT_TRUE(QuenrilEQ::editorhost::CaptureWindow(session.Frame().XDisplay(),
                                                   session.Frame().WindowId(), shot));
  EXPECT_TRUE(QuenrilEQ::editorhost::WritePng(shot, qeqtest::ArtifactPath("bundle_page.png")));
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(shot, kHostBackground);
  EXPECT_GT(facts.distinctColours, 20);
  EXPECT_LT(facts.fractionLikeBackground, 0.01);
}

}  // namespace
