// Drives a QuenrilEQProcessor in-process the way a host does: buses,
// setupProcessing, blocks of 32-bit audio with parameter changes.
#pragma once

#include "processor.h"

#include "parameter_changes.h"
#include "process_buffers.h"

#include "public.sdk/source/common/memorystream.h"

#include <vector>

namespace QuenrilEQ {
namespace testing {

class ProcessorRig
{
public:
	/** Initialised processor, stereo in/out, optional stereo side-chain, set up at rate;
	    hostContext (may be null) is what initialize gets. */
	explicit ProcessorRig (double sampleRate = 48000.0, int maxBlock = 1024, int mainChannels = 2,
	                       int sidechainChannels = 0, Steinberg::FUnknown* hostContext = nullptr)
	: processor (Steinberg::owned (new QuenrilEQProcessor ())),
	  buffers (sidechainChannels > 0 ? std::vector<Steinberg::int32> {mainChannels, sidechainChannels}
	                                 : std::vector<Steinberg::int32> {mainChannels},
	           {mainChannels}, maxBlock)
	{
		processor->initialize (hostContext);
		setup (sampleRate, maxBlock);
		processor->setActive (true);
		processor->setProcessing (true);
	}

	~ProcessorRig ()
	{
		processor->setProcessing (false);
		processor->setActive (false);
		processor->terminate ();
	}

	void setup (double sampleRate, int maxBlock)
	{
		Steinberg::Vst::ProcessSetup s {Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, maxBlock,
		                                sampleRate};
		processor->setupProcessing (s);
	}

	/** Queues a change for the next block (one point at offset 0). */
	void set (ParamId id, double value) { changes.add (id, 0, value); }

	/** Runs one block; the input channels must already hold the samples. */
	void run (int numSamples)
	{
		Steinberg::Vst::ProcessData data {};
		data.processMode = Steinberg::Vst::kRealtime;
		data.symbolicSampleSize = Steinberg::Vst::kSample32;
		data.numSamples = numSamples;
		data.numInputs = buffers.numInputs ();
		data.numOutputs = buffers.numOutputs ();
		data.inputs = buffers.inputBuses ();
		data.outputs = buffers.outputBuses ();
		data.inputParameterChanges = &changes;
		processor->process (data);
		changes.clear ();
	}

	std::vector<char> state ()
	{
		Steinberg::MemoryStream stream;
		processor->getState (&stream);
		return std::vector<char> (stream.getData (), stream.getData () + stream.getSize ());
	}

	Steinberg::IPtr<QuenrilEQProcessor> processor;
	host::ProcessBuffers buffers;
	host::ParameterChanges changes;
};

} // namespace testing
} // namespace QuenrilEQ
