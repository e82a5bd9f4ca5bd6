// The plug-in loaded from its bundle by our host harness and driven the way
// careless or unusual hosts drive plug-ins: odd block sizes, rate changes
// between blocks, activation toggling, refused bus layouts, state calls from
// another thread, several instances at once, and non-finite input.
#include "module.h"
#include "parameters.h"
#include "plugin_instance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

using namespace QuenrilEQ;
using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::shared_ptr<Module> bundle ()
{
	static std::shared_ptr<Module> module = Module::load (QEQ_BUNDLE_PATH);
	return module;
}

std::unique_ptr<PluginInstance> started (double rate, int maxBlock, bool sidechain)
{
	auto instance = PluginInstance::createFirst (bundle ());
	if (!instance)
		return nullptr;
	instance->activateDefaultBuses ();
	if (sidechain)
		instance->activateBus (kInput, 1, true);
	instance->start (rate, maxBlock, kRealtime);
	return instance;
}

void enableEveryBand (ParameterChanges& changes, std::mt19937& rng)
{
	std::uniform_real_distribution<double> unit (0.0, 1.0);
	for (int b = 0; b < 24; ++b)
	{
		changes.add (bandParamId (b, kFieldEnabled), 0, 1.0);
		for (int k = 1; k < kFieldsPerBand; ++k)
			if (k != kFieldEnabled)
				changes.add (bandParamId (b, k), 0, unit (rng));
	}
}

void fill (ProcessBuffers& buffers, int n, std::mt19937& rng, float scale = 0.3f)
{
	std::uniform_real_distribution<float> dist (-scale, scale);
	for (int bus = 0; bus < buffers.numInputs (); ++bus)
		for (int c = 0; c < buffers.inputChannels (bus); ++c)
			for (int s = 0; s < n; ++s)
				buffers.input (bus, c)[s] = dist (rng);
}

bool finiteOutput (ProcessBuffers& buffers, int n)
{
	for (int c = 0; c < buffers.outputChannels (0); ++c)
		for (int s = 0; s < n; ++s)
			if (!std::isfinite (buffers.output (0, c)[s]))
				return false;
	return true;
}

} // namespace

TEST (HostileHost, OddBlocksRateChangesAndActivationToggling)
{
	auto plugin = started (48000.0, 4096, true);
	ASSERT_TRUE (plugin);
	ProcessBuffers buffers (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput), 4096);
	ParameterChanges changes;
	std::mt19937 rng (17);
	enableEveryBand (changes, rng);
	const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 192000.0};
	for (int round = 0; round < 300; ++round)
	{
		const int sizes[] = {0, 1, 2, 127, 128, 129, 4096};
		const int n = round % 3 == 0 ? sizes[round % 7] : static_cast<int> (rng () % 4097);
		fill (buffers, n, rng);
		if (round % 40 == 20)
			changes.add (kPhaseModeId, 0, (round / 40) % 2);
		ASSERT_EQ (plugin->process (buffers, n, &changes), kResultOk);
		changes.clear ();
		ASSERT_TRUE (finiteOutput (buffers, n)) << "round " << round;
		if (round % 50 == 49)
		{
			plugin->stop ();
			plugin->setupProcessing (rates[(round / 50) % 5], 4096, kRealtime);
			plugin->setActive (true);
			plugin->setProcessing (true);
		}
		if (round % 70 == 69)
			plugin->setupProcessing (rates[round % 5], 4096, kRealtime);  // without stopping first
	}
}

TEST (HostileHost, RefusedLayoutsCanBeRetried)
{
	auto plugin = PluginInstance::createFirst (bundle ());
	ASSERT_TRUE (plugin);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::k51}, {SpeakerArr::k51}), kResultFalse);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::kMono}, {SpeakerArr::kMono}), kResultFalse);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::kStereo, SpeakerArr::kMono}, {SpeakerArr::kStereo}),
	           kResultFalse);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo}),
	           kResultOk);
	EXPECT_EQ (plugin->setBusArrangements ({SpeakerArr::kStereo}, {SpeakerArr::kStereo}), kResultOk);
	EXPECT_EQ (plugin->busArrangement (kOutput, 0), SpeakerArr::kStereo);
	EXPECT_EQ (plugin->processor ()->canProcessSampleSize (kSample64), kResultFalse);
}

TEST (HostileHost, StateAndParametersFromAnotherThreadWhileProcessing)
{
	auto plugin = started (48000.0, 512, false);
	ASSERT_TRUE (plugin);
	std::vector<char> saved;
	ASSERT_EQ (plugin->getState (saved), kResultOk);
	std::atomic<bool> stop {false};
	std::atomic<bool> finite {true};
	std::thread audio ([&] {
		ProcessBuffers buffers (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput), 512);
		ParameterChanges changes;
		changes.reserve (32);
		std::mt19937 rng (3);
		for (long block = 0; !stop.load (); ++block)
		{
			fill (buffers, 512, rng);
			changes.add (bandParamId (static_cast<int> (block % 24), kFieldGain), 0, (block % 10) / 10.0);
			changes.add (bandParamId (static_cast<int> (block % 24), kFieldEnabled), 0, 1.0);
			plugin->process (buffers, static_cast<int> (block % 513), &changes);
			changes.clear ();
			if (!finiteOutput (buffers, static_cast<int> (block % 513)))
				finite = false;
		}
	});
	for (int i = 0; i < 200; ++i)
	{
		std::vector<char> state;
		ASSERT_EQ (plugin->getState (state), kResultOk);
		ASSERT_EQ (state.size (), 1264u);
		ASSERT_EQ (plugin->setState (i % 2 ? state : saved), kResultOk);
	}
	stop = true;
	audio.join ();
	EXPECT_TRUE (finite.load ());
}

TEST (HostileHost, SeveralInstancesProcessAtOnce)
{
	std::vector<std::thread> threads;
	std::atomic<int> failures {0};
	for (int t = 0; t < 3; ++t)
	{
		threads.emplace_back ([&, t] {
			auto plugin = started (t == 0 ? 44100.0 : 48000.0, 256, false);
			if (!plugin)
			{
				++failures;
				return;
			}
			ProcessBuffers buffers (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput),
			                        256);
			ParameterChanges changes;
			std::mt19937 rng (static_cast<unsigned> (t));
			enableEveryBand (changes, rng);
			changes.add (kPhaseModeId, 0, t % 2);  // one instance in Linear mode builds kernels meanwhile
			for (int block = 0; block < 400; ++block)
			{
				fill (buffers, 256, rng);
				plugin->process (buffers, 256, &changes);
				changes.clear ();
				if (!finiteOutput (buffers, 256))
					++failures;
			}
		});
	}
	for (auto& t : threads)
		t.join ();
	EXPECT_EQ (failures.load (), 0);
}

TEST (HostileHost, NonFiniteInputDoesNotLeaveTheFiltersStuck)
{
	for (double phase : {0.0, 1.0})
	{
		auto plugin = started (48000.0, 512, false);
		ASSERT_TRUE (plugin);
		ProcessBuffers buffers (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput), 512);
		ParameterChanges changes;
		std::mt19937 rng (9);
		enableEveryBand (changes, rng);
		changes.add (kPhaseModeId, 0, phase);
		for (int block = 0; block < 4; ++block)
		{
			fill (buffers, 512, rng);
			plugin->process (buffers, 512, &changes);
			changes.clear ();
		}
		fill (buffers, 512, rng);
		buffers.input (0, 0)[100] = std::numeric_limits<float>::quiet_NaN ();
		buffers.input (0, 1)[200] = std::numeric_limits<float>::infinity ();
		plugin->process (buffers, 512, nullptr);
		// Once the input is finite again, the output must recover (Linear mode
		// needs the kernel length plus the delay to flush the convolution).
		bool recovered = false;
		for (int block = 0; block < 80 && !recovered; ++block)
		{
			fill (buffers, 512, rng);
			plugin->process (buffers, 512, nullptr);
			recovered = block > 2 && finiteOutput (buffers, 512);
		}
		EXPECT_TRUE (recovered) << (phase > 0 ? "Linear" : "Natural");
	}
}
