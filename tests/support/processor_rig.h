// Drives a QuenrilEQProcessor in-process the way a host does: buses,
// setupProcessing, blocks of 32-bit audio with parameter changes.
#pragma once

#include "processor.h"

#include "parameter_changes.h"
#include "process_buffers.h"

#include "parameters.h"

#include "public.sdk/source/common/memorystream.h"

#include <cmath>
#include <random>
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

/** Noise within +-amplitude on every input channel of every bus, n samples. */
inline void fillNoise (host::ProcessBuffers& buffers, int n, std::mt19937& rng, float amplitude)
{
	std::uniform_real_distribution<float> noise (-amplitude, amplitude);
	for (int bus = 0; bus < buffers.numInputs (); ++bus)
		for (int c = 0; c < buffers.inputChannels (bus); ++c)
			for (int s = 0; s < n; ++s)
				buffers.input (bus, c)[s] = noise (rng);
}

/** True when the first n samples of both main outputs are finite. */
inline bool outputsFinite (host::ProcessBuffers& buffers, int n)
{
	for (int c = 0; c < 2; ++c)
		for (int s = 0; s < n; ++s)
			if (!std::isfinite (buffers.output (0, c)[s]))
				return false;
	return true;
}

/** Every band on, of every shape, slope and target, half of them dynamic, some keyed. */
inline void setBusyBands (host::ParameterChanges& changes)
{
	for (int b = 0; b < 24; ++b)
	{
		const double values[kFieldsPerBand] = {1.0, (b % 9) / 8.0, 0.5, 0.6, 0.45, (b % 5) / 4.0, (b % 5) / 4.0, double (b % 2),
		                                       0.7, 0.05, 0.37, 0.51, b % 3 == 0 ? 1.0 : 0.0};
		for (int k = 0; k < kFieldsPerBand; ++k)
			changes.add (bandParamId (b, k), 0, values[k]);
	}
}

} // namespace testing
} // namespace QuenrilEQ
