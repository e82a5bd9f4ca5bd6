// The processor's saved state read back as parameter values, so that a run of
// the stand-alone editor can show what actually reached the audio side. The
// host reads the stream itself rather than borrowing the plug-in's reader: a
// fault in that reader must not hide a fault in the writer.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace QuenrilEQ {
namespace editorhost {

/// One value of the stream: parameter id and its normalised value (0..1, as
/// the processor stored it, widened from 32-bit float).
using StateValue = std::pair<std::uint32_t, double>;

/// Reads a processor state stream: magic 'QEQ1' (little-endian 0x51455131),
/// a 32-bit version (1 or 2), then the two globals (1002 "Phase Mode", 1003
/// "Linear Latency") and, per band, 7 (version 1) or 13 (version 2)
/// little-endian floats with ids 2000 + 16 * band + field. A stream cut short
/// yields the values before the cut. False (and no values) for a wrong magic
/// or an unknown version. Any thread.
bool ReadProcessorState(const std::vector<char>& bytes, std::vector<StateValue>& values);

}  // namespace editorhost
}  // namespace QuenrilEQ
