// The editor inside hosts built on real toolkits (tests/editor/hosts): each
// runs as a program of its own, since GTK 2 and GTK 3 cannot share a process,
// and no browser helper may outlive the host that started it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "editor_session.h"
#include "process_table.h"

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

}  // namespace
