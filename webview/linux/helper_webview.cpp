#include "helper_webview.h"

#include <cstdlib>
#include <utility>

#include "helper_process.h"
#include "module_paths.h"

namespace webbridge {

using nlohmann::json;
using ipc::MessageType;

namespace {

// The wrapper's size until the ready callback sizes the view.
constexpr int kInitialWidth = 640;
constexpr int kInitialHeight = 480;

}  // namespace

std::string BrowserProfileFolder() {
  return ProfileFolderFor(ModuleFilePath(), std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

HelperWebview::HelperWebview(unsigned long parent, bool debug, ReadyCallback ready,
                             Steinberg::Linux::IRunLoop* runLoop)
    : parent_(parent), debug_(debug), ready_(std::move(ready)), runLoop_(runLoop) {}

HelperWebview::HelperWebview(int connectedFd)
    : channel_(std::make_unique<ipc::FrameChannel>(connectedFd)) {}

HelperWebview::~HelperWebview() { Terminate(); }

bool HelperWebview::CreateBrowser() {
  if (!runLoop_ || wrapper_ || channel_) return false;
  wrapper_ = X11EmbedWrapper::Create(static_cast<std::uint32_t>(parent_), kInitialWidth, kInitialHeight);
  if (!wrapper_) return false;
  if (!hook(windowHook_, wrapper_->Fd(), [this] { onWindowEvents(); }) ||
      !hook(timerHook_, -1, [this] { onTimer(); }) || !startHelper()) {
    Terminate();
    return false;
  }
  if (ready_) ready_(this);
  return true;
}

bool HelperWebview::startHelper() {
  const SpawnedHelper helper = SpawnHelper(HelperProgramPath());
  if (helper.fd < 0) return false;
  pid_ = helper.pid;
  greeted_ = false;
  channel_ = std::make_unique<ipc::FrameChannel>(helper.fd);
  if (!hook(socketHook_, channel_->Fd(), [this] { OnHelperReadable(); })) {
    helperGone();
    return false;
  }
  const json start = {{"version", ipc::kProtocolVersion},
                      {"window", wrapper_->Window()},
                      {"profile", BrowserProfileFolder()},
                      {"debug", debug_}};
  send(MessageType::Start, start.dump(-1, ' ', false, json::error_handler_t::replace));
  // A helper started after a crash gets everything the last one had, in the
  // same order (nothing, for the first one: the ready callback follows).
  for (const std::string& script : initScripts_) send(MessageType::AddInitScript, script);
  if (!title_.empty()) send(MessageType::SetTitle, title_);
  if (!visible_) send(MessageType::SetVisible, std::string(1, '\0'));
  if (!address_.empty()) send(MessageType::Navigate, address_);
  return HelperConnected();
}

void HelperWebview::onTimer() {
  if (HelperConnected()) {
    if (!channel_->Flush()) helperGone();
  } else if (restartDue_) {
    restartDue_ = false;
    startHelper();
  }
}

bool HelperWebview::hook(Steinberg::IPtr<RunLoopHook>& slot, int fd, std::function<void()> fire) {
  slot = Steinberg::owned(new RunLoopHook(std::move(fire)));
  const Steinberg::tresult result = fd < 0 ? runLoop_->registerTimer(slot, kHousekeepingMs)
                                           : runLoop_->registerEventHandler(slot, fd);
  if (result == Steinberg::kResultOk) return true;
  slot->Detach();
  slot = nullptr;
  return false;
}

void HelperWebview::unhook(Steinberg::IPtr<RunLoopHook>& slot, bool timer) {
  if (!slot) return;
  slot->Detach();
  // Before the descriptor closes: its number will be reused.
  if (runLoop_) {
    if (timer)
      runLoop_->unregisterTimer(slot);
    else
      runLoop_->unregisterEventHandler(slot);
  }
  slot = nullptr;
}

void HelperWebview::send(MessageType type, std::string_view payload) {
  if (channel_ && !channel_->Send(type, payload)) helperGone();
}

void HelperWebview::helperGone() {
  const bool crashed = pid_ > 0 && greeted_;
  unhook(socketHook_, false);
  // Closed, not destroyed: this may run inside the channel's own Receive.
  if (channel_) channel_->Close();
  if (pid_ > 0) RetireHelper(pid_);
  pid_ = -1;
  // Scripts in flight will never be answered; their callbacks are dropped
  // uncalled, as the bridge promises.
  callbacks_.clear();
  if (!crashed) return;
  // A helper that ran and then died is replaced from the next timer tick
  // (not from here: this may run inside the channel's Receive). One that
  // keeps dying is left alone until the editor is shown again.
  const auto now = std::chrono::steady_clock::now();
  while (!restarts_.empty() && now - restarts_.front() > kRestartWindow) restarts_.pop_front();
  if (restarts_.size() < kMaxRestarts) {
    restarts_.push_back(now);
    restartDue_ = true;
  }
}

void HelperWebview::Terminate() {
  if (HelperConnected()) channel_->Send(MessageType::Quit, {});
  greeted_ = false;  // asked to go: no crash, no restart
  helperGone();
  restartDue_ = false;
  unhook(timerHook_, true);
  unhook(windowHook_, false);
  // Destroying the wrapper also takes the helper's window inside it.
  wrapper_.reset();
}

void HelperWebview::OnHelperReadable() {
  if (!HelperConnected()) return;
  if (!channel_->Receive([this](ipc::Message&& m) { onMessage(std::move(m)); })) helperGone();
}

void HelperWebview::onMessage(ipc::Message&& message) {
  std::uint32_t number = 0;
  std::string_view rest;
  switch (message.type) {
    case MessageType::PageMessage:
      // The page's call goes through the bridge like any other: only bound
      // functions run, whatever the text says.
      OnMessage(message.payload);
      break;
    case MessageType::EvalResult:
    case MessageType::EvalDropped: {
      if (!ipc::SplitNumber(message.payload, number, rest)) break;
      auto found = callbacks_.find(number);
      if (found == callbacks_.end()) break;
      auto callback = std::move(found->second);
      callbacks_.erase(found);
      if (message.type == MessageType::EvalDropped || !callback) break;
      const json result = json::parse(rest, nullptr, false);
      try {
        callback(result.is_discarded() ? json() : result);
      } catch (...) {
        // Must not unwind into the host's run loop.
      }
      break;
    }
    case MessageType::Hello:
      if (!ipc::SplitNumber(message.payload, number, rest) || number != ipc::kProtocolVersion) {
        // A helper from another build would misread us: it goes, and the
        // editor stays empty.
        channel_->Send(MessageType::Quit, {});
        helperGone();
        break;
      }
      greeted_ = true;
      break;
    default:
      break;  // nothing else is meant for this side
  }
}

void HelperWebview::onWindowEvents() {
  if (!wrapper_) return;
  const X11EmbedWrapper::Changes changes = wrapper_->HandleEvents();
  if (changes.parentDestroyed) {
    // The host destroyed its window and ours with it; the helper's window is
    // gone too, and so is any reason for the helper to run.
    Terminate();
    return;
  }
  if (!changes.visibilityChanged) return;
  // Hidden editors (hosts close them by unmapping an ancestor) stop drawing.
  SetVisible(changes.viewable);
  // Reopening an editor whose helper died starts a new one.
  if (changes.viewable && !HelperConnected()) startHelper();
}

void HelperWebview::SetTitle(const std::string& title) {
  title_ = title;
  send(MessageType::SetTitle, title);
}

void HelperWebview::SetViewSize(int width, int height, SizeHint hint) {
  if (hint == SizeHint::Min || hint == SizeHint::Max) return;
  if (wrapper_) wrapper_->Resize(width, height);
}

std::string HelperWebview::GetResourcesPath() { return ResourcesFolderFor(ModuleFilePath()); }

void HelperWebview::Navigate(const std::string& url) {
  address_ = url;
  send(MessageType::Navigate, url);
}

void HelperWebview::EvalJS(const std::string& script, std::function<void(const json&)> callback) {
  if (!HelperConnected()) return;  // lost, as promised
  std::uint32_t id = 0;
  if (callback) {
    if (++lastCallbackId_ == 0) ++lastCallbackId_;  // 0 means "no result wanted"
    id = lastCallbackId_;
    callbacks_[id] = std::move(callback);
  }
  send(MessageType::EvalJS, ipc::WithNumber(id, script));
}

void HelperWebview::AddInitScript(const std::string& script) {
  initScripts_.push_back(script);
  send(MessageType::AddInitScript, script);
}

void* HelperWebview::GetNativeWindow() {
  if (!wrapper_) return nullptr;
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(wrapper_->Window()));
}

void HelperWebview::SetVisible(bool visible) {
  visible_ = visible;
  send(MessageType::SetVisible, std::string(1, visible ? '\1' : '\0'));
}

void HelperWebview::Dispatch(std::function<void()> fn) {
  if (!fn) return;
  try {
    fn();
  } catch (...) {
    // Callers run from the host's run loop: nothing may unwind into it.
  }
}

}  // namespace webbridge
