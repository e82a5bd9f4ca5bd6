#include "process_buffers.h"

#include <algorithm>

namespace QuenrilEQ {
namespace host {

using namespace Steinberg;
using namespace Steinberg::Vst;

ProcessBuffers::ProcessBuffers (const std::vector<int32>& inputChannels, const std::vector<int32>& outputChannels,
                                int32 maxFrames)
: maxFrames_ (std::max<int32> (maxFrames, 0))
{
	build (inputChannels, maxFrames_, inputStore_, inputs_);
	build (outputChannels, maxFrames_, outputStore_, outputs_);
}

void ProcessBuffers::build (const std::vector<int32>& counts, int32 frames, std::vector<Bus>& buses,
                            std::vector<AudioBusBuffers>& views)
{
	buses.resize (counts.size ());
	views.resize (counts.size ());
	for (size_t b = 0; b < counts.size (); ++b)
	{
		const int32 channels = std::max<int32> (counts[b], 0);
		buses[b].channels.assign (static_cast<size_t> (channels), std::vector<float> (static_cast<size_t> (frames)));
		for (auto& memory : buses[b].channels)
			buses[b].pointers.push_back (memory.data ());
		views[b].numChannels = channels;
		views[b].silenceFlags = 0;
		views[b].channelBuffers32 = channels > 0 ? buses[b].pointers.data () : nullptr;
	}
}

float* ProcessBuffers::channel (std::vector<Bus>& buses, int32 bus, int32 channel)
{
	if (bus < 0 || static_cast<size_t> (bus) >= buses.size ())
		return nullptr;
	auto& pointers = buses[static_cast<size_t> (bus)].pointers;
	if (channel < 0 || static_cast<size_t> (channel) >= pointers.size ())
		return nullptr;
	return pointers[static_cast<size_t> (channel)];
}

int32 ProcessBuffers::inputChannels (int32 bus) const
{
	return bus >= 0 && bus < numInputs () ? inputs_[static_cast<size_t> (bus)].numChannels : 0;
}

int32 ProcessBuffers::outputChannels (int32 bus) const
{
	return bus >= 0 && bus < numOutputs () ? outputs_[static_cast<size_t> (bus)].numChannels : 0;
}

float* ProcessBuffers::input (int32 bus, int32 ch) { return channel (inputStore_, bus, ch); }
float* ProcessBuffers::output (int32 bus, int32 ch) { return channel (outputStore_, bus, ch); }

void ProcessBuffers::clearInputs ()
{
	for (auto& bus : inputStore_)
		for (auto& memory : bus.channels)
			std::fill (memory.begin (), memory.end (), 0.0f);
}

void ProcessBuffers::clearOutputs ()
{
	for (auto& bus : outputStore_)
		for (auto& memory : bus.channels)
			std::fill (memory.begin (), memory.end (), 0.0f);
	for (auto& view : outputs_)
		view.silenceFlags = 0;
}

} // namespace host
} // namespace QuenrilEQ
