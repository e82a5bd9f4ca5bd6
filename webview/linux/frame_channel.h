// One end of the plug-in <-> helper socket pair: sends messages without ever
// blocking (what the socket cannot take now waits in a bounded outbox) and
// reads whole messages, a bounded number of frames per call. Used by both
// processes; each drives it from its own event loop, on one thread.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "helper_protocol.h"

namespace webbridge {
namespace ipc {

class FrameChannel {
 public:
  /// Frames and bytes waiting beyond these mean the other end stopped
  /// reading: the channel closes rather than hold the memory.
  static constexpr std::size_t kMaxQueuedBytes = 64 * 1024 * 1024;
  /// Frames read per Receive call, so one busy peer cannot hold the caller's
  /// event loop.
  static constexpr int kFramesPerReceive = 64;

  /// Takes ownership of fd (a SOCK_SEQPACKET socket) and makes it non-blocking.
  explicit FrameChannel(int fd);
  ~FrameChannel();
  FrameChannel(const FrameChannel&) = delete;
  FrameChannel& operator=(const FrameChannel&) = delete;

  int Fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  bool HasQueued() const { return !outbox_.empty(); }

  /// Sends what the socket takes now and queues the rest. False when the
  /// channel is closed, or closes now (peer gone, outbox over its bound).
  bool Send(MessageType type, std::string_view payload);
  /// Sends queued frames while the socket takes them; false once closed.
  bool Flush();
  /// Reads up to kFramesPerReceive frames and hands every completed message
  /// to onMessage (which may close the channel). Returns false once the
  /// channel is closed: the peer hung up, or sent a frame that breaks the
  /// protocol (oversized, malformed).
  bool Receive(const std::function<void(Message&&)>& onMessage);
  /// Closes the socket; later calls do nothing.
  void Close();

 private:
  int fd_ = -1;
  std::deque<std::string> outbox_;
  std::size_t queuedBytes_ = 0;
  MessageAssembler assembler_;
  std::vector<char> buffer_;
};

}  // namespace ipc
}  // namespace webbridge
