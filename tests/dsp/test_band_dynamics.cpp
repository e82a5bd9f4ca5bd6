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

#include <algorithm>
#include <cmath>
#include <vector>

namespace QuenrilEQ {
namespace {

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

TEST (BandDynamics, SteadyTonesSettleAtTheControlLawGains)
{
	enum Feed { kBoth, kOnSidechain, kLeftOnly };  // on the side-chain: the main input 18 dB lower
	struct Case { double gain, ratio, levelDb; std::int32_t channel, source; Feed feed; double envelope, expectedGain, regain = 0; };
	// Boost +6: at -6 dB the reduction of 6 dB removes it all; at -12 dB half of it stays. Cut -6:
	// the reduction lifts it toward 0 dB and stops there. Ratio 1 never acts. With an external
	// source the main input does not count; with an internal one only it does. A left-only tone:
	// Left reads it as it is; Stereo, Mid and Side read the halved sum or difference (6.02 dB
	// lower); Right and an absent side-chain read nothing. A new static gain the reduction still
	// cancels leaves the band at 0 dB, though the gain the dynamics set stays the same: `regain`,
	// when not 0, is that new static gain, set halfway.
	const double half = -26.0206, none = -120.0;
	for (const Case c : {Case {6, 2, -6, kStereo, 0, kBoth, -6, 0}, Case {6, 2, -12, kStereo, 0, kBoth, -12, 3},
	                     Case {-6, 2, -12, kStereo, 0, kBoth, -12, -3}, Case {-6, 2, -6, kStereo, 0, kBoth, -6, 0},
	                     Case {-6, 2, 0, kStereo, 0, kBoth, 0, 0}, Case {6, 2, -30, kStereo, 0, kBoth, -30, 6},
	                     Case {9, 1, 0, kStereo, 0, kBoth, 0, 9}, Case {6, 2, -6, kStereo, 1, kOnSidechain, -6, 0},
	                     Case {6, 2, -6, kStereo, 0, kOnSidechain, -24.0618, 6}, Case {6, 2, -20, kLeft, 0, kLeftOnly, -20, 6},
	                     Case {6, 2, -20, kStereo, 0, kLeftOnly, half, 6}, Case {6, 2, -20, kMid, 0, kLeftOnly, half, 6},
	                     Case {6, 2, -20, kSide, 0, kLeftOnly, half, 6}, Case {6, 2, -20, kRight, 0, kLeftOnly, none, 6},
	                     Case {6, 2, -20, kStereo, 1, kLeftOnly, none, 6}, Case {6, 4, -6, kStereo, 0, kBoth, -6, 0, 5}})
	{
		SCOPED_TRACE (::testing::Message () << c.gain << " dB, ratio " << c.ratio << " at " << c.levelDb << " dB, target "
		                                    << c.channel << ", source " << c.source << ", feed " << c.feed);
		BandBank bank;
		bank.bands[0] = dynamicBell (c.gain, c.ratio);
		bank.bands[0].channel = c.channel;
		bank.bands[0].sidechainSource = c.source;
		// Six seconds in blocks; the output tone over the input one in the last 100 ms.
		const double amplitude = std::pow (10.0, (c.levelDb + 6.020599913279624) / 20.0);
		const int block = 480, blocks = 600;
		std::vector<double> left (block), right (block), key (block);
		double minGain = 1e9, maxGain = -1e9, inEnergy = 0, outEnergy = 0;
		for (int b = 0; b < blocks; ++b)
		{
			if (b == blocks / 2 && c.regain != 0)
				designBand (bank.bands[0], kBell, kToneHz, c.regain, 1.0, 2, kFs);
			for (int i = 0; i < block; ++i)
			{
				key[i] = amplitude * std::sin (2 * M_PI * kToneHz / kFs * (b * block + i));
				left[i] = c.feed == kOnSidechain ? 0.125 * key[i] : key[i];
				right[i] = c.feed == kLeftOnly ? 0.0 : left[i];
				if (b >= blocks - 10)
					inEnergy += left[i] * left[i];
			}
			const double* sc = c.feed == kOnSidechain ? key.data () : nullptr;
			processStereoBlock (bank, left.data (), right.data (), sc, sc, block);
			for (int i = 0; b >= blocks - 10 && i < block; ++i)
				outEnergy += left[i] * left[i];
			if (b > blocks / 2)
				minGain = std::min (minGain, bank.bands[0].dynamicGain), maxGain = std::max (maxGain, bank.bands[0].dynamicGain);
		}
		EXPECT_NEAR (bank.bands[0].envelope, c.envelope, 0.1);
		EXPECT_NEAR (minGain, c.expectedGain, 0.1);
		EXPECT_NEAR (maxGain, c.expectedGain, 0.1);
		// What a listener hears: the bell at the tone's frequency has the dynamic gain.
		if (c.channel == kStereo || c.channel == kLeft)
		{
			EXPECT_NEAR (10 * std::log10 (outEnergy / inEnergy), c.expectedGain, 0.1);
		}
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

// The detector's own logarithm against libm's, on every sixteenth of the mantissa range (each has
// its own table entry) over the levels a detector meets.
TEST (BandDynamics, DetectorLevelIsTwentyLogTen)
{
	double worst = 0.0;
	for (double x = 1e-6; x < 1e3; x *= 1.0 + 1.0 / 97)
		worst = std::max (worst, std::fabs (leveldb::levelDb (x) - 20.0 * std::log10 (x)));
	EXPECT_LT (worst, 1e-12);
}

} // namespace
} // namespace QuenrilEQ
