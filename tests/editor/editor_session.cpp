#include "editor_session.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "../controller/controller_test_support.h"
#include "helper_process.h"
#include "helper_webview.h"

namespace qeqtest {

using namespace Steinberg;

namespace {

// Controllers save their state under HOME and the browser keeps its profile
// under XDG_DATA_HOME: both go into a folder of this test run.
class TempUserFolders : public ::testing::Environment {
 public:
  void SetUp() override {
    home_ = std::make_unique<QuenrilEQ::testing::TempHome>();
    setenv("XDG_DATA_HOME", (home_->path() + "/data").c_str(), 1);
    // Views made in this program look for the helper beside this program,
    // not in the bundle.
    webbridge::SetHelperProgramPath(QEQ_HELPER_PROGRAM);
  }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<QuenrilEQ::testing::TempHome> home_;
};

const auto* const kFolders = ::testing::AddGlobalTestEnvironment(new TempUserFolders);

}  // namespace

std::string PageAddress(const std::string& name) {
  return std::string("file://") + QEQ_SOURCE_DIR + "/tests/editor/pages/" + name;
}

std::string ArtifactPath(const std::string& fileName) {
  const std::filesystem::path folder = std::filesystem::path(QEQ_SOURCE_DIR) / "artifacts" / "editor";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return (folder / fileName).string();
}

EditorSession::EditorSession()
    : controller_(owned(new QuenrilEQ::QuenrilEQController)),
      frame_(owned(new QuenrilEQ::editorhost::EditorFrame(1400, 900, "QuenrilEQ test"))) {
  EXPECT_EQ(controller_->initialize(nullptr), kResultOk);
  bindings_ = std::make_unique<webbridge::WebviewControllerBindings>(controller_.get());
  eqBindings_ = std::make_unique<QuenrilEQ::EqBindings>(controller_.get());
  presetBindings_ = std::make_unique<QuenrilEQ::PresetBindings>(controller_.get());
  EXPECT_TRUE(frame_->Ok()) << "no X display";
}

EditorSession::~EditorSession() {
  Close();
  frame_->RunFor(50);
  bindings_->UnsubscribeAll();
  controller_->terminate();
}

tresult EditorSession::Open(const std::string& page) {
  Close();
  std::vector<webbridge::Bindings*> sets = {bindings_.get(), eqBindings_.get(), presetBindings_.get()};
  view_ = owned(new webbridge::WebviewPluginView(controller_.get(), "QuenrilEQ", sets,
                                                 ViewRect(0, 0, 1400, 900), page));
  view_->setFrame(frame_);
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(frame_->WindowId()));
  return view_->attached(parent, kPlatformTypeX11EmbedWindowID);
}

void EditorSession::Close() {
  if (!view_) return;
  if (view_->isAttached()) view_->removed();
  view_->setFrame(nullptr);
  view_ = nullptr;
  bindings_->DetachWebview();
}

pid_t EditorSession::HelperPid() {
  auto* helper = dynamic_cast<webbridge::HelperWebview*>(view_ ? view_->GetWebview() : nullptr);
  return helper ? helper->HelperPid() : -1;
}

nlohmann::json EditorSession::Eval(const std::string& script, int timeoutMs) {
  webbridge::Webview* page = view_ ? view_->GetWebview() : nullptr;
  if (!page) return "no page";
  auto result = std::make_shared<nlohmann::json>("timeout");
  auto arrived = std::make_shared<bool>(false);
  page->EvalJS(script, [result, arrived](const nlohmann::json& value) {
    *result = value;
    *arrived = true;
  });
  frame_->RunUntil([&] { return *arrived; }, timeoutMs);
  return *result;
}

bool EditorSession::WaitFor(const std::string& script, int timeoutMs) {
  const std::string truthy = "!!(" + script + ")";
  return frame_->RunUntil([&] { return Eval(truthy, 1000) == true; }, timeoutMs);
}

CommandRun RunCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

bool EditorSession::EndsWithin(pid_t pid, int timeoutMs) {
  // A removed editor leaves nothing in the run loop that would wake it when
  // the helper ends, so look again every 20 ms.
  const auto gone = [pid] { return pid <= 0 || kill(pid, 0) != 0; };
  for (int waited = 0; waited < timeoutMs; waited += 20)
    if (frame_->RunUntil(gone, 20)) return true;
  return gone();
}

}  // namespace qeqtest
