#include "processor_state.h"

#include "base/source/fstreamer.h"

using namespace Steinberg;

namespace QuenrilEQ {

namespace {
constexpr int kVersion1FieldsPerBand = 7;  // Enabled .. Channel; dynamics came with version 2

int fieldsPerBand (std::int32_t version) noexcept
{
	return version <= 1 ? kVersion1FieldsPerBand : kFieldsPerBand;
}
} // namespace

int processorStateValueCount (std::int32_t version) noexcept
{
	return 2 + kParamBands * fieldsPerBand (version);
}

ParamId processorStateId (std::int32_t version, int index) noexcept
{
	if (index == 0)
		return kPhaseModeId;
	if (index == 1)
		return kLinearLatencyId;
	const int perBand = fieldsPerBand (version);
	const int r = index - 2;
	return bandParamId (r / perBand, r % perBand);
}

void writeProcessorState (IBStream* stream, const ParamValueMap& values)
{
	if (!stream)
		return;
	IBStreamer streamer (stream, kLittleEndian);
	streamer.writeInt32 (kProcessorStateMagic);
	streamer.writeInt32 (kProcessorStateVersion);
	const int count = processorStateValueCount (kProcessorStateVersion);
	for (int i = 0; i < count; ++i)
		streamer.writeFloat (values.get (processorStateId (kProcessorStateVersion, i)));
}

bool readProcessorStateHeader (IBStream* stream, std::int32_t& version)
{
	if (!stream)
		return false;
	IBStreamer streamer (stream, kLittleEndian);
	int32 magic = 0;
	if (!streamer.readInt32 (magic) || magic != kProcessorStateMagic)
		return false;
	int32 v = 0;
	if (!streamer.readInt32 (v))
		return false;
	version = v;
	return true;
}

bool readStateFloat (IBStream* stream, float& value)
{
	IBStreamer streamer (stream, kLittleEndian);
	return streamer.readFloat (value);
}

} // namespace QuenrilEQ
