// Band dynamics driven by steady tones: the detector follows the level around
// the band, the envelope settles, and the band's gain settles where the
// control law puts it. Levels are set from the closed form of the detector
// envelope: with equal attack and release the dB-domain smoother averages
// 20 log10 |sin|, whose mean over a cycle is 20 log10(1/2) = -6.0206 dB below
// the tone's peak.
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"
#include "each_instruction_set.h"
#include "level_db.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace QuenrilEQ {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = 48000.0;
constexpr double kToneHz = 1000.3;  // not a divisor of the rate, so the tone's phases spread evenly
constexpr double kMeanLogSine = -6.020599913279624;  // 20 log10(1/2)

/** A dynamic bell at the tone's frequency, threshold -18 dB, ratio 2, slow equal smoothing. */
EqBand dynamicBell (double gainDb, double ratio = 2.0)
{
	EqBand band;
	band.enabled = true;
	band.dynamicsEnabled = true;
	band.threshold = -18.0;
	band.ratio = ratio;
	band.attack = 400.0;
	band.release = 400.0;
	designBand (band, kBell, kToneHz, gainDb, 1.0, 2, kFs);
	resetBandState (band);
	return band;
}

/** Peak amplitude of a tone whose detector envelope settles at levelDb. */
double toneAmplitudeForLevel (double levelDb)
{
	return std::pow (10.0, (levelDb - kMeanLogSine) / 20.0);
}

struct ToneRun
{
	double outputGainDb = 0;  // level of the band's output tone over its input, last 100 ms
	double minDynamicGain = 1e9, maxDynamicGain = -1e9;
};

/** Runs a one-band bank with left = right = tone (or the tone on the side-chain only). */
ToneRun runTone (EqBand& band, double amplitude, bool toneOnSidechain, double seconds = 6.0)
{
	BandBank bank;
	bank.bands[0] = band;
	const int total = static_cast<int> (seconds * kFs);
	const int window = static_cast<int> (0.1 * kFs);
	const double w = 2 * kPi * kToneHz / kFs;
	ToneRun run;
	double inEnergy = 0, outEnergy = 0;
	for (int n = 0; n < total; ++n)
	{
		const double x = amplitude * std::sin (w * n);
		double l = toneOnSidechain ? 0.125 * x : x, r = l;
		const double in = l;
		processStereoSample (bank, l, r, toneOnSidechain ? x : 0.0, toneOnSidechain ? x : 0.0);
		if (n > total / 2)
		{
			run.minDynamicGain = std::min (run.minDynamicGain, bank.bands[0].dynamicGain);
			run.maxDynamicGain = std::max (run.maxDynamicGain, bank.bands[0].dynamicGain);
		}
		if (n >= total - window)
		{
			inEnergy += in * in;
			outEnergy += l * l;
		}
	}
	run.outputGainDb = 10 * std::log10 (outEnergy / inEnergy);
	band = bank.bands[0];
	return run;
}

TEST (BandDynamics, SteadyTonesSettleAtTheControlLawGains)
{
	struct Case
	{
		double gain, levelDb, expectedGain;
	};
	// Boost +6: at -6 dB the reduction of 6 dB removes it all; at -12 dB half of it stays.
	// Cut -6: the reduction lifts it toward 0 dB and stops there.
	for (const Case c : {Case {6, -6, 0}, Case {6, -12, 3}, Case {-6, -12, -3}, Case {-6, -6, 0},
	                     Case {-6, 0, 0}, Case {6, -30, 6}})
	{
		EqBand band = dynamicBell (c.gain);
		const ToneRun run = runTone (band, toneAmplitudeForLevel (c.levelDb), false);
		EXPECT_NEAR (band.envelope, c.levelDb, 0.1) << c.gain << " at " << c.levelDb;
		EXPECT_NEAR (run.minDynamicGain, c.expectedGain, 0.1) << c.gain << " at " << c.levelDb;
		EXPECT_NEAR (run.maxDynamicGain, c.expectedGain, 0.1) << c.gain << " at " << c.levelDb;
		// What a listener hears: the bell at the tone's frequency now has the dynamic gain.
		EXPECT_NEAR (run.outputGainDb, c.expectedGain, 0.1) << c.gain << " at " << c.levelDb;
		if (c.gain < 0)
			EXPECT_LE (run.maxDynamicGain, 0.0);
		else
			EXPECT_GE (run.minDynamicGain, 0.0);
	}
}

TEST (BandDynamics, RatioOneNeverMovesTheGain)
{
	EqBand band = dynamicBell (9.0, 1.0);
	const ToneRun run = runTone (band, 1.0, false, 1.0);
	EXPECT_EQ (run.minDynamicGain, 9.0);
	EXPECT_EQ (run.maxDynamicGain, 9.0);
	EXPECT_NEAR (run.outputGainDb, 9.0, 0.05);
}

TEST (BandDynamics, ExternalSidechainDrivesTheDetector)
{
	// The main input is 18 dB under the side-chain key; only the key is loud enough to act.
	EqBand external = dynamicBell (6.0);
	external.sidechainSource = 1;
	const ToneRun loudKey = runTone (external, toneAmplitudeForLevel (-6.0), true);
	EXPECT_NEAR (loudKey.minDynamicGain, 0.0, 0.1);
	EXPECT_NEAR (loudKey.outputGainDb, 0.0, 0.1);

	EqBand internal = dynamicBell (6.0);
	const ToneRun quietMain = runTone (internal, toneAmplitudeForLevel (-6.0), true);
	EXPECT_EQ (quietMain.minDynamicGain, 6.0);  // main at -24 dB stays under the threshold
}

TEST (BandDynamics, MissingSidechainIsSilence)
{
	BandBank bank;
	bank.bands[3] = dynamicBell (6.0);
	bank.bands[3].sidechainSource = 1;
	std::vector<double> left (4800), right (4800);
	for (int block = 0; block < 20; ++block)
	{
		for (std::size_t n = 0; n < left.size (); ++n)
			left[n] = right[n] = std::sin (2 * kPi * kToneHz / kFs * static_cast<double> (n + block * left.size ()));
		processStereoBlock (bank, left.data (), right.data (), nullptr, nullptr, static_cast<int> (left.size ()));
		EXPECT_EQ (bank.bands[3].dynamicGain, 6.0);
	}
	EXPECT_LT (bank.bands[3].envelope, -110.0);
}

TEST (BandDynamics, DetectorInputFollowsTheChannelTarget)
{
	// Left: the left sample itself; Stereo and Mid: the halved sum, 6.02 dB lower for a left-only tone;
	// Side: the halved difference.
	const double amplitude = toneAmplitudeForLevel (-20.0);
	const double w = 2 * kPi * kToneHz / kFs;
	const struct
	{
		std::int32_t channel;
		double expectedLevel;
	} cases[] = {{kLeft, -20.0}, {kStereo, -26.0206}, {kMid, -26.0206}, {kSide, -26.0206}, {kRight, -120.0}};
	for (const auto& c : cases)
	{
		BandBank bank;
		bank.bands[0] = dynamicBell (6.0);
		bank.bands[0].channel = c.channel;
		for (int n = 0; n < 4 * 48000; ++n)
		{
			double l = amplitude * std::sin (w * n), r = 0.0;
			processStereoSample (bank, l, r, 0.0, 0.0);
		}
		EXPECT_NEAR (bank.bands[0].envelope, c.expectedLevel, 0.1) << c.channel;
	}
}

TEST (BandDynamics, EnvelopeTimeConstantsAndControlInterval)
{
	for (const auto& [fs, interval] : {std::pair {44100.0, 44}, std::pair {48000.0, 48}, std::pair {96000.0, 96},
	                                   std::pair {500.0, 1}})
	{
		EqBand band = dynamicBell (6.0);
		band.attack = 20.0;
		band.release = 300.0;
		designBand (band, kBell, 100.0, 6.0, 1.0, 1, fs);
		EXPECT_EQ (band.controlInterval, interval);
		// Detector bypassed, so a constant input is a constant level: after one time constant the
		// envelope has covered 1 - 1/e of the way.
		band.detector = {1, 0, 0, 0, 0, 0, 0};
		const double steps[] = {band.attack, band.release};
		const double targets[] = {-20.0, -80.0};
		for (int phase = 0; phase < 2; ++phase)
		{
			const double from = band.envelope;
			const int n = static_cast<int> (std::lround (steps[phase] * 0.001 * fs));
			for (int i = 0; i < n; ++i)
				updateDynamics (band, std::pow (10.0, targets[phase] / 20));
			const double expected = targets[phase] + (from - targets[phase]) * std::exp (-1.0);
			EXPECT_NEAR (band.envelope, expected, std::fabs (from - targets[phase]) * 0.01) << fs << " phase " << phase;
		}
	}
}

TEST (BandDynamics, OnlyGainShapesAreMoved)
{
	EqBand notch;
	notch.dynamicsEnabled = true;
	designBand (notch, kNotch, 1000.0, 6.0, 1.0, 1, kFs);
	const EqBand before = notch;
	for (int n = 0; n < 1000; ++n)
		updateDynamics (notch, std::sin (0.13 * n));
	EXPECT_EQ (notch.envelope, before.envelope);
	EXPECT_EQ (notch.sections[0][0].b0, before.sections[0][0].b0);
	EXPECT_EQ (notch.detector.s1, 0.0);
}

TEST (BandDynamics, ResetBandStateMakesTheBandBehaveAsNew)
{
	EqBand fresh = dynamicBell (-9.0);
	fresh.attack = 1.0;
	updateTimeConstants (fresh);
	EqBand used = fresh;
	for (int n = 0; n < 5000; ++n)
	{
		updateDynamics (used, std::sin (0.2 * n));
		processBandSample (used, 0, std::sin (0.2 * n));
		processBandSample (used, 1, std::cos (0.2 * n));
	}
	EXPECT_NE (used.dynamicGain, -9.0);
	resetBandState (used);
	designGainSections (used, used.dynamicGain);
	used.controlCounter = fresh.controlCounter;
	for (int n = 0; n < 3000; ++n)
	{
		const double x = std::sin (0.01 * n * n);
		updateDynamics (used, x);
		updateDynamics (fresh, x);
		ASSERT_EQ (processBandSample (used, 1, x), processBandSample (fresh, 1, x)) << n;
	}
}

using DetectorKernel = testing::EachInstructionSet;

TEST_P (DetectorKernel, LevelIsTwentyLog10)
{
	// Log-spaced magnitudes from the -120 dB floor up to +120 dB, plus the octave edges where the
	// mantissa folding switches.
	std::vector<double> magnitudes;
	for (int k = 0; k <= 24000; ++k)
		magnitudes.push_back (1e-6 * std::pow (10.0, k * 0.0005));
	for (int e = -20; e <= 20; ++e)
		for (double m : {1.0, std::sqrt (2.0), std::nextafter (std::sqrt (2.0), 2.0), std::nextafter (2.0, 1.0)})
			magnitudes.push_back (std::ldexp (m, e));
	// A pass-through detector without smoothing, a control step every sample: the envelope at each
	// step is the level of that sample as the kernel's vector logarithm computes it.
	DetectorSettings passThrough;
	passThrough.b0 = 1.0;
	DetectorState state;
	const int n = static_cast<int> (magnitudes.size ());
	std::vector<int> at (magnitudes.size ());
	std::vector<double> levels (magnitudes.size ());
	ASSERT_EQ (activeKernels ().detectorPass (passThrough, state, magnitudes.data (), n, at.data (), levels.data ()), n);
	for (std::size_t i = 0; i < magnitudes.size (); ++i)
	{
		const double x = std::max (magnitudes[i], 1e-6);  // the detector's floor
		const double scalar = leveldb::levelDb (x);
		ASSERT_NEAR (scalar, 20 * std::log10 (x), 1e-12) << x;
		ASSERT_TRUE (testing::agrees (scalar, levels[i], exact (), 1e-12)) << x;
	}
	EXPECT_EQ (leveldb::levelDb (1.0), 0.0);
	EXPECT_TRUE (std::isfinite (leveldb::levelDb (HUGE_VAL)));
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (DetectorKernel);

} // namespace
} // namespace QuenrilEQ
