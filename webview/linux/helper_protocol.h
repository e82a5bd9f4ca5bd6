// The messages between the plug-in and its browser helper process, and how
// they travel. The two ends share one SOCK_SEQPACKET socket pair: every
// datagram is one frame, a 4-byte header (message type, flags; little-endian
// 16-bit each) followed by at most kMaxFramePayload bytes. A longer message is
// split over several frames of the same type; all but the last carry
// kMoreFollows. Pure code, used by both processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace webbridge {
namespace ipc {

/// Bumped whenever a message changes meaning; both ends refuse other versions.
constexpr std::uint32_t kProtocolVersion = 1;

enum class MessageType : std::uint16_t {
  // plug-in -> helper
  Start = 1,          ///< JSON {"version", "window" (wrapper XID), "profile", "debug"}; always first
  AddInitScript = 2,  ///< script text
  Navigate = 3,       ///< address text
  EvalJS = 4,         ///< u32 callback id (0: no result wanted), then script text
  SetTitle = 5,       ///< title text
  SetVisible = 6,     ///< one byte, 0 or 1
  Quit = 7,           ///< no payload
  // helper -> plug-in
  Hello = 64,         ///< u32 protocol version, u32 XID of the helper's window
  PageMessage = 65,   ///< the text the page posted
  EvalResult = 66,    ///< u32 callback id, then the result as JSON text
  EvalDropped = 67,   ///< u32 callback id: the script never ran, no result will come
};

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kMaxFrameBytes = 64 * 1024;
constexpr std::size_t kMaxFramePayload = kMaxFrameBytes - kHeaderBytes;
/// Longest message either side accepts; a longer one is a protocol error.
constexpr std::size_t kMaxMessageBytes = 16 * 1024 * 1024;
constexpr std::uint16_t kMoreFollows = 1;

struct Message {
  MessageType type = MessageType::Quit;
  std::string payload;
};

/// The frames that carry one message, in sending order (at least one, even
/// for an empty payload). The caller keeps payloads within kMaxMessageBytes.
std::vector<std::string> SplitIntoFrames(MessageType type, std::string_view payload);

/// Puts received frames back together into messages.
class MessageAssembler {
 public:
  enum class Result { Partial, Complete, Malformed };

  /// Takes one received frame. Complete: Take() hands out the message.
  /// Malformed (a frame shorter than its header, a continuation of another
  /// type, a message over kMaxMessageBytes): the partial message is dropped;
  /// the connection should be given up.
  Result Add(const char* frame, std::size_t size);
  /// The message completed by the last Add.
  Message Take() { return std::move(done_); }

 private:
  bool assembling_ = false;
  std::uint16_t type_ = 0;
  std::string payload_;
  Message done_;
};

/// A payload starting with a 32-bit little-endian number (callback ids,
/// versions, window ids).
std::string WithNumber(std::uint32_t number, std::string_view rest = {});
/// Reads that number and the rest; false when the payload is too short.
bool SplitNumber(std::string_view payload, std::uint32_t& number, std::string_view& rest);

}  // namespace ipc
}  // namespace webbridge
