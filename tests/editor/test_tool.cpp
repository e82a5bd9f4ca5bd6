// quenrileq-editor, the stand-alone host, with the real bundle: it opens the
// editor, runs scripts in the page, feeds audio and saves a screenshot.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "editor_session.h"

namespace {

using ToolRun = qeqtest::CommandRun;

ToolRun runTool(const std::string& arguments) {
  return qeqtest::RunCommand(std::string("'") + QEQ_EDITOR_TOOL + "' " + arguments);
}

TEST(EditorTool, RejectsBadCommandLines) {
  EXPECT_EQ(runTool("--seconds").status, 2);
  EXPECT_EQ(runTool("--signal square").status, 2);
  EXPECT_EQ(runTool("--signal sine:-5").status, 2);
  EXPECT_EQ(runTool("--bogus").status, 2);
  const ToolRun missing = runTool("--plugin /nonexistent/Nothing.vst3 --seconds 0");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("cannot load"), std::string::npos) << missing.output;
}

TEST(EditorTool, ShowsTheBundlesEditorRunsScriptsAndSavesAScreenshot) {
  const std::string shot = qeqtest::ArtifactPath("quenrileq_editor.png");
  std::error_code ignored;
  std::filesystem::remove(shot, ignored);
  const ToolRun run = runTool(std::string("--plugin '") + QEQ_BUNDLE_PATH +
                          "' --seconds 6 --signal sine:440 --screenshot '" + shot +
                          "' --eval '1 + 2' --eval 'typeof getParameterObject'");
  if (run.status == 1 && run.output.find("offers no editor") != std::string::npos)
    GTEST_SKIP() << "the controller does not create its editor view yet";
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(("\n" + run.output).find("\n3\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\"function\""), std::string::npos) << run.output;

  QuenrilEQ::editorhost::RgbImage image;
  ASSERT_TRUE(QuenrilEQ::editorhost::ReadPng(shot, image));
  EXPECT_EQ(image.width, 1400);
  EXPECT_EQ(image.height, 900);
  const qeqtest::ImageFacts facts = qeqtest::FactsOf(image, QuenrilEQ::editorhost::EditorFrame::kBackground);
  EXPECT_GT(facts.distinctColours, 20) << "blank or single-colour editor";
  EXPECT_LT(facts.fractionLikeBackground, 0.01);
}

}  // namespace
