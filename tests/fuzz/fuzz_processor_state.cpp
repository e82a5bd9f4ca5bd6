// Fuzzes the processor's state stream: whatever the host hands to setState,
// getState must still write a complete stream and audio must stay finite.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "processor_rig.h"

using namespace QuenrilEQ;
using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static QuenrilEQ::testing::ProcessorRig rig(48000.0, 256, 2, 2);
  Steinberg::MemoryStream in(const_cast<std::uint8_t*>(data), static_cast<Steinberg::TSize>(size));
  check(rig.processor->setState(&in) == Steinberg::kResultOk);
  const auto state = rig.state();
  check(state.size() == 1264 && std::memcmp(state.data(), "1QEQ", 4) == 0);
  // What was read is what is stored, bit for bit.
  check(size < 16 || std::memcmp(data, "1QEQ", 4) != 0 || std::memcmp(data + 8, state.data() + 8, 8) == 0);

  for (int c = 0; c < 2; ++c)
    for (int s = 0; s < 256; ++s) rig.buffers.input(0, c)[s] = static_cast<float>(std::sin(0.05 * s + c));
  rig.run(256);
  rig.run(256);  // a Linear-mode state builds its kernel here
  for (int c = 0; c < 2; ++c)
    for (int s = 0; s < 256; ++s) check(std::isfinite(rig.buffers.output(0, c)[s]));
  return 0;
}
