// quenrileq-editor: a small stand-alone host for QuenrilEQ's editor. Loads a
// bundle, creates the processor/controller pair and the editor view, puts the
// view into an X11 window of its own and runs it, optionally with a generated
// signal, evaluated scripts and a closing screenshot.
//
//   quenrileq-editor [--plugin BUNDLE] [--seconds S] [--screenshot FILE]
//                    [--eval JS]... [--signal noise|sine:HZ]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "editor_frame.h"
#include "module.h"
#include "plugin_instance.h"
#include "signal_feed.h"
#include "webview/plugin_view.h"
#include "window_capture.h"

using namespace Steinberg;
using namespace QuenrilEQ;

namespace {

struct Options {
  std::string plugin;
  double seconds = -1.0;  // < 0: until the window is closed
  std::string screenshot;
  std::vector<std::string> scripts;
  editorhost::SignalSpec signal;
};

void usage() {
  std::fprintf(stderr,
               "usage: quenrileq-editor [--plugin BUNDLE] [--seconds S] [--screenshot FILE]\n"
               "                        [--eval JS]... [--signal noise|sine:HZ]\n");
}

// The bundle built beside this program: build/bin/.. /QuenrilEQ.vst3.
std::string defaultBundle() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "QuenrilEQ.vst3";
  return (self.parent_path().parent_path() / "QuenrilEQ.vst3").string();
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--plugin" && hasValue) {
      o.plugin = argv[++i];
    } else if (arg == "--seconds" && hasValue) {
      char* end = nullptr;
      o.seconds = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(o.seconds >= 0.0)) return false;
    } else if (arg == "--screenshot" && hasValue) {
      o.screenshot = argv[++i];
    } else if (arg == "--eval" && hasValue) {
      o.scripts.push_back(argv[++i]);
    } else if (arg == "--signal" && hasValue) {
      if (!editorhost::ParseSignalSpec(argv[++i], o.signal)) return false;
    } else {
      return false;
    }
  }
  if (o.plugin.empty()) o.plugin = defaultBundle();
  return true;
}

// The web view inside a view made by the plug-in module, or null.
webbridge::Webview* webviewOf(IPlugView* view) {
  FUnknownPtr<webbridge::IWebviewAccess> access(view);
  return access ? access->getWebview() : nullptr;
}

// Runs the --eval scripts once the page has finished loading, printing each
// result as one line of JSON.
class ScriptRunner {
 public:
  explicit ScriptRunner(std::vector<std::string> scripts) : scripts_(std::move(scripts)) {}

  void Step(webbridge::Webview* page) {
    if (!page || done_ || scripts_.empty() || asking_) return;
    if (!loaded_) {
      asking_ = true;
      page->EvalJS("document.readyState", [this](const nlohmann::json& state) {
        asking_ = false;
        loaded_ = state == "complete";
      });
      return;
    }
    done_ = true;
    for (const std::string& script : scripts_)
      page->EvalJS(script, [](const nlohmann::json& result) {
        std::cout << result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
      });
  }

 private:
  std::vector<std::string> scripts_;
  bool asking_ = false;
  bool loaded_ = false;
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    usage();
    return 2;
  }
  std::string error;
  auto module = host::Module::load(options.plugin, &error);
  if (!module) {
    std::fprintf(stderr, "quenrileq-editor: cannot load %s: %s\n", options.plugin.c_str(), error.c_str());
    return 1;
  }
  auto instance = host::PluginInstance::createFirst(module, &error);
  if (!instance || !instance->controller()) {
    std::fprintf(stderr, "quenrileq-editor: cannot create the plug-in: %s\n", error.c_str());
    return 1;
  }
  editorhost::SignalFeed audio(*instance, options.signal);

  IPtr<IPlugView> view = owned(instance->controller()->createView(Vst::ViewType::kEditor));
  ViewRect size;
  if (!view || view->getSize(&size) != kResultOk || size.getWidth() < 1 || size.getHeight() < 1) {
    std::fprintf(stderr, "quenrileq-editor: the plug-in offers no editor\n");
    return 1;
  }
  auto frame = owned(new editorhost::EditorFrame(size.getWidth(), size.getHeight(), "QuenrilEQ"));
  if (!frame->Ok()) {
    std::fprintf(stderr, "quenrileq-editor: cannot open a window (is DISPLAY set?)\n");
    return 1;
  }
  view->setFrame(frame);
  // X11 hosts pass the window id itself as the "pointer".
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(frame->WindowId()));
  if (view->attached(parent, kPlatformTypeX11EmbedWindowID) != kResultOk) {
    std::fprintf(stderr, "quenrileq-editor: the editor refused the window\n");
    return 1;
  }

  ScriptRunner runner(options.scripts);
  const auto start = std::chrono::steady_clock::now();
  auto secondsSoFar = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  while (!frame->CloseRequested() && (options.seconds < 0 || secondsSoFar() < options.seconds)) {
    frame->RunFor(10);
    audio.Pump();
    runner.Step(webviewOf(view));
  }

  int status = 0;
  if (!options.screenshot.empty()) {
    editorhost::RgbImage image;
    if (!editorhost::CaptureWindow(frame->XDisplay(), frame->WindowId(), image) ||
        !editorhost::WritePng(image, options.screenshot)) {
      std::fprintf(stderr, "quenrileq-editor: cannot save %s\n", options.screenshot.c_str());
      status = 1;
    }
  }
  view->removed();
  view->setFrame(nullptr);
  view = nullptr;
  frame->RunFor(50);  // let the browser finish closing
  return status;
}
