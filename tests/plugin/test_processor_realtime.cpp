// Real-time safety of the processor: no heap allocation while processing, and
// host threads calling setState, getState and setupProcessing while process
// runs on the audio thread (this file runs under ThreadSanitizer too).
#include "processor_rig.h"

#include "../controller/controller_test_support.h"

#include "instance_link.h"
#include "parameters.h"
#include "processor_state.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>

using namespace QuenrilEQ;
using QuenrilEQ::testing::fillNoise;
using QuenrilEQ::testing::outputsFinite;
using QuenrilEQ::testing::ProcessorRig;

// The sanitizers bring their own allocator.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {
std::atomic<bool> counting {false};
std::atomic<long> allocations {0};
} // namespace

void* operator new (std::size_t size)
{
	if (counting.load (std::memory_order_relaxed))
		allocations.fetch_add (1);
	if (void* p = std::malloc (size ? size : 1))
		return p;
	throw std::bad_alloc ();
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }

TEST (ProcessorRealtime, ProcessingAllocatesNothing)
{
	ProcessorRig rig (48000.0, 2048, 2, 2);
	rig.changes.reserve (400);  // the host side of the test must not allocate either
	std::mt19937 rng (3);
	QuenrilEQ::testing::setBusyBands (rig.changes);
	fillNoise (rig.buffers, 2048, rng, 0.5f);
	rig.run (2048);  // first designs, outside the count

	// A band auditioned all along: its filter and crossfade run in the count.
	Steinberg::IPtr<Steinberg::Vst::IMessage> audition = Steinberg::owned (new Steinberg::Vst::HostMessage);
	audition->setMessageID (kAuditionMessage);
	audition->getAttributes ()->setInt (kBandAttribute, 0);
	for (bool linear : {false, true})
	{
		rig.set (kPhaseModeId, linear ? 1.0 : 0.0);
		rig.processor->notify (audition);
		rig.run (16);
		counting = true;
		for (int block = 0; block < 200; ++block)
		{
			// Automation on every block: redesigns, rebuilds of the linear kernel.
			rig.set (bandParamId (block % 24, kFieldGain), (block % 7) / 7.0);
			rig.set (bandParamId ((block + 5) % 24, kFieldFreq), (block % 11) / 11.0);
			rig.run (1 + (block * 37) % 2048);
		}
		counting = false;
		EXPECT_EQ (allocations.load (), 0) << (linear ? "Linear" : "Natural");
		EXPECT_TRUE (outputsFinite (rig.buffers, 1));
	}
}
#endif

TEST (ProcessorRealtime, HostThreadsMayCallWhileProcessRuns)
{
	ProcessorRig rig (48000.0, 512, 2, 2);
	rig.changes.reserve (64);
	QuenrilEQ::testing::setBusyBands (rig.changes);
	rig.run (1);  // before any setState: held back, these would land after one and overwrite it
	std::atomic<bool> stop {false}, allFinite {true};
	std::atomic<long> blocks {0};
	std::thread audio ([&] {
		std::mt19937 rng (11);
		while (!stop.load ())
		{
			fillNoise (rig.buffers, 512, rng, 0.5f);
			// The audio side automates bands 0..11 only, so the host side can check 12..23.
			rig.set (bandParamId (blocks % 12, kFieldGain), (blocks % 13) / 13.0);
			rig.set (kPhaseModeId, (blocks / 50) % 2);
			rig.run (1 + static_cast<int> (blocks % 512));
			if (!outputsFinite (rig.buffers, 1))
				allFinite = false;
			++blocks;
		}
	});
	std::mt19937 rng (5);
	std::uniform_real_distribution<float> dist (0.0f, 1.0f);
	for (int round = 0; round < 60; ++round)
	{
		QuenrilEQ::testing::Bytes sent;
		sent.i32 (kProcessorStateMagic).i32 (2);
		for (int i = 0; i < 314; ++i)
			sent.f32 (dist (rng));
		rig.processor->setState (QuenrilEQ::testing::streamOf (sent.data));
		const auto back = rig.state ();
		for (int i = 8 + 4 * (2 + 12 * 13); i < 8 + 4 * 314; ++i)
			ASSERT_EQ (back[i], sent.data[i]) << "byte " << i << " right after setState";
		if (round % 10 == 0)
			rig.setup (round % 20 == 0 ? 44100.0 : 96000.0, 512);
	}
	while (blocks.load () < 500)
		std::this_thread::yield ();
	stop = true;
	audio.join ();
	EXPECT_TRUE (allFinite.load ());
}
