// Editors coming and going the ways hosts make them: several at once, closed
// and reopened, torn down by the host in the wrong order, and on a machine
// without a working GL driver.
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "editor_session.h"

extern char** environ;

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;

const char* const kAnswered = "window.__answer !== undefined";

TEST(EditorLifecycle, TwoInstancesRunSideBySide) {
  EditorSession first, second;
  ASSERT_EQ(first.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  ASSERT_EQ(second.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  second.Controller().setParamNormalized(2003, 0.75);  // tells the two pages apart

  // Each frame's loop pumps GLib for both editors, so waiting on one is enough.
  ASSERT_TRUE(first.WaitFor(kAnswered));
  ASSERT_TRUE(second.WaitFor(kAnswered));
  EXPECT_DOUBLE_EQ(first.Eval("window.__answer").get<double>(),
                   first.Controller().getParamNormalized(2003));
  EXPECT_DOUBLE_EQ(second.Eval("window.__answer").get<double>(), 0.75);
  EXPECT_NE(first.View()->GetWebview()->GetNativeWindow(),
            second.View()->GetWebview()->GetNativeWindow());
}

TEST(EditorLifecycle, OpensClosesAndReopensThreeTimes) {
  EditorSession session;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
    ASSERT_TRUE(session.WaitFor(kAnswered));
    session.Close();
    EXPECT_EQ(session.Frame().TimerCount(), 0u);
    session.Frame().RunFor(100);
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
    session.Frame().DestroyWindow();
    session.Frame().RunFor(500);  // the pump still runs and sees the window go
    EXPECT_EQ(session.View()->GetWebview()->GetNativeWindow(), nullptr);
    session.Close();  // removed() and release after the fact
    session.Frame().RunFor(200);
  }
  // Still alive, and a new editor still works.
  EditorSession again;
  ASSERT_EQ(again.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  EXPECT_TRUE(again.WaitFor(kAnswered));
}

// Runs in a child process whose EGL finds no driver at all. Without the check
// WebKit would end the process while creating the web view.
TEST(EditorWithoutGl, StaysEmptyInsteadOfEndingTheHost) {
  if (!std::getenv("QEQ_EDITOR_NO_GL_CHILD")) GTEST_SKIP() << "runs in the child process only";
  EditorSession session;
  ASSERT_EQ(session.Open(qeqtest::PageAddress("first_call.html")), kResultOk);
  EXPECT_EQ(session.View()->GetWebview(), nullptr);
  EXPECT_EQ(session.Frame().TimerCount(), 0u);
  session.Frame().RunFor(500);
  QuenrilEQ::editorhost::RgbImage shot;
  ASSERT_TRUE(QuenrilEQ::editorhost::CaptureWindow(session.Frame().XDisplay(),
                                                   session.Frame().WindowId(), shot));
  QuenrilEQ::editorhost::WritePng(shot, qeqtest::ArtifactPath("no_gl.png"));
  EXPECT_EQ(qeqtest::FactsOf(shot, QuenrilEQ::editorhost::EditorFrame::kBackground).distinctColours, 1);
}

TEST(EditorWithoutGl, ChildProcessSurvivesWithAnEmptyEditor) {
  if (std::getenv("QEQ_EDITOR_NO_GL_CHILD")) GTEST_SKIP();
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.emplace_back("QEQ_EDITOR_NO_GL_CHILD=1");
  // libglvnd then knows no EGL vendor, and Mesa no driver.
  env.emplace_back("__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/egl_vendor.json");
  env.emplace_back("LIBGL_DRIVERS_PATH=/nonexistent");
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filter = "--gtest_filter=EditorWithoutGl.StaysEmptyInsteadOfEndingTheHost";
  std::vector<char*> argv = {self.data(), filter.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
