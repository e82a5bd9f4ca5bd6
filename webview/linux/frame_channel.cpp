#include "frame_channel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace webbridge {
namespace ipc {

namespace {

enum class SendOutcome { Sent, WouldBlock, Failed };

SendOutcome sendFrame(int fd, const std::string& frame) {
  for (;;) {
    // MSG_NOSIGNAL: a dead peer must not raise SIGPIPE in the host process.
    const ssize_t n = send(fd, frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return SendOutcome::Sent;  // datagrams go whole or not at all
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? SendOutcome::WouldBlock : SendOutcome::Failed;
  }
}

}  // namespace

FrameChannel::FrameChannel(int fd) : fd_(fd) {
  if (fd_ < 0) return;
  const int flags = fcntl(fd_, F_GETFL);
  if (flags >= 0) fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

FrameChannel::~FrameChannel() { Close(); }

void FrameChannel::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  outbox_.clear();
  queuedBytes_ = 0;
}

bool FrameChannel::Send(MessageType type, std::string_view payload) {
  if (fd_ < 0) return false;
  for (std::string& frame : SplitIntoFrames(type, payload)) {
    queuedBytes_ += frame.size();
    outbox_.push_back(std::move(frame));
  }
  if (!Flush()) return false;
  if (queuedBytes_ > kMaxQueuedBytes) {
    Close();
    return false;
  }
  return true;
}

bool FrameChannel::Flush() {
  while (fd_ >= 0 && !outbox_.empty()) {
    switch (sendFrame(fd_, outbox_.front())) {
      case SendOutcome::Sent:
        queuedBytes_ -= outbox_.front().size();
        outbox_.pop_front();
        break;
      case SendOutcome::WouldBlock:
        return true;
      case SendOutcome::Failed:
        Close();
        return false;
    }
  }
  return fd_ >= 0;
}

bool FrameChannel::Receive(const std::function<void(Message&&)>& onMessage) {
  if (buffer_.empty()) buffer_.resize(kMaxFrameBytes);
  for (int frames = 0; fd_ >= 0 && frames < kFramesPerReceive; ++frames) {
    // MSG_TRUNC makes recv report a datagram's real length, so an oversized
    // frame is recognised instead of silently cut.
    const ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Nothing to read is normal: some run loops call back spuriously.
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      Close();
      return false;
    }
    // Zero is the peer hanging up (every frame has a header).
    if (n == 0 || static_cast<std::size_t>(n) > buffer_.size()) {
      Close();
      return false;
    }
    switch (assembler_.Add(buffer_.data(), static_cast<std::size_t>(n))) {
      case MessageAssembler::Result::Partial:
        break;
      case MessageAssembler::Result::Complete:
        onMessage(assembler_.Take());
        break;
      case MessageAssembler::Result::Malformed:
        Close();
        return false;
    }
  }
  return fd_ >= 0;
}

}  // namespace ipc
}  // namespace webbridge
