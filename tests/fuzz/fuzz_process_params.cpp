// Fuzzes what a host feeds process: parameter changes with any id and value
// (NaN, infinities, huge numbers), queue shapes, block sizes from 0 to 8192,
// with and without side-chain, in both phase modes. Outputs must stay finite
// whenever the inputs are finite.
#include <cmath>
#include <cstdint>

#include "fuzz_support.h"
#include "processor_rig.h"

using namespace QuenrilEQ;

namespace {

struct Reader {
  const std::uint8_t* data;
  size_t size, pos = 0;
  bool more() const { return pos < size; }
  std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
    return v;
  }
  double value() {
    switch (byte() % 8) {
      case 0: return std::nan("");
      case 1: return HUGE_VAL;
      case 2: return -HUGE_VAL;
      case 3: return (byte() & 1) ? 1e300 : -1e300;
      default: return static_cast<double>(u32()) / 4294967295.0 * 1.2 - 0.1;
    }
  }
  std::uint32_t id() {  // the global parameters, any number, or band fields and the gaps between them
    switch (byte() % 4) {
      case 0: return 1002 + byte() % 2;
      case 1: return u32();
      default: return 2000 + u32() % (24 * 16 + 8);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  constexpr int kMaxBlock = 8192;
  static QuenrilEQ::testing::ProcessorRig withSidechain(48000.0, kMaxBlock, 2, 2);
  static QuenrilEQ::testing::ProcessorRig mainOnly(44100.0, kMaxBlock, 2, 0);
  Reader r{data, size};
  QuenrilEQ::testing::ProcessorRig& rig = (r.byte() & 1) ? withSidechain : mainOnly;
  for (int round = 0; round < 8 && r.more(); ++round) {
    for (int q = 0, queues = r.byte() % 12; q < queues; ++q) {
      const std::uint32_t id = r.id();
      for (int p = 0, points = r.byte() % 4; p < points; ++p)
        rig.changes.add(id, static_cast<std::int32_t>(r.u32() % kMaxBlock), r.value());
    }
    const int n = static_cast<int>(r.u32() % (kMaxBlock + 1));
    for (int bus = 0; bus < rig.buffers.numInputs(); ++bus)
      for (int c = 0; c < rig.buffers.inputChannels(bus); ++c)
        for (int s = 0; s < n; ++s) rig.buffers.input(bus, c)[s] = static_cast<float>(std::sin(0.01 * (s + 7 * c + round)));
    rig.run(n);
    for (int c = 0; c < 2; ++c)
      for (int s = 0; s < n; ++s) fuzzing::check(std::isfinite(rig.buffers.output(0, c)[s]));
  }
  return 0;
}
