// The plug-in loaded from its bundle by our host harness and driven the way
// careless or unusual hosts drive plug-ins: odd block sizes, rate changes
// between blocks, activation toggling, refused bus layouts, several instances
// at once, and non-finite input.
#include "module.h"
#include "parameters.h"
#include "plugin_instance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace QuenrilEQ;
using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Hosted
{
	Hosted (double rate, int maxBlock, bool sidechain, unsigned seed)
	: plugin (PluginInstance::createFirst (Module::load (QEQ_BUNDLE_PATH))), rng (seed)
	{
		plugin->activateDefaultBuses ();
		if (sidechain)
			plugin->activateBus (kInput, 1, true);
		plugin->start (rate, maxBlock, kRealtime);
		buffers = std::make_unique<ProcessBuffers> (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput), maxBlock);
		std::uniform_real_distribution<double> unit (0.0, 1.0);
		for (int b = 0; b < 24; ++b)  // every band on, everything else at random
			for (int k = 0; k < kFieldsPerBand; ++k)
				changes.add (bandParamId (b, k), 0, k == kFieldEnabled ? 1.0 : unit (rng));
	}

	/** One block of noise; true when every output sample is finite. */
	bool run (int n, bool withChanges = true)
	{
		std::uniform_real_distribution<float> noise (-0.3f, 0.3f);
		for (int bus = 0; bus < buffers->numInputs (); ++bus)
			for (int c = 0; c < buffers->inputChannels (bus); ++c)
				for (int s = 0; s < n; ++s)
					buffers->input (bus, c)[s] = noise (rng);
		EXPECT_EQ (plugin->process (*buffers, n, withChanges ? &changes : nullptr), kResultOk);
		changes.clear ();
		for (int c = 0; c < 2; ++c)
			for (int s = 0; s < n; ++s)
				if (!std::isfinite (buffers->output (0, c)[s]))
					return false;
		return true;
	}

	std::unique_ptr<PluginInstance> plugin;
	std::unique_ptr<ProcessBuffers> buffers;
	ParameterChanges changes;
	std::mt19937 rng;
};

} // namespace

TEST (HostileHost, OddBlocksRateChangesAndActivationToggling)
{
	Hosted h (48000.0, 4096, true, 17);
	const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 192000.0};
	for (int round = 0; round < 300; ++round)
	{
		const int sizes[] = {0, 1, 2, 127, 128, 129, 4096};
		if (round % 40 == 20)
			h.changes.add (kPhaseModeId, 0, (round / 40) % 2);
		ASSERT_TRUE (h.run (round % 3 == 0 ? sizes[round % 7] : static_cast<int> (h.rng () % 4097))) << "round " << round;
		if (round % 50 == 49)
		{
			h.plugin->stop ();
			h.plugin->setupProcessing (rates[(round / 50) % 5], 4096, kRealtime);
			h.plugin->setActive (true);
			h.plugin->setProcessing (true);
		}
		if (round % 70 == 69)
			h.plugin->setupProcessing (rates[round % 5], 4096, kRealtime);  // without stopping first
	}
}

TEST (HostileHost, RefusedLayoutsCanBeRetried)
{
	auto plugin = PluginInstance::createFirst (Module::load (QEQ_BUNDLE_PATH));
	ASSERT_TRUE (plugin);
	using A = std::vector<SpeakerArrangement>;
	for (const auto& [ins, outs] : {std::pair {A {SpeakerArr::k51}, A {SpeakerArr::k51}}, std::pair {A {SpeakerArr::kMono}, A {SpeakerArr::kMono}},
	                                std::pair {A {SpeakerArr::kStereo, SpeakerArr::kMono}, A {SpeakerArr::kStereo}}})
		EXPECT_EQ (plugin->setBusArrangements (ins, outs), kResultFalse);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo}), kResultOk);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::kStereo}, {SpeakerArr::kStereo}), kResultOk);
	EXPECT_EQ (plugin->busArrangement (kOutput, 0), SpeakerArr::kStereo);
	EXPECT_EQ (plugin->processor ()->canProcessSampleSize (kSample64), kResultFalse);
}

TEST (HostileHost, SeveralInstancesProcessAtOnce)
{
	// Created on this thread, as hosts create plug-ins on their UI thread; only processing runs in parallel.
	std::vector<std::unique_ptr<Hosted>> instances;
	for (int t = 0; t < 3; ++t)
	{
		instances.push_back (std::make_unique<Hosted> (t == 0 ? 44100.0 : 48000.0, 256, false, static_cast<unsigned> (t)));
		instances.back ()->changes.add (kPhaseModeId, 0, t != 1);  // two build linear kernels at once, sharing transform plans
	}
	std::atomic<int> failures {0};
	std::vector<std::thread> threads;
	for (auto& instance : instances)
		threads.emplace_back ([&failures, h = instance.get ()] {
			for (int block = 0; block < 400; ++block)
				if (!h->run (256))
					++failures;
		});
	for (auto& t : threads)
		t.join ();
	EXPECT_EQ (failures.load (), 0);
}

TEST (HostileHost, NonFiniteInputDoesNotLeaveTheFiltersStuck)
{
	for (double linear : {0.0, 1.0})
	{
		Hosted h (48000.0, 512, false, 9);
		h.changes.add (kPhaseModeId, 0, linear);
		for (int block = 0; block < 4; ++block)
			h.run (512);
		h.buffers->input (0, 0)[100] = std::numeric_limits<float>::quiet_NaN ();
		h.buffers->input (0, 1)[200] = std::numeric_limits<float>::infinity ();
		h.plugin->process (*h.buffers, 512, nullptr);
		// Once the input is finite again, the output recovers, neither non-finite nor stuck silent
		// (Linear mode needs the kernel length and the delay to flush the convolution).
		bool recovered = false;
		for (int block = 0; block < 80 && !recovered; ++block)
			recovered = h.run (512, false) && block > 2 && h.buffers->output (0, 0)[511] != 0.0f;
		EXPECT_TRUE (recovered) << (linear > 0 ? "Linear" : "Natural");
	}
}
