// The processor's state stream: magic 'QEQ1', a version, then the normalised
// values as little-endian 32-bit floats in a fixed order. Reader and writer
// live here together; the processor and the controller both use them.
#pragma once

#include "param_value_map.h"
#include "parameters.h"

#include "pluginterfaces/base/ibstream.h"

#include <cstdint>

namespace QuenrilEQ {

constexpr std::int32_t kProcessorStateMagic = 0x51455131;  // 'QEQ1'
constexpr std::int32_t kProcessorStateVersion = 2;

/** Number of values a stream of this version carries (version <= 1: fields 0..6 per band). */
int processorStateValueCount (std::int32_t version) noexcept;

/** Id of the value at position index of a stream of this version. */
ParamId processorStateId (std::int32_t version, int index) noexcept;

/** Writes version 2 with the values the map holds; write failures are ignored. */
void writeProcessorState (Steinberg::IBStream* stream, const ParamValueMap& values);

/** Reads one state stream: false (nothing read) when the magic or version is
    missing or wrong. Otherwise calls apply(id, value) for each value in stream
    order until the stream ends; values after the end are not reported. */
template <typename Apply>
bool readProcessorState (Steinberg::IBStream* stream, Apply&& apply);

/** Header reader used by readProcessorState; false without a valid header. */
bool readProcessorStateHeader (Steinberg::IBStream* stream, std::int32_t& version);
/** One little-endian float; false at the end of the stream. */
bool readStateFloat (Steinberg::IBStream* stream, float& value);

template <typename Apply>
bool readProcessorState (Steinberg::IBStream* stream, Apply&& apply)
{
	std::int32_t version = 0;
	if (!readProcessorStateHeader (stream, version))
		return false;
	const int count = processorStateValueCount (version);
	for (int i = 0; i < count; ++i)
	{
		float value = 0.0f;
		if (!readStateFloat (stream, value))
			break;  // every later read would fail too
		apply (processorStateId (version, i), value);
	}
	return true;
}

} // namespace QuenrilEQ
