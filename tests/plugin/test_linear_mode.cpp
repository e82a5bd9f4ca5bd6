// "Linear" phase mode of the real bundle, driven through the host harness:
// the delay it reports, its magnitude against "Natural" mode, and automation
// that must not interrupt the sound.
#include "module.h"
#include "eq_band.h"
#include "parameters.h"
#include "plugin_instance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

using namespace QuenrilEQ;
using namespace QuenrilEQ::host;
using namespace Steinberg::Vst;

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;
constexpr double kPi = 3.14159265358979323846;

struct Hosted
{
	explicit Hosted (bool linear)
	{
		plugin = PluginInstance::createFirst (Module::load (QEQ_BUNDLE_PATH));
		plugin->activateDefaultBuses ();
		plugin->start (kRate, kBlock, kRealtime);
		buffers = std::make_unique<ProcessBuffers> (plugin->processChannelCounts (kInput),
		                                             plugin->processChannelCounts (kOutput), kBlock);
		changes.add (kPhaseModeId, 0, linear ? 1.0 : 0.0);
	}

	/** Runs a mono signal on both channels; returns channel 0 of the output. */
	std::vector<float> run (const std::vector<float>& input)
	{
		std::vector<float> output;
		for (size_t start = 0; start + kBlock <= input.size (); start += kBlock)
		{
			for (int c = 0; c < 2; ++c)
				std::copy (input.begin () + static_cast<long> (start), input.begin () + static_cast<long> (start) + kBlock,
				           buffers->input (0, c));
			if (perBlock)
				perBlock (start / kBlock);
			plugin->process (*buffers, kBlock, &changes);
			changes.clear ();
			output.insert (output.end (), buffers->output (0, 0), buffers->output (0, 0) + kBlock);
		}
		return output;
	}

	std::unique_ptr<PluginInstance> plugin;
	std::unique_ptr<ProcessBuffers> buffers;
	ParameterChanges changes;
	std::function<void (size_t)> perBlock;
};

std::vector<float> sine (double hz, size_t n)
{
	std::vector<float> x (n);
	for (size_t i = 0; i < n; ++i)
		x[i] = static_cast<float> (0.25 * std::sin (2 * kPi * hz * static_cast<double> (i) / kRate));
	return x;
}

double rms (const std::vector<float>& x, size_t from, size_t count)
{
	double sum = 0;
	for (size_t i = from; i < from + count; ++i)
		sum += static_cast<double> (x[i]) * x[i];
	return std::sqrt (sum / static_cast<double> (count));
}

void configureBands (ParameterChanges& changes)
{
	const struct
	{
		int shape;
		double hz, db, q;
		int slope;
	} bands[] = {{kBell, 1000, 6, 1.0, 0}, {kLowShelf, 120, -4, 0.7, 1}, {kHighCut, 9000, 0, 0.707, 2},
	             {kNotch, 2400, 0, 8.0, 0}, {kTiltShelf, 500, 3, 0.7, 1}};
	for (int b = 0; b < 5; ++b)
	{
		changes.add (bandParamId (b, kFieldEnabled), 0, 1.0);
		changes.add (bandParamId (b, kFieldShape), 0, bands[b].shape / 8.0);
		changes.add (bandParamId (b, kFieldFreq), 0, freqToNormalized (bands[b].hz));
		changes.add (bandParamId (b, kFieldGain), 0, gainToNormalized (bands[b].db));
		changes.add (bandParamId (b, kFieldQ), 0, qToNormalized (bands[b].q));
		changes.add (bandParamId (b, kFieldSlope), 0, bands[b].slope / 4.0);
	}
}

} // namespace

TEST (LinearMode, AllBandsOffIsTheInputDelayedByTheReportedLatency)
{
	Hosted h (true);
	std::vector<float> noise (48000);
	unsigned seed = 1;
	for (float& v : noise)
		v = static_cast<float> ((seed = seed * 1103515245u + 12345u) >> 8) / 16777216.0f - 0.5f;
	const auto out = h.run (noise);
	const long latency = static_cast<long> (h.plugin->latencySamples ());
	ASSERT_EQ (latency, 1152);
	const double centreTap = 0.9999986;  // window value at the kernel's centre, N = 2048
	// The kernel is built at the third 480-sample block (960 samples of audio).
	for (long n = 1440 + latency; n < static_cast<long> (out.size ()); ++n)
		ASSERT_NEAR (out[n], centreTap * noise[n - latency], 2e-6) << n;
}

TEST (LinearMode, MagnitudeMatchesNaturalMode)
{
	// Away from the notch, whose exact zero no finite kernel reaches.
	for (double hz : {60.0, 200.0, 1000.0, 3500.0, 5000.0, 12000.0})
	{
		double level[2];
		for (bool linear : {false, true})
		{
			Hosted h (linear);
			configureBands (h.changes);
			h.changes.add (kLinearLatencyId, 0, 1.0);  // the longest kernel resolves the low shelf
			const auto out = h.run (sine (hz, 96000));
			level[linear] = 20 * std::log10 (rms (out, 48000, 48000) / rms (sine (hz, 96000), 48000, 48000));
		}
		EXPECT_NEAR (level[1], level[0], 0.1) << hz << " Hz";
	}
}

TEST (LinearMode, AutomatedGainHasNoGapsOrJumps)
{
	Hosted h (true);
	h.changes.add (bandParamId (0, kFieldEnabled), 0, 1.0);
	h.changes.add (bandParamId (0, kFieldFreq), 0, freqToNormalized (800.0));
	h.perBlock = [&] (size_t block) {
		// A slow gain ramp from -6 to +6 dB and back, a new value every block.
		const double db = 6.0 * std::sin (2 * kPi * static_cast<double> (block) / 100.0);
		h.changes.add (bandParamId (0, kFieldGain), 0, gainToNormalized (db));
	};
	const auto out = h.run (sine (800.0, 240000));
	for (size_t start = 8 * 1024; start + 256 <= out.size (); start += 128)
	{
		const double a = rms (out, start, 128), b = rms (out, start + 128, 128);
		ASSERT_GT (a, 0.0) << start;
		ASSERT_NEAR (20 * std::log10 (b / a), 0.0, 1.0) << "block at " << start;
	}
}
