// The editor inside hosts built on real toolkits (tests/editor/hosts), each a
// program of its own since GTK 2 and GTK 3 cannot share a process, and in
// quenrileq-editor killed outright: no browser helper may outlive its host.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "editor_session.h"
#include "process_table.h"

extern char** environ;

namespace {

// Each host is a test program of its own and checks its own helpers; the
// filter is given so that one set for this program cannot empty the host's run.
TEST(ToolkitHosts, Gtk2SocketHostLikeArdourAndGtk3ModalDialogHostLikeAudacity) {
  for (const char* host : {QEQ_GTK2_HOST, QEQ_GTK3_HOST}) {
    const qeqtest::CommandRun run = qeqtest::RunCommand(std::string(host) + " --gtest_filter='*'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test."), std::string::npos) << run.output;
  }
}

// Looks every 50 ms until done() answers true or timeoutMs passed.
template <typename Done>
bool within(int timeoutMs, Done done) {
  for (int waited = 0; !done() && waited < timeoutMs; waited += 50) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return done();
}

TEST(ToolkitHosts, AKilledHostsHelperEnds) {
  std::string tool = QEQ_EDITOR_TOOL, seconds = "--seconds", sixty = "60";
  char* argv[] = {tool.data(), seconds.data(), sixty.data(), nullptr};
  pid_t host = 0;
  ASSERT_EQ(posix_spawn(&host, tool.c_str(), nullptr, nullptr, argv, environ), 0);
  std::vector<pid_t> helpers;
  within(20000, [&] { return !(helpers = qeqtest::HelperChildrenOf(host)).empty(); });
  kill(host, SIGKILL);
  waitpid(host, nullptr, 0);
  ASSERT_EQ(helpers.size(), 1u) << "the editor never started its helper";
  EXPECT_TRUE(within(5000, [&] { return !qeqtest::Running(helpers[0]); })) << "helper " << helpers[0] << " outlived its host";
}

}  // namespace
