// The Linux web view as the plug-in sees it: a Webview whose browser runs in
// a helper process of ours. GTK and WebKit cannot share a process with hosts
// built on GTK 2 or GTK 4, and a browser crash must not take the host down,
// so the module itself loads no toolkit: page messages and evaluated scripts
// travel over a socket pair, the helper's window sits in a wrapper window of
// ours inside the host's window, and the host's run loop drives everything.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame_channel.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "run_loop_hook.h"
#include "webview/webview.h"
#include "x11_embed_wrapper.h"

namespace webbridge {

/// Every operation runs on the host's user-interface thread and returns
/// without waiting for the helper. When the helper cannot start, crashes or
/// breaks the protocol, scripts in flight are dropped uncalled and the host
/// carries on. A helper that crashed after starting is replaced at once, at
/// most kMaxRestarts times per kRestartWindow; otherwise the editor area stays
/// empty until it is shown again (hosts close editors by hiding them) or
/// attached again, which starts a new helper.
class HelperWebview : public Webview {
 public:
  using ReadyCallback = std::function<void(Webview*)>;
  /// Outbox flushing: frames the socket could not take wait at most this long.
  static constexpr Steinberg::Linux::TimerInterval kHousekeepingMs = 25;
  static constexpr std::size_t kMaxRestarts = 3;
  static constexpr std::chrono::seconds kRestartWindow{60};

  /// parent: the host's X11 window; runLoop: the host's, which drives us.
  HelperWebview(unsigned long parent, bool debug, ReadyCallback ready,
                Steinberg::Linux::IRunLoop* runLoop);
  /// For tests and fuzzing: the "helper" is whatever holds the other end of
  /// the SOCK_SEQPACKET socket fd (taken over); no window, process or run loop.
  explicit HelperWebview(int connectedFd);
  ~HelperWebview() override;

  /// Creates the wrapper window, starts the helper, hooks into the run loop,
  /// and calls the ready callback (at once: the helper takes the bindings'
  /// scripts and the page address in order whenever it gets to them).
  /// False when any of that fails; nothing is left behind then.
  bool CreateBrowser();

  void SetTitle(const std::string& title) override;
  /// None and Fixed size the wrapper (the helper's window follows it);
  /// an embedded window has no frame to drag, so Min and Max do nothing.
  void SetViewSize(int width, int height, SizeHint hint) override;
  /// Contents/Resources/ of the bundle holding this module.
  std::string GetResourcesPath() override;
  void Navigate(const std::string& url) override;
  void EvalJS(const std::string& script,
              std::function<void(const nlohmann::json&)> callback) override;
  void AddInitScript(const std::string& script) override;
  /// The wrapper window's XID, null without one.
  void* GetNativeWindow() override;
  /// Asks the helper to end, lets the reaper collect it, destroys the
  /// wrapper and leaves the run loop. The object stays, inert.
  void Terminate() override;
  void SetVisible(bool visible) override;
  void Dispatch(std::function<void()> fn) override;

  /// True while a helper is connected.
  bool HelperConnected() const { return channel_ && channel_->IsOpen(); }
  /// The helper's process id, or -1.
  pid_t HelperPid() const { return pid_; }
  /// Reads and handles what the helper sent (the run loop calls this when
  /// the socket is readable).
  void OnHelperReadable();

 private:
  bool startHelper();
  void onMessage(ipc::Message&& message);
  void onWindowEvents();
  void onTimer();
  void send(ipc::MessageType type, std::string_view payload);
  void helperGone();
  bool hook(Steinberg::IPtr<RunLoopHook>& slot, int fd, std::function<void()> fire);
  void unhook(Steinberg::IPtr<RunLoopHook>& slot, bool timer);

  unsigned long parent_ = 0;
  bool debug_ = false;
  ReadyCallback ready_;
  Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
  std::unique_ptr<X11EmbedWrapper> wrapper_;
  std::unique_ptr<ipc::FrameChannel> channel_;
  pid_t pid_ = -1;
  Steinberg::IPtr<RunLoopHook> socketHook_, windowHook_, timerHook_;
  bool greeted_ = false;     // the current helper said Hello: it started
  bool restartDue_ = false;  // replace the crashed helper at the next tick
  std::deque<std::chrono::steady_clock::time_point> restarts_;
  std::map<std::uint32_t, std::function<void(const nlohmann::json&)>> callbacks_;
  std::uint32_t lastCallbackId_ = 0;
  // What a replacement helper needs to show the same page.
  std::vector<std::string> initScripts_;
  std::string title_;
  std::string address_;
  bool visible_ = true;
};

/// The browser profile folder of this module (see ProfileFolderFor), or
/// empty when none can be formed. Any thread.
std::string BrowserProfileFolder();

}  // namespace webbridge
