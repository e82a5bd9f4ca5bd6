#include "controller_state.h"

#include "base/source/fstreamer.h"

#include <cstring>
#include <vector>

using namespace Steinberg;

namespace QuenrilEQ {

void writeControllerState (IBStream* stream, const ControllerState& state)
{
	if (!stream)
		return;
	IBStreamer streamer (stream, kLittleEndian);
	streamer.writeInt32 (kControllerStateMagic);
	streamer.writeInt32 (kControllerStateVersion);
	streamer.writeInt32 (state.abActiveSlot);
	const char* text = state.abInactiveSlotText.c_str ();
	const auto length = static_cast<int32> (std::strlen (text)) + 1;
	streamer.writeInt32 (length);
	streamer.writeRaw (text, length);
}

ControllerState readControllerState (IBStream* stream)
{
	ControllerState state;
	if (!stream)
		return state;
	IBStreamer streamer (stream, kLittleEndian);
	int32 magic = 0;
	int32 version = 0;
	if (!streamer.readInt32 (magic) || magic != kControllerStateMagic || !streamer.readInt32 (version))
		return state;

	int32 slot = 0;
	state.abActiveSlot = streamer.readInt32 (slot) ? slot : 0;

	// The SDK's own 8-bit string reader would leave a cut-off text's missing
	// bytes undefined; a cut-off text is dropped instead.
	int32 length = 0;
	if (!streamer.readInt32 (length) || length < 1 || length > kMaxControllerStateText)
		return state;
	std::vector<char> bytes (static_cast<size_t> (length));
	if (streamer.readRaw (bytes.data (), length) != length)
		return state;
	state.abInactiveSlotText.assign (bytes.data (), strnlen (bytes.data (), bytes.size ()));
	return state;
}

} // namespace QuenrilEQ
