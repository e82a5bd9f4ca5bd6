// Fuzzes the two streams a host hands the controller when it restores a
// project: its own state (setState, then getState must write a complete,
// well-formed stream) and the processor's state (setComponentState, after
// which every parameter must still hold a normalised value). The first byte
// picks the stream; the rest is the stream.
#include "fuzz_support.h"

#include "../controller/controller_test_support.h"
#include "controller.h"
#include "controller_state.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace QuenrilEQ;

namespace {

std::int32_t le32 (const std::uint8_t* p)
{
	std::uint32_t v = 0;
	for (int i = 0; i < 4; ++i)
		v |= static_cast<std::uint32_t> (p[i]) << (8 * i);
	return static_cast<std::int32_t> (v);
}

void checkControllerStream (QuenrilEQController& controller, const std::uint8_t* data, size_t size)
{
	auto in = testing::streamOf (std::vector<char> (data, data + size));
	if (controller.setState (in) != Steinberg::kResultOk)
		std::abort ();
	auto out = Steinberg::owned (new Steinberg::MemoryStream ());
	if (controller.getState (out) != Steinberg::kResultOk)
		std::abort ();
	const std::vector<char> bytes = testing::bytesOf (*out);
	if (bytes.size () < 17)
		std::abort ();
	const auto* b = reinterpret_cast<const std::uint8_t*> (bytes.data ());
	if (std::memcmp (b, "GQEQ", 4) != 0 || le32 (b + 4) != 1)  // 'QEQG' little-endian
		std::abort ();
	const std::int32_t n = le32 (b + 12);
	if (n < 1 || bytes.size () != 16 + static_cast<size_t> (n) || b[15 + n] != 0)
		std::abort ();
	if (std::memchr (b + 16, 0, static_cast<size_t> (n - 1)) != nullptr)
		std::abort ();

	// What a well-formed input carried comes back unchanged.
	const bool known = size >= 8 && std::memcmp (data, "GQEQ", 4) == 0;
	if (known && size >= 12 && le32 (data + 8) != le32 (b + 8))
		std::abort ();
	if (known && size >= 16)
	{
		const std::int32_t length = le32 (data + 12);
		if (length >= 1 && length <= kMaxControllerStateText && size - 16 >= static_cast<size_t> (length))
		{
			const size_t text = strnlen (reinterpret_cast<const char*> (data + 16), static_cast<size_t> (length));
			if (static_cast<size_t> (n - 1) != text || std::memcmp (data + 16, b + 16, text) != 0)
				std::abort ();
		}
	}
}

void checkComponentStream (QuenrilEQController& controller, const std::uint8_t* data, size_t size)
{
	auto in = testing::streamOf (std::vector<char> (data, data + size));
	// Refused exactly when the magic or the version is missing; values are
	// in range either way.
	const bool header = size >= 8 && std::memcmp (data, "1QEQ", 4) == 0;
	if ((controller.setComponentState (in) == Steinberg::kResultOk) != header)
		std::abort ();
	if (!fuzzing::controllerValuesInRange (controller))
		std::abort ();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
	fuzzing::fuzzHome ();
	// One controller for the whole run: a new one per input would leave a
	// current-state file per instance number behind.
	static testing::HostedController hosted;
	hosted.handler->clear ();
	if (size == 0)
		return 0;
	if (data[0] & 1)
		checkComponentStream (*hosted.controller, data + 1, size - 1);
	else
		checkControllerStream (*hosted.controller, data + 1, size - 1);
	return 0;
}
