// Band dynamics driven by steady tones: the detector follows the level around
// the band on its channel target or the side-chain, the envelope moves with
// its time constants, and the band's gain settles where the control law puts
// it. Levels are set from the closed form of the detector envelope: with
// equal attack and release the dB-domain smoother averages 20 log10 |sin|,
// whose mean over a cycle is 20 log10(1/2) = -6.0206 dB below the peak.
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace QuenrilEQ {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = 48000.0;
constexpr double kToneHz = 1000.3;  // not a divisor of the rate, so the tone's phases spread evenly

/** A dynamic bell at the tone's frequency, threshold -18 dB, slow equal smoothing. */
EqBand dynamicBell (double gainDb, double ratio = 2.0)
{
	EqBand band;
	band.enabled = band.dynamicsEnabled = true;
	band.ratio = ratio;
	band.attack = band.release = 400.0;
	designBand (band, kBell, kToneHz, gainDb, 1.0, 2, kFs);
	resetBandState (band);
	return band;
}

/** Peak amplitude of a tone whose detector envelope settles at levelDb. */
double amplitudeForLevel (double levelDb) { return std::pow (10.0, (levelDb + 6.020599913279624) / 20.0); }

struct ToneRun
{
	double outputGainDb = 0;  // the band's output tone over its input, last 100 ms
	double minGain = 1e9, maxGain = -1e9;  // dynamic gain over the second half
};

/** Six seconds of a one-band bank: left = right = tone, or the tone on the side-chain and 18 dB less on the main input. */
ToneRun runTone (EqBand& band, double amplitude, bool toneOnSidechain)
{
	BandBank bank;
	bank.bands[0] = band;
	const int total = static_cast<int> (6 * kFs), window = static_cast<int> (0.1 * kFs);
	ToneRun run;
	double inEnergy = 0, outEnergy = 0;
	for (int n = 0; n < total; ++n)
	{
		const double x = amplitude * std::sin (2 * kPi * kToneHz / kFs * n), in = toneOnSidechain ? 0.125 * x : x;
		double l = in, r = in;
		processStereoSample (bank, l, r, toneOnSidechain ? x : 0.0, toneOnSidechain ? x : 0.0);
		if (n > total / 2)
			run.minGain = std::min (run.minGain, bank.bands[0].dynamicGain), run.maxGain = std::max (run.maxGain, bank.bands[0].dynamicGain);
		if (n >= total - window)
			inEnergy += in * in, outEnergy += l * l;
	}
	run.outputGainDb = 10 * std::log10 (outEnergy / inEnergy);
	band = bank.bands[0];
	return run;
}

TEST (BandDynamics, SteadyTonesSettleAtTheControlLawGains)
{
	struct Case
	{
		double gain, ratio, levelDb, expectedGain;
		int source;  // 1: external, the tone on the side-chain; 2: internal, the same signals
	};
	// Boost +6: at -6 dB the reduction of 6 dB removes it all; at -12 dB half of it stays.
	// Cut -6: the reduction lifts it toward 0 dB and stops there. Ratio 1 never acts. With an
	// external source the main input (18 dB lower) does not count; with an internal one only it does.
	for (const Case c : {Case {6, 2, -6, 0, 0}, Case {6, 2, -12, 3, 0}, Case {-6, 2, -12, -3, 0}, Case {-6, 2, -6, 0, 0},
	                     Case {-6, 2, 0, 0, 0}, Case {6, 2, -30, 6, 0}, Case {9, 1, 0, 9, 0}, Case {6, 2, -6, 0, 1},
	                     Case {6, 2, -6, 6, 2}})
	{
		SCOPED_TRACE (::testing::Message () << c.gain << " dB, ratio " << c.ratio << " at " << c.levelDb << " dB, source " << c.source);
		EqBand band = dynamicBell (c.gain, c.ratio);
		band.sidechainSource = c.source == 1 ? 1 : 0;
		const ToneRun run = runTone (band, amplitudeForLevel (c.levelDb), c.source > 0);
		EXPECT_NEAR (band.envelope, c.source == 2 ? c.levelDb + 20 * std::log10 (0.125) : c.levelDb, 0.1);
		EXPECT_NEAR (run.minGain, c.expectedGain, 0.1);
		EXPECT_NEAR (run.maxGain, c.expectedGain, 0.1);
		// What a listener hears: the bell at the tone's frequency has the dynamic gain.
		EXPECT_NEAR (run.outputGainDb, c.expectedGain, 0.1);
	}
}

TEST (BandDynamics, DetectorFollowsTheChannelTargetAndAMissingSidechainIsSilence)
{
	// A left-only tone: Left reads it as it is; Stereo, Mid and Side read the halved sum or
	// difference (6.02 dB lower); Right and an absent side-chain read nothing.
	const struct
	{
		std::int32_t channel, source;
		double level;
	} cases[] = {{kLeft, 0, -20.0}, {kStereo, 0, -26.0206}, {kMid, 0, -26.0206}, {kSide, 0, -26.0206}, {kRight, 0, -120.0},
	             {kStereo, 1, -120.0}};
	for (const auto& c : cases)
	{
		BandBank bank;
		bank.bands[0] = dynamicBell (6.0);
		bank.bands[0].channel = c.channel;
		bank.bands[0].sidechainSource = c.source;
		std::vector<double> left (4 * 48000), right (left.size ());
		for (std::size_t n = 0; n < left.size (); ++n)
			left[n] = amplitudeForLevel (-20.0) * std::sin (2 * kPi * kToneHz / kFs * n);
		processStereoBlock (bank, left.data (), right.data (), nullptr, nullptr, static_cast<int> (left.size ()));
		EXPECT_NEAR (bank.bands[0].envelope, c.level, 0.1) << c.channel << " " << c.source;
	}
}

TEST (BandDynamics, EnvelopeTimeConstantsAndControlInterval)
{
	for (const auto& [fs, interval] : {std::pair {44100.0, 44}, std::pair {48000.0, 48}, std::pair {500.0, 1}})
	{
		EqBand band = dynamicBell (6.0);
		band.attack = 20.0;
		band.release = 300.0;
		designBand (band, kBell, 100.0, 6.0, 1.0, 1, fs);
		EXPECT_EQ (band.controlInterval, interval);
		// Detector bypassed: a constant input is a constant level, and after one time constant
		// the envelope has covered 1 - 1/e of the way.
		band.detector = {1, 0, 0, 0, 0, 0, 0};
		for (const auto& [ms, target] : {std::pair {band.attack, -20.0}, std::pair {band.release, -80.0}})
		{
			const double from = band.envelope;
			for (long i = std::lround (ms * 0.001 * fs); i > 0; --i)
				updateDynamics (band, std::pow (10.0, target / 20));
			EXPECT_NEAR (band.envelope, target + (from - target) * std::exp (-1.0), std::fabs (from - target) * 0.01) << fs;
		}
	}
}

} // namespace
} // namespace QuenrilEQ
