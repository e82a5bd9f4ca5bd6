// The process loop as a host drives it: when parameter changes act, what
// reaches the outputs (the waveform rings are the bindings tests' to read),
// channel layouts and the side-chain, Linear mode against Natural, and outputs
// beyond the float range.
#include "processor_rig.h"

#include "parameters.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

using namespace QuenrilEQ;
using QuenrilEQ::testing::ProcessorRig;

namespace {

/** Blocks of a sine on `channels` inputs of `bus`, with `each (block)` before every block;
    returns output channel `channel` of every block. */
std::vector<float> play (ProcessorRig& rig, int blocks, int n, double hz, double amplitude, int channels = 2, int bus = 0,
                         int channel = 0, const std::function<void (int)>& each = {})
{
	std::vector<float> out;
	for (long b = 0, phase = 0; b < blocks; ++b)
	{
		for (int s = 0; s < n; ++s, ++phase)
			for (int c = 0; c < channels; ++c)
				rig.buffers.input (bus, c)[s] = static_cast<float> (amplitude * std::sin (2 * M_PI * hz * phase / 48000.0));
		if (each)
			each (static_cast<int> (b));
		rig.run (n);
		out.insert (out.end (), rig.buffers.output (0, channel), rig.buffers.output (0, channel) + n);
	}
	return out;
}

double rmsDb (const std::vector<float>& x, size_t from, size_t count)
{
	double sum = 0;
	for (size_t i = from; i < from + count; ++i)
		sum += static_cast<double> (x[i]) * x[i];
	return 10 * std::log10 (sum / static_cast<double> (count));
}

/** Steady-state gain (dB) of output `channel` for a 0.1 sine on every input channel. */
double gainDb (ProcessorRig& rig, double hz, int channels = 2, int channel = 0)
{
	return rmsDb (play (rig, 40, 480, hz, 0.1, channels, 0, channel), 30 * 480, 4800) - 20 * std::log10 (0.1 / std::sqrt (2.0));
}

void enableBand (ProcessorRig& rig, int band, double hz, double db, int channel = kStereo, int shape = kBell)
{
	rig.set (bandParamId (band, kFieldEnabled), 1.0);
	rig.set (bandParamId (band, kFieldShape), shape / 8.0);
	rig.set (bandParamId (band, kFieldFreq), freqToNormalized (hz));
	rig.set (bandParamId (band, kFieldGain), gainToNormalized (db));
	rig.set (bandParamId (band, kFieldChannel), channel / 4.0);
}

} // namespace

TEST (ProcessorProcess, AllBandsOffIsBitTransparentThenChangesActFromTheBlockStartAndOnlyTheLastPointCounts)
{
	ProcessorRig rig;
	play (rig, 1, 1000, 440.0, 0.5);
	rig.buffers.input (0, 1)[7] = -0.25f;  // channels differ
	rig.run (1000);
	for (int c = 0; c < 2; ++c)
		EXPECT_EQ (0, std::memcmp (rig.buffers.input (0, c), rig.buffers.output (0, c), 1000 * sizeof (float)));

	const ParamId gain = bandParamId (0, kFieldGain);
	rig.changes.add (gain, 0, 0.1);
	rig.changes.add (gain, 100, 0.9);
	rig.changes.add (gain, 300, gainToNormalized (12.0));
	rig.set (bandParamId (0, kFieldEnabled), 1.0);
	rig.buffers.output (0, 0)[0] = 123.0f;
	rig.run (0);  // an empty block applies changes and leaves the audio alone
	EXPECT_EQ (rig.buffers.output (0, 0)[0], 123.0f);
	EXPECT_NEAR (gainDb (rig, 1000.0), 12.0, 0.05);
	// Values beyond the range decode to its ends; NaN to its start.
	rig.set (gain, 7.5);
	rig.set (bandParamId (0, kFieldShape), -3.0);
	EXPECT_NEAR (gainDb (rig, 1000.0), 30.0, 0.1);
	rig.set (gain, std::nan (""));
	EXPECT_NEAR (gainDb (rig, 1000.0), -30.0, 0.1);
}

TEST (ProcessorProcess, ChannelTargetsLayoutsAndTheSidechain)
{
	// A Left band leaves the right alone; a Side band does nothing to a centred signal; a
	// one-channel buffer runs every band on it.
	for (const auto& [target, channels, channel, expected] : {std::tuple {kLeft, 2, 0, 9.0}, std::tuple {kLeft, 2, 1, 0.0},
	                                                          std::tuple {kSide, 2, 0, 0.0}, std::tuple {kSide, 1, 0, 9.0}})
	{
		ProcessorRig rig (48000.0, 1024, channels);
		enableBand (rig, 5, 1000.0, 9.0, target);
		const double tolerance = expected == 0.0 ? 1e-4 : 0.05;
		EXPECT_NEAR (gainDb (rig, 1000.0, channels, channel), expected, tolerance) << target << " " << channel;
	}

	// An external side-chain needs a stereo bus; otherwise it is silence.
	for (int sidechainChannels : {0, 1, 2})
	{
		ProcessorRig sc (48000.0, 1024, 2, sidechainChannels);
		enableBand (sc, 0, 1000.0, 12.0);
		sc.set (bandParamId (0, kFieldDynamicsEnabled), 1.0);
		sc.set (bandParamId (0, kFieldThreshold), thresholdToNormalized (-40.0));
		sc.set (bandParamId (0, kFieldRatio), ratioToNormalized (20.0));
		sc.set (bandParamId (0, kFieldSidechainSource), 1.0);
		if (sidechainChannels > 0)
			play (sc, 1, 1024, 1000.0, 0.9, sidechainChannels, 1);  // loud, left in place
		const double gain = gainDb (sc, 1000.0);
		if (sidechainChannels == 2)
			EXPECT_LT (gain, 3.0) << "a loud stereo side-chain pulls the boost down";
		else
			EXPECT_NEAR (gain, 12.0, 0.05) << sidechainChannels << " side-chain channels";
	}
}

TEST (ProcessorProcess, LinearModeReportsItsLatencyAndSoundsLikeNatural)
{
	ProcessorRig rig;
	rig.set (kPhaseModeId, 1.0);
	for (const auto& [value, latency] :
	     {std::pair {0.0, 1152u}, std::pair {1.0 / 3, 2176u}, std::pair {0.5, 4224u}, std::pair {1.0, 8320u}})
	{
		rig.set (kLinearLatencyId, value);
		rig.run (0);
		EXPECT_EQ (rig.processor->getLatencySamples (), latency) << value;
	}

	// The longest kernel resolves the low shelf; away from the notch, whose exact zero no finite
	// kernel reaches, both modes give the same levels.
	for (double hz : {60.0, 200.0, 1000.0, 3500.0, 12000.0})
	{
		double level[2];
		for (bool linear : {false, true})
		{
			ProcessorRig r;
			r.set (kPhaseModeId, linear);
			r.set (kLinearLatencyId, 1.0);
			enableBand (r, 0, 1000, 6);
			enableBand (r, 1, 120, -4, kStereo, kLowShelf);
			enableBand (r, 2, 9000, 0, kStereo, kHighCut);
			enableBand (r, 3, 2400, 0, kStereo, kNotch);
			enableBand (r, 4, 500, 3, kStereo, kTiltShelf);
			r.set (bandParamId (2, kFieldSlope), 0.5);
			const auto y = play (r, 200, 480, hz, 0.25);
			level[linear] = rmsDb (y, 48000, 48000);
		}
		EXPECT_NEAR (level[1], level[0], 0.1) << hz << " Hz";
	}
}

TEST (ProcessorProcess, AutomatedLinearGainHasNoGapsOrJumps)
{
	ProcessorRig rig (48000.0, 480);
	rig.set (kPhaseModeId, 1.0);
	enableBand (rig, 0, 800.0, 0.0);
	// A slow gain ramp from -6 to +6 dB and back, a new value every block.
	const auto out = play (rig, 500, 480, 800.0, 0.25, 2, 0, 0, [&rig] (int b) {
		rig.set (bandParamId (0, kFieldGain), gainToNormalized (6.0 * std::sin (2 * M_PI * b / 100.0)));
	});
	for (size_t start = 8 * 1024; start + 256 <= out.size (); start += 128)
		ASSERT_NEAR (rmsDb (out, start + 128, 128) - rmsDb (out, start, 128), 0.0, 1.0) << "block at " << start;
}

TEST (ProcessorProcess, OverloadSaturatesInsteadOfInfinity)
{
	// Resonant 96 dB/oct cuts (largest Q) stacked on one frequency amplify a full-scale sine there by
	// hundreds of dB per band: the host must still get finite samples, at the ends of the float
	// range. The linear kernel spreads the resonances over its length, so it needs every band.
	for (const auto& [channels, linear, bands] : {std::tuple {2, false, 6}, std::tuple {1, false, 6}, std::tuple {2, true, 24}})
	{
		ProcessorRig rig (48000.0, 1024, channels);
		for (int b = 0; b < bands; ++b)
		{
			enableBand (rig, b, 76.0, 0.0, kStereo, kLowCut);
			rig.set (bandParamId (b, kFieldQ), 1.0);
			rig.set (bandParamId (b, kFieldSlope), 1.0);
		}
		rig.set (kPhaseModeId, linear);
		float peak = 0.0f;
		for (float v : play (rig, 96, 1024, 76.0, 1.0, channels, 0, channels - 1))
		{
			ASSERT_TRUE (std::isfinite (v)) << channels << " channels, linear " << linear;
			peak = std::max (peak, std::fabs (v));
		}
		EXPECT_EQ (peak, FLT_MAX) << "saturated, not silenced";
	}
}
