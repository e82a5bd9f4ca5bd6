// quenrileq-editor, the stand-alone host, with the real bundle: it opens the
// editor, runs scripts in the page, feeds audio and saves a screenshot; a
// host that crashes leaves no browser running.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "editor_session.h"
#include "process_table.h"

extern char** environ;

namespace {

qeqtest::CommandRun runTool(const std::string& arguments) {
  return qeqtest::RunCommand(std::string("'") + QEQ_EDITOR_TOOL + "' " + arguments);
}

TEST(EditorTool, ShowsTheBundlesEditorRunsScriptsAndSavesAScreenshot) {
  for (const char* bad : {"--seconds", "--signal square", "--signal sine:-5", "--bogus"}) EXPECT_EQ(runTool(bad).status, 2) << bad;
  const qeqtest::CommandRun missing = runTool("--plugin /nonexistent/Nothing.vst3 --seconds 0");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("cannot load"), std::string::npos) << missing.output;

  const std::string shot = qeqtest::ArtifactPath("quenrileq_editor.png");
  std::filesystem::remove(shot);
  const qeqtest::CommandRun run = runTool(std::string("--plugin '") + QEQ_BUNDLE_PATH + "' --seconds 6 --signal sine:440 --screenshot '" +
                                          shot + "' --eval '1 + 2' --eval 'typeof getParameterObject'");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(("\n" + run.output).find("\n3\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\"function\""), std::string::npos) << run.output;
  QuenrilEQ::editorhost::RgbImage image;
  ASSERT_TRUE(QuenrilEQ::editorhost::ReadPng(shot, image));
  EXPECT_TRUE(image.width == 1400 && image.height == 900);
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(image, QuenrilEQ::editorhost::EditorFrame::kBackground);
  EXPECT_GT(facts.distinctColours, 20) << "blank or single-colour editor";
  EXPECT_LT(facts.fractionLikeBackground, 0.01);
}

TEST(EditorTool, ItsHelperEndsWhenTheHostIsKilled) {
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
