// The controller's own state stream, saved by the host with the project:
// magic 'QEQG', version 1, the A/B active slot and the A/B inactive slot
// text (little-endian; the text as length + 1, bytes, zero byte). Reader and
// writer live together here.
#pragma once

#include "pluginterfaces/base/ibstream.h"

#include <cstdint>
#include <string>

namespace QuenrilEQ {

constexpr std::int32_t kControllerStateMagic = 0x51455147;  // 'QEQG'
constexpr std::int32_t kControllerStateVersion = 1;
/** Longest inactive slot text a stream may carry, with its zero byte (bytes). */
constexpr std::int32_t kMaxControllerStateText = 262144;

/** What the page keeps in the project; both values are opaque to the plug-in. */
struct ControllerState
{
	std::int32_t abActiveSlot = 0;
	std::string abInactiveSlotText;
};

/** Writes magic, version 1, the slot and the text; the text ends at its
    first zero byte. Write failures are ignored. [UI thread] */
void writeControllerState (Steinberg::IBStream* stream, const ControllerState& state);

/** Reads a stream of any version. A wrong or missing magic or version gives
    the default state (slot 0, empty text); a missing slot gives 0; a text
    whose length is missing, below 1, above kMaxControllerStateText, or
    longer than the bytes left gives the empty text. Never fails. [UI thread] */
ControllerState readControllerState (Steinberg::IBStream* stream);

} // namespace QuenrilEQ
