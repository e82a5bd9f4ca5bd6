// The plug-in loaded from its bundle by our host harness and driven the way
// careless or unusual hosts drive plug-ins: odd block sizes, rate changes
// between blocks, activation toggling, refused bus layouts, several instances
// at once, non-finite input, and a host that learns of latency changes late.
#include "processor_rig.h"

#include "module.h"
#include "parameters.h"
#include "plugin_instance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>

using namespace QuenrilEQ;
using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Hosted
{
	Hosted (double rate, int maxBlock, bool sidechain = false, unsigned seed = 0)
	: plugin (PluginInstance::createFirst (Module::load (QEQ_BUNDLE_PATH))), rng (seed)
	{
		plugin->activateDefaultBuses ();
		if (sidechain)
			plugin->activateBus (kInput, 1, true);
		plugin->start (rate, maxBlock, kRealtime);
		buffers = std::make_unique<ProcessBuffers> (plugin->processChannelCounts (kInput), plugin->processChannelCounts (kOutput), maxBlock);
	}

	/** One block of noise; true when every output sample is finite. */
	bool run (int n, bool withChanges = true)
	{
		QuenrilEQ::testing::fillNoise (*buffers, n, rng, 0.3f);
		EXPECT_EQ (plugin->process (*buffers, n, withChanges ? &changes : nullptr), kResultOk);
		changes.clear ();
		return QuenrilEQ::testing::outputsFinite (*buffers, n);
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
	QuenrilEQ::testing::setBusyBands (h.changes);
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

	// Layouts the plug-in refuses leave it ready for one it takes.
	h.plugin->stop ();
	using A = std::vector<SpeakerArrangement>;
	for (const auto& [ins, outs] : {std::pair {A {SpeakerArr::k51}, A {SpeakerArr::k51}}, std::pair {A {SpeakerArr::kMono}, A {SpeakerArr::kMono}},
	                                std::pair {A {SpeakerArr::kStereo, SpeakerArr::kMono}, A {SpeakerArr::kStereo}}})
		EXPECT_EQ (h.plugin->setBusArrangements (ins, outs), kResultFalse);
	EXPECT_EQ (h.plugin->setBusArrangements ({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo}), kResultOk);
	EXPECT_EQ (h.plugin->setBusArrangements ({SpeakerArr::kStereo}, {SpeakerArr::kStereo}), kResultOk);
	EXPECT_EQ (h.plugin->busArrangement (kOutput, 0), SpeakerArr::kStereo);
	EXPECT_EQ (h.plugin->processor ()->canProcessSampleSize (kSample64), kResultFalse);
}

TEST (HostileHost, SeveralInstancesProcessAtOnceAndRecoverFromNonFiniteInput)
{
	// Created on this thread, as hosts create plug-ins on their UI thread; only processing runs in parallel.
	std::vector<std::unique_ptr<Hosted>> instances;
	for (int t = 0; t < 3; ++t)
	{
		instances.push_back (std::make_unique<Hosted> (t == 0 ? 44100.0 : 48000.0, 256, false, static_cast<unsigned> (t)));
		QuenrilEQ::testing::setBusyBands (instances.back ()->changes);
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

	// Once the input is finite again, the output recovers, neither non-finite nor stuck silent
	// (Linear mode needs the kernel length and the delay to flush the convolution).
	for (int t = 0; t < 2; ++t)
	{
		Hosted& h = *instances[t];
		h.buffers->input (0, 0)[100] = std::numeric_limits<float>::quiet_NaN ();
		h.buffers->input (0, 1)[200] = std::numeric_limits<float>::infinity ();
		h.plugin->process (*h.buffers, 256, nullptr);
		bool recovered = false;
		for (int block = 0; block < 160 && !recovered; ++block)
			recovered = h.run (256, false) && block > 5 && h.buffers->output (0, 0)[255] != 0.0f;
		EXPECT_TRUE (recovered) << (t == 0 ? "Linear" : "Natural");
	}
}

// Every change of the reported latency reaches the host, whichever way it came. The host here
// re-reads getLatencySamples only at the start of a cycle after a restartComponent
// (kLatencyChanged), before that cycle's parameter changes reach the processor (Ardour does
// so), and compensates with the value it read. The change comes through the controller as well
// (the host's own controls) or only through process() (automation): both must end with the
// host reading the latency the audio really has.
TEST (LatencyReporting, HostsThatReadLateOrNeverHearOfTheChangeStillCompensate)
{
	constexpr int kBlock = 480;
	for (bool viaController : {true, false})
	{
		SCOPED_TRACE (viaController ? "through the controller and process" : "through process only");
		Hosted host (48000.0, kBlock);
		ASSERT_TRUE (host.plugin->connected ());
		Steinberg::uint32 compensation = host.plugin->latencySamples ();
		ASSERT_EQ (compensation, 0u);
		size_t restartsRead = 0;
		// One cycle in real time (the plug-in's own threads get their turns); returns the left output.
		const auto cycle = [&] (const std::vector<float>& input) {
			const size_t restarts = host.plugin->handler ().restartCount (kLatencyChanged);
			if (restarts != restartsRead)
				restartsRead = restarts, compensation = host.plugin->latencySamples ();
			for (int c = 0; c < 2; ++c)
				std::copy (input.begin (), input.end (), host.buffers->input (0, c));
			host.plugin->process (*host.buffers, kBlock, &host.changes);
			host.changes.clear ();
			std::this_thread::sleep_for (std::chrono::microseconds (10000));
			return std::vector<float> (host.buffers->output (0, 0), host.buffers->output (0, 0) + kBlock);
		};
		// Sets a value as automation does (and through the controller when asked); true once the
		// host compensates `expected`, within a second.
		const auto settlesAt = [&] (ParamID id, double value, Steinberg::uint32 expected) {
			if (viaController)
				host.plugin->setParamNormalized (id, value);
			host.changes.add (id, 0, value);
			for (int i = 0; i < 100 && compensation != expected; ++i)
				cycle (std::vector<float> (kBlock));
			return compensation == expected;
		};
		EXPECT_TRUE (settlesAt (kPhaseModeId, 1.0, 1152)) << "the host compensates " << compensation;
		EXPECT_TRUE (settlesAt (kLinearLatencyId, 1.0, 8320)) << "the host compensates " << compensation;

		// With every band off the kernel is a delayed impulse: compensated by what the host
		// read, impulses come out where they went in.
		std::vector<float> in, out;
		for (int block = 0; block < 60; ++block)
		{
			std::vector<float> x (kBlock);
			if (block % 10 == 5)
				x[block % 7 * 50] = 1.0f;
			const std::vector<float> y = cycle (x);
			in.insert (in.end (), x.begin (), x.end ());
			out.insert (out.end (), y.begin (), y.end ());
		}
		int impulses = 0;
		for (size_t n = 0; n + compensation < out.size (); ++n)
			if (in[n] != 0.0f)
			{
				++impulses;
				EXPECT_NEAR (out[n + compensation], 1.0f, 1e-3) << "impulse at " << n;
			}
		EXPECT_GE (impulses, 3);
		EXPECT_TRUE (settlesAt (kPhaseModeId, 0.0, 0)) << "the host compensates " << compensation;
	}
}
