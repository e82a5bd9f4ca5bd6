#include "helper_protocol.h"

#include <algorithm>

namespace webbridge {
namespace ipc {

namespace {

void putU16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xff));
  out.push_back(static_cast<char>(v >> 8));
}

std::uint16_t getU16(const char* p) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                    (static_cast<unsigned char>(p[1]) << 8));
}

}  // namespace

std::vector<std::string> SplitIntoFrames(MessageType type, std::string_view payload) {
  std::vector<std::string> frames;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(kMaxFramePayload, payload.size() - at);
    const bool more = at + n < payload.size();
    std::string frame;
    frame.reserve(kHeaderBytes + n);
    putU16(frame, static_cast<std::uint16_t>(type));
    putU16(frame, more ? kMoreFollows : 0);
    frame.append(payload.substr(at, n));
    frames.push_back(std::move(frame));
    at += n;
  } while (at < payload.size());
  return frames;
}

MessageAssembler::Result MessageAssembler::Add(const char* frame, std::size_t size) {
  auto malformed = [this] {
    assembling_ = false;
    payload_.clear();
    payload_.shrink_to_fit();
    return Result::Malformed;
  };
  if (size < kHeaderBytes || size > kMaxFrameBytes) return malformed();
  const std::uint16_t type = getU16(frame);
  const bool more = (getU16(frame + 2) & kMoreFollows) != 0;
  if (assembling_ && type != type_) return malformed();
  if (!assembling_) {
    type_ = type;
    payload_.clear();
  }
  if (payload_.size() + (size - kHeaderBytes) > kMaxMessageBytes) return malformed();
  payload_.append(frame + kHeaderBytes, size - kHeaderBytes);
  assembling_ = more;
  if (more) return Result::Partial;
  done_.type = static_cast<MessageType>(type_);
  done_.payload = std::move(payload_);
  payload_ = std::string();
  return Result::Complete;
}

std::string WithNumber(std::uint32_t number, std::string_view rest) {
  std::string out;
  out.reserve(4 + rest.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((number >> (8 * i)) & 0xff));
  out.append(rest);
  return out;
}

bool SplitNumber(std::string_view payload, std::uint32_t& number, std::string_view& rest) {
  if (payload.size() < 4) return false;
  number = 0;
  for (int i = 0; i < 4; ++i)
    number |= static_cast<std::uint32_t>(static_cast<unsigned char>(payload[i])) << (8 * i);
  rest = payload.substr(4);
  return true;
}

}  // namespace ipc
}  // namespace webbridge
