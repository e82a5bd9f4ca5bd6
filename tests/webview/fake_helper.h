// The helper's end of the plug-in's socket, played by a test: sends raw
// datagrams or whole messages and reads back what the plug-in side sent.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "helper_protocol.h"

namespace qeqtest {

class FakeHelper {
 public:
  /// Makes the pair; pluginEnd() goes to the code under test, which owns it.
  FakeHelper() {
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends_) != 0) ends_[0] = ends_[1] = -1;
  }
  ~FakeHelper() { hangUp(); }
  FakeHelper(const FakeHelper&) = delete;
  FakeHelper& operator=(const FakeHelper&) = delete;

  int pluginEnd() const { return ends_[0]; }
  void hangUp() {
    if (ends_[1] >= 0) close(ends_[1]);
    ends_[1] = -1;
  }

  /// One datagram as it stands; false when the socket would not take it now.
  bool sendRaw(std::string_view datagram) {
    return send(ends_[1], datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
           static_cast<ssize_t>(datagram.size());
  }
  bool sendMessage(webbridge::ipc::MessageType type, std::string_view payload) {
    for (const std::string& frame : webbridge::ipc::SplitIntoFrames(type, payload))
      if (!sendRaw(frame)) return false;
    return true;
  }

  /// Every complete message waiting on the socket, in order.
  std::vector<webbridge::ipc::Message> receiveAll() {
    std::vector<webbridge::ipc::Message> out;
    std::vector<char> buffer(webbridge::ipc::kMaxFrameBytes);
    for (;;) {
      const ssize_t n = recv(ends_[1], buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n <= 0) return out;
      if (assembler_.Add(buffer.data(), static_cast<std::size_t>(n)) ==
          webbridge::ipc::MessageAssembler::Result::Complete)
        out.push_back(assembler_.Take());
    }
  }

 private:
  int ends_[2] = {-1, -1};
  webbridge::ipc::MessageAssembler assembler_;
};

}  // namespace qeqtest
