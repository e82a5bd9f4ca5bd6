#include "state_readout.h"

#include <cstring>

namespace QuenrilEQ {
namespace editorhost {

namespace {

constexpr std::uint32_t kMagic = 0x51455131;  // 'QEQ1'
constexpr int kBands = 24;

// Little-endian 32-bit word at offset at; the caller checks the length.
std::uint32_t wordAt(const std::vector<char>& bytes, std::size_t at) {
  std::uint32_t w = 0;
  for (int i = 3; i >= 0; --i) w = (w << 8) | static_cast<unsigned char>(bytes[at + i]);
  return w;
}

}  // namespace

bool ReadProcessorState(const std::vector<char>& bytes, std::vector<StateValue>& values) {
  values.clear();
  if (bytes.size() < 8 || wordAt(bytes, 0) != kMagic) return false;
  const std::uint32_t version = wordAt(bytes, 4);
  if (version != 1 && version != 2) return false;
  const int fieldsPerBand = version == 1 ? 7 : 13;

  std::vector<std::uint32_t> ids = {1002, 1003};
  for (int band = 0; band < kBands; ++band)
    for (int field = 0; field < fieldsPerBand; ++field)
      ids.push_back(static_cast<std::uint32_t>(2000 + 16 * band + field));

  std::size_t at = 8;
  for (std::uint32_t id : ids) {
    if (at + 4 > bytes.size()) break;
    const std::uint32_t bits = wordAt(bytes, at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    values.emplace_back(id, static_cast<double>(value));
    at += 4;
  }
  return true;
}

}  // namespace editorhost
}  // namespace QuenrilEQ
