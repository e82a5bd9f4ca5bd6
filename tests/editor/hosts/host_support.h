// What the toolkit hosts of these tests share: the plug-in as a host loads
// it, its editor in a window of the host's, scripts in the page, input
// through the X server (XTest: as a user's mouse and keyboard would), and the
// browser helper processes that are children of this host.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "glib_plug_frame.h"
#include "module.h"
#include "plugin_instance.h"

#undef None

namespace qeqhost {

/// The bundle loaded and one instance created, with a recording component
/// handler; empty pointers (and a message on stderr) when that failed.
struct Plugin {
  Plugin();
  std::shared_ptr<QuenrilEQ::host::Module> module;
  std::unique_ptr<QuenrilEQ::host::PluginInstance> instance;
};

/// One opening of the plug-in's editor in the host window `parent`:
/// createView, setFrame, attached; removed and released on destruction.
class Editor {
 public:
  Editor(Steinberg::Vst::IEditController* controller, GlibPlugFrame* frame, unsigned long parent);
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  bool Attached() const { return attached_; }
  /// Adds a script to every document created from now on.
  void AddInitScript(const std::string& script);
  /// Runs a script in the page and waits for its result ("timeout" if none).
  nlohmann::json Eval(const std::string& script, int timeoutMs = 5000);
  /// Waits until the script's result is truthy.
  bool WaitFor(const std::string& script, int timeoutMs = 30000);
  /// Waits until the shipped page has read all its values.
  bool WaitUntilReady() { return WaitFor("document.body && document.body.dataset.ready === 'true'"); }

 private:
  Steinberg::IPtr<Steinberg::IPlugView> view_;
  bool attached_ = false;
};

/// An init script that records every key the page sees in window.__keys.
constexpr const char* kKeyRecorder =
    "window.__keys = []; window.addEventListener('keydown', e => window.__keys.push(e.key), true);";

/// Child processes of this host that run the browser helper, zombies included.
std::vector<pid_t> HelperChildren();
/// Pumps the main loop until no helper child is left; false after timeoutMs.
bool NoHelperChildrenWithin(int timeoutMs);

/// Moves the pointer to (x, y) inside `window`, as the user's mouse would.
void PointerTo(Display* display, Window window, int x, int y);
/// Presses and releases the left button `count` times in quick succession.
void Click(Display* display, int count);
/// Presses and releases the key of each keysym name ("q", "Return").
void Type(Display* display, const std::vector<std::string>& keysyms);

/// Where the shipped page's graph has empty space: (x, y) in page pixels.
struct PagePoint {
  int x = -1, y = -1;
};
PagePoint EmptyGraphPoint(Editor& editor);

}  // namespace qeqhost
