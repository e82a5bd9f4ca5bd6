// The natural-mode chain: the block paths on every instruction set held
// against the per-sample reference, whose channel routing the processor tests
// check by ear (as they do recovery from non-finite input).
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"
#include "each_instruction_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace {

struct Stereo { std::vector<double> left, right; };

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
		processStereoBlock (fast, fastOut.left.data () + pos, fastOut.right.data () + pos, key ? key->left.data () + pos : nullptr,
		                    key ? key->right.data () + pos : nullptr, n);
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
		// A level's rounding in dB grows as the level falls: the outputs' allowance (200 dB below the
		// signal) as it reads at the level the envelope ended on, near the -120 dB floor 0.0004 dB.
		const double atLevel = 8.7e-10 * peak / std::pow (10.0, ref.bands[b].envelope / 20);
		ASSERT_TRUE (testing::agrees (ref.bands[b].dynamicGain, fast.bands[b].dynamicGain, exact, 1e-10)) << what;
		ASSERT_TRUE (testing::agrees (ref.bands[b].envelope, fast.bands[b].envelope, exact, std::max (1e-10, atLevel))) << what;
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
					                        "channel " + std::to_string (channel) + " shape " + std::to_string (shape) + " slope " +
					                            std::to_string (slope) + " mode " + std::to_string (mode));
				}
	// Random banks at several rates. 32 kHz: more control steps in a chunk than one switching
	// call takes. 2 kHz: control steps every 2 samples, closer than the switching kernel takes.
	std::mt19937 rng (2024);
	auto uniform = [&] (double lo, double hi) { return std::uniform_real_distribution<double> (lo, hi) (rng); };
	auto pick = [&] (int count) { return std::uniform_int_distribution<int> (0, count - 1) (rng); };
	for (int trial = 0; trial < 12; ++trial)
	{
		BandBank bank;
		bank.sampleRate = std::vector<double> {44100.0, 48000.0, 96000.0, 32000.0, 2000.0}[trial % 5];
		for (EqBand& band : bank.bands)
		{
			band.enabled = pick (4) != 0;
			// Odd trials: mostly stereo bands, so long runs of them share one cascade.
			band.channel = trial % 2 == 1 && pick (5) != 0 ? std::int32_t {kStereo} : pick (5);
			designBand (band, pick (kNumBandShapes), 20.0 * std::pow (1100.0, uniform (0, 1)), uniform (-30, 30),
			            0.025 * std::pow (1600.0, uniform (0, 1)), pick (kNumSlopes), bank.sampleRate);
			setDynamics (band, pick (2) == 1, pick (2), uniform (-60, 0), uniform (1, 20), uniform (1, 50), uniform (10, 300));
		}
		const Stereo key = noisyTones (3000, 200 + trial);
		expectBlockPathMatches (bank, noisyTones (3000, 100 + trial, 0.3), &key, {pick (600) + 1, pick (600) + 1, 512},
		                        exact (), "trial " + std::to_string (trial));
	}
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (BlockPath);

} // namespace
} // namespace QuenrilEQ
