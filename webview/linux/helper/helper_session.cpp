#include "helper_session.h"

#include <glib-unix.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

namespace webbridge {

using ipc::MessageType;
using nlohmann::json;

namespace {

// Tells the plug-in when a script it wants a result for will never run:
// WebKit destroys the callback of such a script without calling it.
class DroppedNotice {
 public:
  DroppedNotice(ipc::FrameChannel& channel, std::uint32_t id) : channel_(&channel), id_(id) {}
  ~DroppedNotice() {
    if (channel_) channel_->Send(MessageType::EvalDropped, ipc::WithNumber(id_));
  }
  DroppedNotice(const DroppedNotice&) = delete;
  DroppedNotice& operator=(const DroppedNotice&) = delete;
  void Answered() { channel_ = nullptr; }

 private:
  ipc::FrameChannel* channel_;
  std::uint32_t id_;
};

}  // namespace

HelperSession::HelperSession(int fd) : channel_(fd) {}

HelperSession::~HelperSession() {
  // Scripts still pending report themselves dropped while the channel lives.
  browser_.reset();
  for (guint* watch : {&socketWatch_, &writeWatch_, &hostWatch_})
    if (*watch) g_source_remove(*watch);
  if (hostPidFd_ >= 0) close(hostPidFd_);
  if (loop_) g_main_loop_unref(loop_);
}

int HelperSession::Run() {
  loop_ = g_main_loop_new(nullptr, FALSE);
  socketWatch_ = g_unix_fd_add(channel_.Fd(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                               &HelperSession::onSocket, this);
  // The socket closing is the sign that the host has gone; a descriptor of
  // the host process backs it up, should a child of the host have inherited
  // the host's end.
  const pid_t host = getppid();
  if (host == 1) return kEnded;  // orphaned before we even started
  hostPidFd_ = static_cast<int>(syscall(SYS_pidfd_open, host, 0));
  if (hostPidFd_ >= 0) hostWatch_ = g_unix_fd_add(hostPidFd_, G_IO_IN, &HelperSession::onHostEnded, this);
  if (!ended_) g_main_loop_run(loop_);
  return status_;
}

void HelperSession::end(int status) {
  if (ended_) return;
  ended_ = true;
  status_ = status;
  if (loop_) g_main_loop_quit(loop_);
}

gboolean HelperSession::onSocket(gint, GIOCondition, gpointer self) {
  auto* session = static_cast<HelperSession*>(self);
  const bool open = session->channel_.Receive([session](ipc::Message&& m) {
    if (!session->ended_) session->handle(std::move(m));
  });
  if (open && !session->ended_) return G_SOURCE_CONTINUE;
  session->socketWatch_ = 0;
  session->end(session->status_);
  return G_SOURCE_REMOVE;
}

gboolean HelperSession::onWritable(gint, GIOCondition, gpointer self) {
  auto* session = static_cast<HelperSession*>(self);
  if (!session->channel_.Flush()) session->end(kEnded);
  if (session->channel_.HasQueued() && !session->ended_) return G_SOURCE_CONTINUE;
  session->writeWatch_ = 0;
  return G_SOURCE_REMOVE;
}

gboolean HelperSession::onHostEnded(gint, GIOCondition, gpointer self) {
  auto* session = static_cast<HelperSession*>(self);
  session->hostWatch_ = 0;
  session->end(kEnded);
  return G_SOURCE_REMOVE;
}

void HelperSession::send(MessageType type, std::string_view payload) {
  if (!channel_.Send(type, payload)) {
    end(kEnded);  // the plug-in is gone, or stopped reading long ago
    return;
  }
  if (channel_.HasQueued() && !writeWatch_)
    writeWatch_ = g_unix_fd_add(channel_.Fd(), G_IO_OUT, &HelperSession::onWritable, this);
}

void HelperSession::handle(ipc::Message&& message) {
  if (!browser_ && message.type != MessageType::Start) {
    end(kBadStart);  // the plug-in always starts with Start
    return;
  }
  switch (message.type) {
    case MessageType::Start:
      if (browser_ || !start(message.payload)) end(status_ == kEnded ? kBadStart : status_);
      break;
    case MessageType::AddInitScript:
      browser_->AddInitScript(message.payload);
      break;
    case MessageType::Navigate:
      browser_->Navigate(message.payload);
      break;
    case MessageType::EvalJS:
      evalJS(message.payload);
      break;
    case MessageType::SetTitle:
      browser_->SetTitle(message.payload);
      break;
    case MessageType::SetVisible:
      browser_->SetVisible(!message.payload.empty() && message.payload[0] != 0);
      break;
    case MessageType::Quit:
      end(kEnded);
      break;
    default:
      break;
  }
}

bool HelperSession::start(const std::string& settings) {
  unsigned long window = 0;
  std::string profile;
  bool debug = false;
  try {
    const json s = json::parse(settings);
    if (s.at("version").get<std::uint32_t>() != ipc::kProtocolVersion) return false;
    window = s.at("window").get<unsigned long>();
    profile = s.at("profile").get<std::string>();
    debug = s.at("debug").get<bool>();
  } catch (const json::exception&) {
    return false;
  }
  if (window == 0 || !EnsureGtk()) return false;
  browser_ = std::make_unique<WebKitBrowser>(
      window, debug, profile,
      [this](const std::string& text) { send(MessageType::PageMessage, text); },
      [this] { end(kEnded); });  // our window went with the host's
  if (!browser_->HasWindow()) return false;
  if (!browser_->CreateBrowser()) {
    status_ = kNoBrowser;
    return false;
  }
  send(MessageType::Hello, ipc::WithNumber(ipc::kProtocolVersion,
                                           ipc::WithNumber(static_cast<std::uint32_t>(browser_->WindowId()))));
  return true;
}

void HelperSession::evalJS(std::string_view payload) {
  std::uint32_t id = 0;
  std::string_view script;
  if (!ipc::SplitNumber(payload, id, script)) return;
  if (id == 0) {
    browser_->EvalJS(std::string(script), nullptr);
    return;
  }
  auto notice = std::make_shared<DroppedNotice>(channel_, id);
  browser_->EvalJS(std::string(script), [this, id, notice](const json& result) {
    notice->Answered();
    send(MessageType::EvalResult,
         ipc::WithNumber(id, result.dump(-1, ' ', false, json::error_handler_t::replace)));
  });
}

}  // namespace webbridge
