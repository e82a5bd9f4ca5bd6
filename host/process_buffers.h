// 32-bit audio buffers for every bus of one process call.
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <vector>

namespace QuenrilEQ {
namespace host {

/** Owns the sample memory and the AudioBusBuffers array that ProcessData
 *  points at. A bus with 0 channels gets a null channel array, as hosts pass
 *  inactive buses. Sized once (allocates in the constructor only), then
 *  reused for every block. One thread at a time. */
class ProcessBuffers
{
public:
	/** Channel count per input bus and per output bus; maxFrames samples per channel. */
	ProcessBuffers (const std::vector<Steinberg::int32>& inputChannels,
	                const std::vector<Steinberg::int32>& outputChannels, Steinberg::int32 maxFrames);
	ProcessBuffers (const ProcessBuffers&) = delete;
	ProcessBuffers& operator= (const ProcessBuffers&) = delete;

	Steinberg::int32 maxFrames () const { return maxFrames_; }
	Steinberg::int32 numInputs () const { return static_cast<Steinberg::int32> (inputs_.size ()); }
	Steinberg::int32 numOutputs () const { return static_cast<Steinberg::int32> (outputs_.size ()); }
	Steinberg::int32 inputChannels (Steinberg::int32 bus) const;
	Steinberg::int32 outputChannels (Steinberg::int32 bus) const;

	/** Channel memory (maxFrames floats), or null for a bus or channel that does not exist. */
	float* input (Steinberg::int32 bus, Steinberg::int32 channel);
	float* output (Steinberg::int32 bus, Steinberg::int32 channel);

	/** Zeroes every input or output channel. */
	void clearInputs ();
	void clearOutputs ();

	/** What ProcessData.inputs / .outputs take (null when there are no buses). */
	Steinberg::Vst::AudioBusBuffers* inputBuses () { return inputs_.empty () ? nullptr : inputs_.data (); }
	Steinberg::Vst::AudioBusBuffers* outputBuses () { return outputs_.empty () ? nullptr : outputs_.data (); }

private:
	struct Bus
	{
		std::vector<std::vector<float>> channels;
		std::vector<float*> pointers;
	};
	static void build (const std::vector<Steinberg::int32>& counts, Steinberg::int32 frames,
	                   std::vector<Bus>& buses, std::vector<Steinberg::Vst::AudioBusBuffers>& views);
	static float* channel (std::vector<Bus>& buses, Steinberg::int32 bus, Steinberg::int32 channel);

	Steinberg::int32 maxFrames_;
	std::vector<Bus> inputStore_;
	std::vector<Bus> outputStore_;
	std::vector<Steinberg::Vst::AudioBusBuffers> inputs_;
	std::vector<Steinberg::Vst::AudioBusBuffers> outputs_;
};

} // namespace host
} // namespace QuenrilEQ
