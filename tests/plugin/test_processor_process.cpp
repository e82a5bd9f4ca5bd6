// The process loop as a host drives it: when parameter changes act, what
// reaches the outputs and the waveform rings, side-chain and channel layouts.
#include "processor_rig.h"

#include "parameters.h"
#include "processor_state.h"
#include "waveform_ring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace QuenrilEQ;
using QuenrilEQ::testing::ProcessorRig;

namespace {

constexpr double kPi = 3.14159265358979323846;

float storedValue (const std::vector<char>& state, ParamId id)
{
	for (int i = 0; i < processorStateValueCount (2); ++i)
	{
		if (processorStateId (2, i) != id)
			continue;
		float v;
		std::memcpy (&v, state.data () + 8 + 4 * i, 4);
		return v;
	}
	return -1.0f;
}

void fillSine (ProcessorRig& rig, int bus, int channels, int n, double hz, double amplitude, long& phase)
{
	for (int s = 0; s < n; ++s, ++phase)
		for (int c = 0; c < channels; ++c)
			rig.buffers.input (bus, c)[s] = static_cast<float> (amplitude * std::sin (2 * kPi * hz * phase / 48000.0));
}

double rms (const float* x, int n)
{
	double sum = 0;
	for (int i = 0; i < n; ++i)
		sum += static_cast<double> (x[i]) * x[i];
	return std::sqrt (sum / n);
}

/** Steady-state gain in dB of output channel c for a sine on every input channel. */
double measuredGainDb (ProcessorRig& rig, double hz, int channels = 2, int channel = 0)
{
	long phase = 0;
	double out = 0, in = 0;
	for (int block = 0; block < 40; ++block)
	{
		fillSine (rig, 0, channels, 480, hz, 0.1, phase);
		rig.run (480);
		if (block >= 30)
		{
			in += rms (rig.buffers.input (0, channel), 480);
			out += rms (rig.buffers.output (0, channel), 480);
		}
	}
	return 20 * std::log10 (out / in);
}

void enableBell (ProcessorRig& rig, int band, double hz, double db, int channel = kStereo)
{
	rig.set (bandParamId (band, kFieldEnabled), 1.0);
	rig.set (bandParamId (band, kFieldFreq), freqToNormalized (hz));
	rig.set (bandParamId (band, kFieldGain), gainToNormalized (db));
	rig.set (bandParamId (band, kFieldChannel), channel / 4.0);
}

} // namespace

TEST (ProcessorProcess, EmptyBlockAppliesChangesAndLeavesAudioAlone)
{
	ProcessorRig rig;
	rig.buffers.output (0, 0)[0] = 123.0f;
	rig.set (bandParamId (3, kFieldGain), 0.75);
	rig.run (0);
	EXPECT_EQ (rig.buffers.output (0, 0)[0], 123.0f);
	EXPECT_EQ (storedValue (rig.state (), bandParamId (3, kFieldGain)), 0.75f);
}

TEST (ProcessorProcess, OnlyTheLastPointOfAQueueCounts)
{
	ProcessorRig rig;
	const ParamId gain = bandParamId (0, kFieldGain);
	rig.changes.add (gain, 0, 0.1);
	rig.changes.add (gain, 100, 0.9);
	rig.changes.add (gain, 300, gainToNormalized (12.0));
	rig.set (bandParamId (0, kFieldEnabled), 1.0);
	EXPECT_NEAR (measuredGainDb (rig, 1000.0), 12.0, 0.05);  // the whole block, from its start
	EXPECT_EQ (storedValue (rig.state (), gain), static_cast<float> (gainToNormalized (12.0)));
}

TEST (ProcessorProcess, AllBandsOffIsBitTransparentAndFeedsTheRings)
{
	ProcessorRig rig;
	long phase = 0;
	fillSine (rig, 0, 2, 1000, 440.0, 0.5, phase);
	rig.buffers.input (0, 1)[7] = -0.25f;  // channels differ
	const std::uint64_t before0 = waveformRing (0).writeCount.load ();
	const std::uint64_t before1 = waveformRing (1).writeCount.load ();
	rig.run (1000);
	for (int c = 0; c < 2; ++c)
		EXPECT_EQ (0, std::memcmp (rig.buffers.input (0, c), rig.buffers.output (0, c), 1000 * sizeof (float)));
	EXPECT_EQ (waveformRing (0).writeCount.load () - before0, 1000u);
	EXPECT_EQ (waveformRing (1).writeCount.load () - before1, 1000u);
	std::vector<float> newest (1000);
	readNewest (waveformRing (1), newest.data (), 1000);
	EXPECT_EQ (0, std::memcmp (newest.data (), rig.buffers.output (0, 1), 1000 * sizeof (float)));
	EXPECT_EQ (waveformRing (0).sampleRate.load (), 48000.0);
}

TEST (ProcessorProcess, BellBoostsItsFrequencyAndTargetsOneChannel)
{
	ProcessorRig rig;
	enableBell (rig, 5, 1000.0, 9.0, kLeft);
	EXPECT_NEAR (measuredGainDb (rig, 1000.0, 2, 0), 9.0, 0.05);
	EXPECT_NEAR (measuredGainDb (rig, 1000.0, 2, 1), 0.0, 1e-4);
}

TEST (ProcessorProcess, ExternalSidechainWithoutAStereoBusSeesSilence)
{
	for (int sidechainChannels : {0, 1, 2})
	{
		ProcessorRig rig (48000.0, 1024, 2, sidechainChannels);
		enableBell (rig, 0, 1000.0, 12.0);
		rig.set (bandParamId (0, kFieldDynamicsEnabled), 1.0);
		rig.set (bandParamId (0, kFieldThreshold), thresholdToNormalized (-40.0));
		rig.set (bandParamId (0, kFieldRatio), ratioToNormalized (20.0));
		rig.set (bandParamId (0, kFieldSidechainSource), 1.0);
		if (sidechainChannels > 0)
		{
			long phase = 0;
			fillSine (rig, 1, sidechainChannels, 1024, 1000.0, 0.9, phase);  // loud, constant
		}
		const double gain = measuredGainDb (rig, 1000.0);
		if (sidechainChannels == 2)
			EXPECT_LT (gain, 3.0) << "a loud stereo side-chain pulls the boost down";
		else
			EXPECT_NEAR (gain, 12.0, 0.05) << sidechainChannels << " side-chain channels";
	}
}

TEST (ProcessorProcess, OneChannelBufferRunsEveryEnabledBandOnIt)
{
	// A Side-target band does nothing to a centred stereo signal, but a mono
	// buffer goes through the band's first filter set whatever its target.
	ProcessorRig stereo;
	enableBell (stereo, 2, 2000.0, 6.0, kSide);
	EXPECT_NEAR (measuredGainDb (stereo, 2000.0), 0.0, 1e-4);

	ProcessorRig mono (48000.0, 1024, 1);
	enableBell (mono, 2, 2000.0, 6.0, kSide);
	EXPECT_NEAR (measuredGainDb (mono, 2000.0, 1), 6.0, 0.05);
}

TEST (ProcessorProcess, BadValuesDecodeToTheRangeEnds)
{
	ProcessorRig rig;
	enableBell (rig, 0, 1000.0, 0.0);
	rig.set (bandParamId (0, kFieldGain), 7.5);  // above 1: +30 dB
	rig.set (bandParamId (0, kFieldShape), -3.0);  // below 0: Bell
	EXPECT_NEAR (measuredGainDb (rig, 1000.0), 30.0, 0.1);
	rig.set (bandParamId (0, kFieldGain), std::nan (""));
	const double gain = measuredGainDb (rig, 1000.0);
	EXPECT_TRUE (std::isfinite (gain));
	EXPECT_NEAR (gain, -30.0, 0.1);
}

TEST (ProcessorProcess, LinearModeLatencyAndFirstBuild)
{
	ProcessorRig rig;
	rig.set (kPhaseModeId, 1.0);
	long phase = 0;
	fillSine (rig, 0, 2, 512, 300.0, 0.5, phase);
	rig.run (512);
	EXPECT_EQ (rig.processor->getLatencySamples (), 1152u);
	// Before the kernel exists the audio passes unchanged.
	EXPECT_EQ (0, std::memcmp (rig.buffers.input (0, 0), rig.buffers.output (0, 0), 512 * sizeof (float)));
	fillSine (rig, 0, 2, 512, 300.0, 0.5, phase);
	rig.run (512);  // 1024 >= 960 samples: built at this block's start, output now delayed
	EXPECT_NE (0, std::memcmp (rig.buffers.input (0, 0), rig.buffers.output (0, 0), 512 * sizeof (float)));

	const std::pair<double, unsigned> settings[] = {{0.0, 1152u}, {1.0 / 3, 2176u}, {0.5, 4224u}, {1.0, 8320u}};
	for (const auto& [value, latency] : settings)
	{
		rig.set (kLinearLatencyId, value);
		rig.run (0);
		EXPECT_EQ (rig.processor->getLatencySamples (), latency) << value;
	}
	rig.set (kPhaseModeId, 0.0);
	rig.run (0);
	EXPECT_EQ (rig.processor->getLatencySamples (), 0u);
}
