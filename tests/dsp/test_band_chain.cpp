// The natural-mode chain: the block paths on every instruction set held
// against the per-sample reference, channel routing against mid/side algebra
// done here, and recovery from non-finite input.
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"
#include "each_instruction_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace {

struct Stereo
{
	std::vector<double> left, right;
};

/** Tone bursts with noise, so that dynamics attack and release within the test. */
Stereo noisyTones (int length, std::uint32_t seed, double amplitude = 0.5)
{
	std::mt19937 rng (seed);
	std::uniform_real_distribution<double> noise (-1.0, 1.0);
	Stereo s {std::vector<double> (length), std::vector<double> (length)};
	for (int n = 0; n < length; ++n)
	{
		const double burst = (n / 300) % 2 == 0 ? amplitude : 0.05 * amplitude;
		s.left[n] = burst * (0.6 * std::sin (0.07 * n) + 0.4 * noise (rng));
		s.right[n] = burst * (0.6 * std::sin (0.19 * n) + 0.4 * noise (rng));
	}
	return s;
}

void setDynamics (EqBand& band, bool on, std::int32_t source, double threshold, double ratio, double attack, double release)
{
	band.dynamicsEnabled = on;
	band.sidechainSource = source;
	band.threshold = threshold, band.ratio = ratio, band.attack = attack, band.release = release;
	updateTimeConstants (band);
	resetBandState (band);
}

void runBlock (BandBank& bank, Stereo& io, const Stereo* key = nullptr, int from = 0, int n = -1)
{
	processStereoBlock (bank, io.left.data () + from, io.right.data () + from, key ? key->left.data () + from : nullptr,
	                    key ? key->right.data () + from : nullptr, n < 0 ? static_cast<int> (io.left.size ()) : n);
}

/**
 * The bank run per sample (reference) and in blocks of the given sizes: outputs equal on SSE2,
 * on the FMA sets within 1e-12 relative or 200 dB below the signal; the dynamics end alike. The
 * mono path is held against the enabled bands' filter set 0, sample by sample, likewise.
 */
void expectBlockPathMatches (const BandBank& bank, const Stereo& input, const Stereo* key, const std::vector<int>& sizes,
                             bool exact, const std::string& what)
{
	BandBank ref = bank, fast = bank, monoRef = bank, mono = bank;
	Stereo refOut = input, fastOut = input;
	std::vector<double> monoOut = input.left, monoExpected = input.left;
	const int length = static_cast<int> (input.left.size ());
	double peak = 0;
	for (int n = 0; n < length; ++n)
	{
		processStereoSample (ref, refOut.left[n], refOut.right[n], key ? key->left[n] : 0.0, key ? key->right[n] : 0.0);
		for (EqBand& band : monoRef.bands)
			if (band.enabled)
				monoExpected[n] = processBandSample (band, 0, monoExpected[n]);
		peak = std::max ({peak, std::fabs (input.left[n]), std::fabs (refOut.left[n]), std::fabs (refOut.right[n]),
		                  std::fabs (monoExpected[n])});
	}
	for (int pos = 0, k = 0; pos < length; pos += sizes[k++ % sizes.size ()])
	{
		const int n = std::min (sizes[k % sizes.size ()], length - pos);
		runBlock (fast, fastOut, key, pos, n);
		processMonoBlock (mono, monoOut.data () + pos, n);
	}
	for (int n = 0; n < length; ++n)
	{
		ASSERT_TRUE (testing::agrees (refOut.left[n], fastOut.left[n], exact, 1e-10 * peak)) << what << " sample " << n;
		ASSERT_TRUE (testing::agrees (refOut.right[n], fastOut.right[n], exact, 1e-10 * peak)) << what << " sample " << n;
		ASSERT_TRUE (testing::agrees (monoExpected[n], monoOut[n], exact, 1e-10 * peak)) << what << " mono sample " << n;
	}
	for (int b = 0; b < kNumBands; ++b)
	{
		ASSERT_TRUE (testing::agrees (ref.bands[b].dynamicGain, fast.bands[b].dynamicGain, exact, 1e-10)) << what;
		ASSERT_TRUE (testing::agrees (ref.bands[b].envelope, fast.bands[b].envelope, exact, 1e-10)) << what;
	}
}

using BlockPath = testing::EachInstructionSet;

TEST_P (BlockPath, MatchesTheReferenceForEveryTargetShapeSlopeAndDetector)
{
	const Stereo input = noisyTones (900, 1), key = noisyTones (900, 2, 0.8);
	for (std::int32_t channel = kStereo; channel <= kSide + 1; ++channel)  // and one unknown target
		for (std::int32_t shape = 0; shape <= kNumBandShapes; ++shape)      // and one unknown shape
			for (std::int32_t slope = 0; slope < kNumSlopes; ++slope)
				for (int mode = 0; mode < 4; ++mode)  // dynamics off, internal, external, external without key
				{
					BandBank bank;
					// A band in front, so the band under test sees an already filtered signal.
					designBand (bank.bands[0], kHighShelf, 3000.0, 4.0, 0.8, 1, 48000.0);
					bank.bands[0].enabled = true;
					EqBand& band = bank.bands[7];
					band.enabled = true;
					band.channel = channel;
					designBand (band, shape, 900.0 + 300.0 * slope, shape % 2 ? -8.0 : 7.0, 0.5 + 0.4 * slope, slope, 48000.0);
					setDynamics (band, mode > 0, mode >= 2 ? 1 : 0, -50.0, 3.0, 1.0 + slope, 20.0);
					expectBlockPathMatches (bank, input, mode == 3 ? nullptr : &key, {1, 37, 512, 600, 5}, exact (),
					                        "channel " + std::to_string (channel) + " shape " + std::to_string (shape) +
					                            " slope " + std::to_string (slope) + " mode " + std::to_string (mode));
				}
}

TEST_P (BlockPath, MatchesTheReferenceForRandomBanks)
{
	std::mt19937 rng (2024);
	auto uniform = [&] (double lo, double hi) { return std::uniform_real_distribution<double> (lo, hi) (rng); };
	auto pick = [&] (int count) { return std::uniform_int_distribution<int> (0, count - 1) (rng); };
	for (int trial = 0; trial < 12; ++trial)
	{
		// 2 kHz: control steps every 2 samples, closer than the switching kernel takes.
		const double fs = std::vector<double> {44100.0, 48000.0, 96000.0, 2000.0}[trial % 4];
		BandBank bank;
		bank.sampleRate = fs;
		for (EqBand& band : bank.bands)
		{
			band.enabled = pick (4) != 0;
			// Odd trials: mostly stereo bands, so long runs of them share one cascade.
			band.channel = trial % 2 == 1 && pick (5) != 0 ? std::int32_t {kStereo} : pick (5);
			designBand (band, pick (kNumBandShapes), 20.0 * std::pow (1100.0, uniform (0, 1)), uniform (-30, 30),
			            0.025 * std::pow (1600.0, uniform (0, 1)), pick (kNumSlopes), fs);
			setDynamics (band, pick (2) == 1, pick (2), uniform (-60, 0), uniform (1, 20), uniform (1, 50), uniform (10, 300));
		}
		const Stereo key = noisyTones (3000, 200 + trial);
		expectBlockPathMatches (bank, noisyTones (3000, 100 + trial, 0.3), &key, {pick (600) + 1, pick (600) + 1, 512},
		                        exact (), "trial " + std::to_string (trial));
	}
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (BlockPath);

TEST (BandChain, EachTargetFiltersOnlyItsComponent)
{
	for (std::int32_t target : {kLeft, kRight, kMid, kSide})
	{
		SCOPED_TRACE (target);
		BandBank bank;
		EqBand& band = bank.bands[2];
		band.enabled = true;
		band.channel = target;
		designBand (band, kHighShelf, 2000.0, 9.0, 0.7, 2, 48000.0);
		EqBand alone = band;
		const Stereo input = noisyTones (1500, 9);
		Stereo io = input;
		runBlock (bank, io);
		for (std::size_t n = 0; n < io.left.size (); ++n)
		{
			const double l = input.left[n], r = input.right[n];
			double el = l, er = r;  // expected, by the algebra of each target
			if (target == kLeft)
				el = processBandSample (alone, 0, l);
			else if (target == kRight)
				er = processBandSample (alone, 1, r);
			else
			{
				const double mid = (l + r) / 2, side = (l - r) / 2;
				const double m = target == kMid ? processBandSample (alone, 0, mid) : mid;
				const double s = target == kSide ? processBandSample (alone, 1, side) : side;
				el = m + s, er = m - s;
			}
			ASSERT_NEAR (io.left[n], el, 1e-13) << n;
			ASSERT_NEAR (io.right[n], er, 1e-13) << n;
		}
	}
}

TEST (BandChain, NonFiniteInputDoesNotLeaveTheChainStuck)
{
	for (double poison : {std::numeric_limits<double>::quiet_NaN (), std::numeric_limits<double>::infinity ()})
	{
		// Every kind of state: cascades, a one-pole, dynamics, on several targets.
		BandBank bank;
		const std::int32_t shapes[] = {kBell, kLowCut, kNotch, kTiltShelf}, targets[] = {kStereo, kMid, kLeft, kSide};
		for (int i = 0; i < 4; ++i)
		{
			bank.bands[i].enabled = true;
			bank.bands[i].channel = targets[i];
			designBand (bank.bands[i], shapes[i], 500.0 * (i + 1), 6.0, 1.2, i == 1 ? 0 : 3, 48000.0);
			setDynamics (bank.bands[i], i == 0 || i == 3, 0, -40.0, 4.0, 2.0, 50.0);
		}
		BandBank monoBank = bank, monoFresh = bank;
		Stereo bad = noisyTones (512, 2);
		bad.left[100] = poison;
		bad.right[300] = -poison;
		std::vector<double> mono = bad.left;
		processMonoBlock (monoBank, mono.data (), 512);
		runBlock (bank, bad);
		// After the bad block every band behaves like one just cleared.
		BandBank cleared = bank;
		for (EqBand& band : cleared.bands)
		{
			resetBandState (band);
			designGainSections (band, band.dynamicGain);
		}
		Stereo a = noisyTones (512, 3), b = a;
		runBlock (bank, a);
		runBlock (cleared, b);
		EXPECT_EQ (a.left, b.left);
		EXPECT_EQ (a.right, b.right);
		EXPECT_TRUE (std::isfinite (a.left[400]) && a.left[400] != 0.0);
		// The mono path likewise.
		std::vector<double> fresh = mono = noisyTones (512, 4).left;
		processMonoBlock (monoBank, mono.data (), 512);
		processMonoBlock (monoFresh, fresh.data (), 512);
		EXPECT_EQ (mono, fresh);
	}
}

} // namespace
} // namespace QuenrilEQ
