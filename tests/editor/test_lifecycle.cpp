// Editors coming and going the ways hosts make them: several at once, torn
// down by the host in the wrong order, with a browser helper that crashes,
// and on a machine without a working GL driver. Every editor has a helper
// process of its own, which must never outlive it.
#include <signal.h>

#include <gtest/gtest.h>

#include "editor_session.h"
#include "helper_webview.h"

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;
using qeqtest::kAnswered;

// Every editor has its own helper and window; a host may destroy its window
// before it tells the editor anything.
TEST(EditorLifecycle, TwoInstancesRunSideBySideAndSurviveAHostThatDestroysItsWindowFirst) {
  EditorSession first, second;
  second.Controller().setParamNormalized(2003, 0.75);  // tells the two pages apart
  ASSERT_TRUE(first.OpenAnswered());
  ASSERT_TRUE(second.OpenAnswered());
  EXPECT_DOUBLE_EQ(first.Eval("window.__answer").get<double>(), first.Controller().getParamNormalized(2003));
  EXPECT_DOUBLE_EQ(second.Eval("window.__answer").get<double>(), 0.75);
  EXPECT_NE(first.View()->GetWebview()->GetNativeWindow(), second.View()->GetWebview()->GetNativeWindow());
  const pid_t helper = first.HelperPid();
  EXPECT_NE(helper, second.HelperPid());
  first.Frame().DestroyWindow();
  // The window's end is the helper's end, before the host says anything.
  EXPECT_TRUE(first.EndsWithin(helper, 5000));
  EXPECT_EQ(first.View()->GetWebview()->GetNativeWindow(), nullptr);
  first.Close();  // removed() and release after the fact
  first.Frame().RunFor(200);
  EXPECT_EQ(second.Eval("window.__answer"), 0.75) << "the other editor goes on";
  EXPECT_TRUE(second.OpenAnswered()) << "and a new one still works";
}

// A crashed browser comes back by itself, the page with it; one that keeps
// crashing is left alone (an empty editor) until the editor is shown again.
TEST(EditorLifecycle, ACrashedHelperIsReplacedAFewTimesThenLeftUntilReopened) {
  EditorSession session;
  ASSERT_TRUE(session.OpenAnswered());
  for (std::size_t crash = 0; crash <= webbridge::HelperWebview::kMaxRestarts; ++crash) {
    const pid_t helper = session.HelperPid();
    ASSERT_GT(helper, 0) << crash;
    ASSERT_EQ(kill(helper, SIGKILL), 0);
    EXPECT_TRUE(session.EndsWithin(helper, 5000));
    if (crash < webbridge::HelperWebview::kMaxRestarts) {
      EXPECT_TRUE(session.WaitFor(kAnswered)) << "the page did not come back after crash " << crash;
      EXPECT_NE(session.HelperPid(), helper);
    }
  }
  session.Frame().RunFor(500);
  EXPECT_EQ(session.HelperPid(), -1);
  EXPECT_EQ(session.Eval("1", 300), "timeout");
  // Hidden and shown again, the way hosts like Ardour close and reopen editors.
  Display* display = session.Frame().XDisplay();
  XUnmapWindow(display, session.Frame().WindowId());
  XSync(display, False);
  session.Frame().RunFor(300);
  XMapWindow(display, session.Frame().WindowId());
  XSync(display, False);
  EXPECT_TRUE(session.WaitFor(kAnswered));
}

// A machine whose EGL finds no driver at all: WebKit would end its process
// while creating the web view; the helper checks first and leaves instead.
TEST(EditorWithoutGl, StaysEmptyAndTheHostCarriesOn) {
  setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent/egl_vendor.json", 1);
  setenv("LIBGL_DRIVERS_PATH", "/nonexistent", 1);
  EditorSession session;
  const tresult attached = session.Open(qeqtest::PageAddress("bridge.html"));
  unsetenv("__EGL_VENDOR_LIBRARY_FILENAMES");
  unsetenv("LIBGL_DRIVERS_PATH");
  ASSERT_EQ(attached, kResultOk);
  const pid_t helper = session.HelperPid();
  ASSERT_GT(helper, 0);
  EXPECT_TRUE(session.EndsWithin(helper, 10000));
  session.Frame().RunFor(300);
  EXPECT_EQ(session.HelperPid(), -1) << "a helper that cannot start is not started again and again";
  QuenrilEQ::editorhost::RgbImage shot;
  ASSERT_TRUE(QuenrilEQ::editorhost::CaptureWindow(session.Frame().XDisplay(), session.Frame().WindowId(), shot));
  EXPECT_EQ(qeqtest::FactsOf(shot, 0x000000).distinctColours, 1) << "an empty, black editor";
}

}  // namespace
