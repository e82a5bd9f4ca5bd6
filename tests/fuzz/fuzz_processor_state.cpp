// Fuzzes the processor's state stream: whatever the host hands to setState,
// getState must still write a complete stream and audio must stay finite.
#include "processor_rig.h"

#include "processor_state.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace QuenrilEQ;

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
	static testing::ProcessorRig rig (48000.0, 256, 2, 2);
	Steinberg::MemoryStream in (const_cast<std::uint8_t*> (data), static_cast<Steinberg::TSize> (size));
	if (rig.processor->setState (&in) != Steinberg::kResultOk)
		std::abort ();

	const auto state = rig.state ();
	if (state.size () != 1264 || std::memcmp (state.data (), "1QEQ", 4) != 0)
		std::abort ();
	// What was read is what is stored, bit for bit.
	if (size >= 16 && std::memcmp (data, "1QEQ", 4) == 0 && std::memcmp (data + 8, state.data () + 8, 8) != 0)
		std::abort ();

	for (int c = 0; c < 2; ++c)
		for (int s = 0; s < 256; ++s)
			rig.buffers.input (0, c)[s] = static_cast<float> (std::sin (0.05 * s + c));
	rig.run (256);
	rig.run (256);  // a Linear-mode state builds its kernel here
	for (int c = 0; c < 2; ++c)
		for (int s = 0; s < 256; ++s)
			if (!std::isfinite (rig.buffers.output (0, c)[s]))
				std::abort ();
	return 0;
}
