// Editors coming and going the ways hosts make them: several at once, closed
// and reopened, torn down by the host in the wrong order, with a browser
// helper that crashes, and on a machine without a working GL driver. Every
// editor has a helper process of its own, which must never outlive it.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "editor_session.h"
#include "helper_webview.h"

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;

const char* const kAnswered = "window.__answer !== undefined";

// Gone and collected: a zombie still counts as existing.
bool endsWithin(EditorSession& session, pid_t pid, int ms) {
  for (int waited = 0; qeqtest::ProcessExists(pid); waited += 20) {
    if (waited >= ms) return false;
    session.Frame().RunFor(20);
  }
  return true;
}

// Records when the page made its first call.
class StartClock : public webbridge::Bindings {
 public:
  void Bind(webbridge::Webview* webview) override {
    webview->BindFunction("pageStarted", [this](webbridge::Webview*, int, const std::string&,
                                                const nlohmann::json&) {
      if (!called) called = std::chrono::steady_clock::now();
      return nlohmann::json();
    });
  }
  std::optional<std::chrono::steady_clock::time_point> called;
};

TEST(EditorLifecycle, TwoInstancesRunSideBySide) {
  EditorSession first, second;
  ASSERT_EQ(first.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  ASSERT_EQ(second.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  second.Controller().setParamNormalized(2003, 0.75);  // tells the two pages apart

  // Each frame's loop serves both editors, so waiting on one is enough.
  ASSERT_TRUE(first.WaitFor(kAnswered));
  ASSERT_TRUE(second.WaitFor(kAnswered));
  EXPECT_DOUBLE_EQ(first.Eval("window.__answer").get<double>(),
                   first.Controller().getParamNormalized(2003));
  EXPECT_DOUBLE_EQ(second.Eval("window.__answer").get<double>(), 0.75);
  EXPECT_NE(first.View()->GetWebview()->GetNativeWindow(),
            second.View()->GetWebview()->GetNativeWindow());
  EXPECT_NE(first.HelperPid(), second.HelperPid());
}

TEST(EditorLifecycle, OpensClosesAndReopensLeavingNoHelperBehind) {
  EditorSession session;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
    ASSERT_TRUE(session.WaitFor(kAnswered));
    const pid_t helper = session.HelperPid();
    ASSERT_GT(helper, 0);
    session.Close();
    EXPECT_EQ(session.Frame().TimerCount(), 0u);
    EXPECT_EQ(session.Frame().EventHandlerCount(), 0u);
    EXPECT_TRUE(endsWithin(session, helper, 5000)) << "helper " << helper << " left running or unreaped";
  }
  // One view attached again after removal gets a new, working web view.
  ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  ASSERT_TRUE(session.WaitFor(kAnswered));
  session.View()->removed();
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(session.Frame().WindowId()));
  ASSERT_EQ(session.View()->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
  ASSERT_NE(session.View()->GetWebview(), nullptr);
  EXPECT_NE(session.View()->GetWebview()->GetNativeWindow(), nullptr);
  EXPECT_TRUE(session.WaitFor(kAnswered));
}

TEST(EditorLifecycle, SurvivesAHostThatDestroysItsWindowFirst) {
  {
    EditorSession session;
    ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
    ASSERT_TRUE(session.WaitFor(kAnswered));
    const pid_t helper = session.HelperPid();
    session.Frame().DestroyWindow();
    // The window's end is the helper's end, before the host says anything.
    EXPECT_TRUE(endsWithin(session, helper, 5000));
    EXPECT_EQ(session.View()->GetWebview()->GetNativeWindow(), nullptr);
    session.Close();  // removed() and release after the fact
    session.Frame().RunFor(200);
  }
  // Still alive, and a new editor still works.
  EditorSession again;
  ASSERT_EQ(again.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  EXPECT_TRUE(again.WaitFor(kAnswered));
}

// A crashed browser comes back by itself, the page with it; one that keeps
// crashing is left alone (an empty editor) until the editor opens again.
TEST(EditorLifecycle, ACrashedHelperIsReplacedAFewTimesThenLeftUntilReopened) {
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  ASSERT_TRUE(session.WaitFor(kAnswered));
  for (std::size_t crash = 0; crash <= webbridge::HelperWebview::kMaxRestarts; ++crash) {
    SCOPED_TRACE(crash);
    const pid_t helper = session.HelperPid();
    ASSERT_GT(helper, 0);
    ASSERT_EQ(kill(helper, SIGKILL), 0);
    EXPECT_TRUE(endsWithin(session, helper, 5000));
    if (crash < webbridge::HelperWebview::kMaxRestarts) {
      EXPECT_TRUE(session.WaitFor(kAnswered)) << "the page did not come back";
      EXPECT_NE(session.HelperPid(), helper);
    }
  }
  session.Frame().RunFor(500);
  EXPECT_EQ(session.HelperPid(), -1);
  EXPECT_EQ(session.Eval("1", 300), "timeout");
  // Closed and reopened the way hosts like Ardour do it: hidden, shown.
  Display* display = session.Frame().XDisplay();
  XUnmapWindow(display, session.Frame().WindowId());
  XSync(display, False);
  session.Frame().RunFor(300);
  XMapWindow(display, session.Frame().WindowId());
  XSync(display, False);
  EXPECT_TRUE(session.WaitFor(kAnswered));
}

TEST(EditorLifecycle, TheFirstPageCallArrivesSoonAfterAttachment) {
  EditorSession session;
  StartClock clock;
  const auto attaching = std::chrono::steady_clock::now();
  ASSERT_EQ(session.Open(qeqtest::PageAddress("started.html"), &clock), kResultOk);
  ASSERT_TRUE(session.Frame().RunUntil([&] { return clock.called.has_value(); }, 20000));
  const double ms = std::chrono::duration<double, std::milli>(*clock.called - attaching).count();
  std::cout << "first page message " << ms << " ms after attached" << std::endl;
  RecordProperty("first_page_message_ms", static_cast<int>(ms));
}

// A machine whose EGL finds no driver at all: WebKit would end its process
// while creating the web view; the helper checks first and leaves instead.
TEST(EditorWithoutGl, StaysEmptyAndTheHostCarriesOn) {
  setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent/egl_vendor.json", 1);
  setenv("LIBGL_DRIVERS_PATH", "/nonexistent", 1);
  EditorSession session;
  const tresult attached = session.Open(qeqtest::PageAddress("first_call.html"));
  unsetenv("__EGL_VENDOR_LIBRARY_FILENAMES");
  unsetenv("LIBGL_DRIVERS_PATH");
  ASSERT_EQ(attached, kResultOk);
  const pid_t helper = session.HelperPid();
  ASSERT_GT(helper, 0);
  EXPECT_TRUE(endsWithin(session, helper, 10000));
  session.Frame().RunFor(300);
  EXPECT_EQ(session.HelperPid(), -1) << "a helper that cannot start is not started again and again";
  QuenrilEQ::editorhost::RgbImage shot;
  ASSERT_TRUE(QuenrilEQ::editorhost::CaptureWindow(session.Frame().XDisplay(),
                                                   session.Frame().WindowId(), shot));
  QuenrilEQ::editorhost::WritePng(shot, qeqtest::ArtifactPath("no_gl.png"));
  EXPECT_EQ(qeqtest::FactsOf(shot, 0x000000).distinctColours, 1) << "an empty, black editor";
}

}  // namespace
