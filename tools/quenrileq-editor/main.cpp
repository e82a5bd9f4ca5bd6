// quenrileq-editor: a small stand-alone host for QuenrilEQ's editor. Loads a
// bundle, creates the processor/controller pair and the editor view, puts the
// view into an X11 window of its own and runs it, optionally with a generated
// signal, evaluated scripts and a closing screenshot.
//
//   quenrileq-editor [--plugin BUNDLE] [--seconds S] [--screenshot FILE]
//                    [--eval JS]... [--signal noise|sine:HZ|burst:HZ]
//                    [--init JS]... [--wait-for JS] [--linger S]
//                    [--exit-eval JS]... [--print-state]
//
// --eval scripts run once the page has loaded (and, with --wait-for, once
// that script answers truthy; polled every 100 ms); each result is printed as
// one line of JSON. Scripts run as plain expressions: a promise is not waited
// for. --init scripts run in the page before its own scripts (for instance to
// collect errors). --linger ends the run S seconds after the --eval scripts
// ran (--seconds still bounds the whole run). --exit-eval scripts run when the
// run ends, before the screenshot; their results are printed like --eval's.
// --print-state prints the processor's own state (getState, read back as
// normalised values keyed by parameter id) as one line, "processor-state
// before {...}" just before the --eval scripts run and "processor-state after
// {...}" at the end, so that edits made in the page can be traced to the
// audio side. Exit status: 0, 1 on failure, 2 for a bad command line, 3 when
// the --eval scripts never ran (page not loaded, or --wait-for never truthy).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bundle_location.h"
#include "editor_frame.h"
#include "module.h"
#include "plugin_instance.h"
#include "signal_feed.h"
#include "state_readout.h"
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
  std::vector<std::string> initScripts;
  std::string waitFor;
  double linger = -1.0;  // < 0: run for --seconds
  std::vector<std::string> exitScripts;
  bool printState = false;
};

void usage() {
  std::fprintf(stderr,
               "usage: quenrileq-editor [--plugin BUNDLE] [--seconds S] [--screenshot FILE]\n"
               "                        [--eval JS]... [--signal noise|sine:HZ|burst:HZ]\n"
               "                        [--init JS]... [--wait-for JS] [--linger S]\n"
               "                        [--exit-eval JS]... [--print-state]\n");
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
    } else if (arg == "--init" && hasValue) {
      o.initScripts.push_back(argv[++i]);
    } else if (arg == "--wait-for" && hasValue) {
      o.waitFor = argv[++i];
    } else if (arg == "--linger" && hasValue) {
      char* end = nullptr;
      o.linger = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(o.linger >= 0.0)) return false;
    } else if (arg == "--exit-eval" && hasValue) {
      o.exitScripts.push_back(argv[++i]);
    } else if (arg == "--print-state") {
      o.printState = true;
    } else {
      return false;
    }
  }
  if (o.plugin.empty()) o.plugin = host::defaultQuenrilEQBundle();
  return true;
}

// The web view inside a view made by the plug-in module, or null.
webbridge::Webview* webviewOf(IPlugView* view) {
  FUnknownPtr<webbridge::IWebviewAccess> access(view);
  return access ? access->getWebview() : nullptr;
}

void printResult(const nlohmann::json& result) {
  std::cout << result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

// Runs the --eval scripts once the page has finished loading and the
// --wait-for script (if any) answers truthy, printing each result as one line
// of JSON.
class ScriptRunner {
 public:
  ScriptRunner(std::vector<std::string> scripts, std::string waitFor)
      : scripts_(std::move(scripts)), waitFor_(std::move(waitFor)) {}

  /// Asks the page, now and then, whether it is ready. [UI thread]
  void Poll(webbridge::Webview* page) {
    const auto now = std::chrono::steady_clock::now();
    if (!page || Ready() || done_ || now < nextAsk_) return;
    // Every 100 ms once answered; a question lost with a replaced document
    // is asked again after a second.
    nextAsk_ = now + std::chrono::seconds(1);
    const std::string probe = loaded_ ? "!!(" + waitFor_ + ")" : "document.readyState";
    page->EvalJS(probe, [this](const nlohmann::json& answer) {
      nextAsk_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
      if (!loaded_) {
        loaded_ = answer == "complete";
        if (loaded_) nextAsk_ = {};
      } else if (answer == true) {
        waitFor_.clear();
      }
    });
  }

  /// Loaded, and the --wait-for script (if any) answered truthy.
  bool Ready() const { return loaded_ && waitFor_.empty(); }

  /// Starts the scripts (once). [UI thread]
  void Run(webbridge::Webview* page) {
    if (!page || done_ || !Ready()) return;
    done_ = true;
    for (const std::string& script : scripts_) page->EvalJS(script, printResult);
  }

  bool Done() const { return done_; }

 private:
  std::vector<std::string> scripts_;
  std::string waitFor_;  // cleared once it answered truthy
  bool loaded_ = false;
  bool done_ = false;
  std::chrono::steady_clock::time_point nextAsk_{};
};

// Prints the processor's state as "processor-state WHEN {"id": value, ...}".
void printProcessorState(const host::PluginInstance& instance, const char* when) {
  std::vector<char> bytes;
  std::vector<editorhost::StateValue> values;
  nlohmann::json out = nlohmann::json::object();
  if (instance.getState(bytes) == kResultOk && editorhost::ReadProcessorState(bytes, values))
    for (const auto& [id, value] : values) out[std::to_string(id)] = value;
  std::cout << "processor-state " << when << ' ' << out.dump() << std::endl;
}

// Evaluates the --exit-eval scripts, printing their results in order; gives
// the page up to two seconds in all.
void runExitScripts(const std::vector<std::string>& scripts, webbridge::Webview* page,
                    editorhost::EditorFrame& frame) {
  if (!page || scripts.empty()) return;
  auto results = std::make_shared<std::vector<nlohmann::json>>(scripts.size(), "timeout");
  auto answered = std::make_shared<std::size_t>(0);
  for (std::size_t i = 0; i < scripts.size(); ++i)
    page->EvalJS(scripts[i], [results, answered, i](const nlohmann::json& value) {
      (*results)[i] = value;
      ++*answered;
    });
  frame.RunUntil([&] { return *answered == scripts.size(); }, 2000);
  for (const nlohmann::json& result : *results) printResult(result);
}

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

  // The page is only requested so far (the browser loads it from the run
  // loop), so scripts added now still run before the page's own.
  if (webbridge::Webview* page = webviewOf(view))
    for (const std::string& script : options.initScripts) page->AddInitScript(script);

  const bool waits = !options.scripts.empty() || !options.waitFor.empty();
  ScriptRunner runner(options.scripts, options.waitFor);
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  Clock::time_point lingerEnd = Clock::time_point::max();
  auto secondsSoFar = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  while (!frame->CloseRequested() && (options.seconds < 0 || secondsSoFar() < options.seconds) &&
         Clock::now() < lingerEnd) {
    frame->RunFor(10);
    audio.Pump();
    if (!waits || runner.Done()) continue;
    runner.Poll(webviewOf(view));
    if (runner.Ready()) {
      if (options.printState) printProcessorState(*instance, "before");
      runner.Run(webviewOf(view));
      if (options.linger >= 0)
        lingerEnd = Clock::now() + std::chrono::milliseconds(static_cast<long long>(options.linger * 1000));
    }
  }

  int status = 0;
  if (waits && !runner.Done()) {
    std::fprintf(stderr, "quenrileq-editor: the page was not ready for the --eval scripts\n");
    status = 3;
  }
  runExitScripts(options.exitScripts, webviewOf(view), *frame);
  if (options.printState) printProcessorState(*instance, "after");
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
