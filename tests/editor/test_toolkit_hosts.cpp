// The editor inside hosts built on real toolkits (tests/editor/hosts), each a
// program of its own since GTK 2 and GTK 3 cannot share a process, and in
// quenrileq-editor killed outright: no browser helper may outlive its host.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "editor_session.h"
#include "process_table.h"

extern char** environ;

namespace {

TEST(ToolkitHosts, Gtk2SocketHostLikeArdour) {
  const qeqtest::CommandRun run = qeqtest::RunCommand(QEQ_GTK2_HOST);
  EXPECT_EQ(run.status, 0) << run.output;
  std::istringstream lines(run.output);
  int helpers = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("helper-pid ", 0) != 0) continue;
    ++helpers;
    const pid_t pid = std::stoi(line.substr(11));
    EXPECT_FALSE(qeqtest::Running(pid)) << "helper " << pid << " outlived its host";
  }
  EXPECT_GE(helpers, 4) << run.output;
}

TEST(ToolkitHosts, Gtk3ModalDialogHostLikeAudacity) {
  const qeqtest::CommandRun run = qeqtest::RunCommand(QEQ_GTK3_HOST);
  EXPECT_EQ(run.status, 0) << run.output;
}

TEST(ToolkitHosts, AKilledHostsHelperEnds) {
  std::string tool = QEQ_EDITOR_TOOL, seconds = "--seconds", sixty = "60";
  char* argv[] = {tool.data(), seconds.data(), sixty.data(), nullptr};
  pid_t host = 0;
  ASSERT_EQ(posix_spawn(&host, tool.c_str(), nullptr, nullptr, argv, environ), 0);
  std::vector<pid_t> helpers;
  for (int waited = 0; helpers.empty() && waited < 20000; waited += 50) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    helpers = qeqtest::HelperChildrenOf(host);
  }
  kill(host, SIGKILL);
  waitpid(host, nullptr, 0);
  ASSERT_EQ(helpers.size(), 1u) << "the editor never started its helper";
  bool ended = false;
  for (int waited = 0; !ended && waited < 5000; waited += 50) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ended = !qeqtest::Running(helpers[0]);
  }
  EXPECT_TRUE(ended) << "helper " << helpers[0] << " outlived its host";
}

}  // namespace
