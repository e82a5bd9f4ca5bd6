// The natural-mode chain: the block path on every instruction set held
// against the per-sample reference, channel routing checked against mid/side
// algebra done here, and recovery from non-finite input.
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"
#include "each_instruction_set.h"

#include <gtest/gtest.h>

#include <algorithm>
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

Stereo noisyTones (int length, std::uint32_t seed, double amplitude = 0.5)
{
	std::mt19937 rng (seed);
	std::uniform_real_distribution<double> noise (-1.0, 1.0);
	Stereo s {std::vector<double> (static_cast<std::size_t> (length)), std::vector<double> (static_cast<std::size_t> (length))};
	for (int n = 0; n < length; ++n)
	{
		// Bursts, so the dynamics attack and release inside the test length.
		const double burst = (n / 300) % 2 == 0 ? 1.0 : 0.05;
		s.left[static_cast<std::size_t> (n)] = amplitude * burst * (0.6 * std::sin (0.07 * n) + 0.4 * noise (rng));
		s.right[static_cast<std::size_t> (n)] = amplitude * burst * (0.6 * std::sin (0.19 * n) + 0.4 * noise (rng));
	}
	return s;
}

/** Runs the reference per sample; a missing side-chain is silence. */
void runReference (BandBank& bank, Stereo& io, const Stereo* sidechain)
{
	for (std::size_t n = 0; n < io.left.size (); ++n)
		processStereoSample (bank, io.left[n], io.right[n], sidechain ? sidechain->left[n] : 0.0,
		                     sidechain ? sidechain->right[n] : 0.0);
}

/** Runs the block path in blocks of the given sizes, cycling through them. */
void runBlocks (BandBank& bank, Stereo& io, const Stereo* sidechain, const std::vector<int>& sizes)
{
	const int length = static_cast<int> (io.left.size ());
	for (int pos = 0, k = 0; pos < length; ++k)
	{
		const int n = std::min (sizes[static_cast<std::size_t> (k) % sizes.size ()], length - pos);
		processStereoBlock (bank, io.left.data () + pos, io.right.data () + pos,
		                    sidechain ? sidechain->left.data () + pos : nullptr,
		                    sidechain ? sidechain->right.data () + pos : nullptr, n);
		pos += n;
	}
}

double peak (const Stereo& s)
{
	double p = 0;
	for (std::size_t n = 0; n < s.left.size (); ++n)
		p = std::max ({p, std::fabs (s.left[n]), std::fabs (s.right[n])});
	return p;
}

/**
 * The block path against the reference: outputs, filter and detector states. Equal on SSE2; on the
 * FMA sets within 1e-12 relative or 200 dB below the larger of the input's and output's peaks.
 */
void expectSameRun (const Stereo& input, const BandBank& ref, const Stereo& refOut, const BandBank& fast,
                    const Stereo& fastOut, bool exact, const std::string& what)
{
	const double floor = 1e-10 * std::max (peak (input), peak (refOut));
	for (std::size_t n = 0; n < refOut.left.size (); ++n)
	{
		ASSERT_TRUE (testing::agrees (refOut.left[n], fastOut.left[n], exact, floor)) << what << " sample " << n;
		ASSERT_TRUE (testing::agrees (refOut.right[n], fastOut.right[n], exact, floor)) << what << " sample " << n;
	}
	for (int b = 0; b < kNumBands; ++b)
	{
		const EqBand& r = ref.bands[static_cast<std::size_t> (b)];
		const EqBand& f = fast.bands[static_cast<std::size_t> (b)];
		ASSERT_TRUE (testing::agrees (r.envelope, f.envelope, exact, 1e-10)) << what << " band " << b;
		ASSERT_TRUE (testing::agrees (r.dynamicGain, f.dynamicGain, exact, 1e-10)) << what << " band " << b;
		ASSERT_EQ (r.controlCounter, f.controlCounter) << what << " band " << b;
		for (int set = 0; set < 2; ++set)
		{
			ASSERT_TRUE (testing::agrees (r.firstOrderPath[set].state, f.firstOrderPath[set].state, exact, floor))
			    << what << " band " << b;
			for (int i = 0; i < kMaxSections; ++i)
			{
				ASSERT_TRUE (testing::agrees (r.sections[set][i].s1, f.sections[set][i].s1, exact, floor))
				    << what << " band " << b << " section " << i;
				ASSERT_TRUE (testing::agrees (r.sections[set][i].s2, f.sections[set][i].s2, exact, floor))
				    << what << " band " << b << " section " << i;
			}
		}
	}
}

void setDynamics (EqBand& band, bool on, std::int32_t source, double threshold, double ratio, double attack,
                  double release)
{
	band.dynamicsEnabled = on;
	band.sidechainSource = source;
	band.threshold = threshold;
	band.ratio = ratio;
	band.attack = attack;
	band.release = release;
	updateTimeConstants (band);
	resetBandState (band);
}

// Every path the kernels are built for, each against the per-sample reference.
using BlockPath = testing::EachInstructionSet;

TEST_P (BlockPath, MatchesTheReferenceForEveryTargetShapeSlopeAndDetector)
{
	const Stereo input = noisyTones (900, 1);
	const Stereo key = noisyTones (900, 2, 0.8);
	for (std::int32_t channel : {std::int32_t {kStereo}, std::int32_t {kLeft}, std::int32_t {kRight}, std::int32_t {kMid}, std::int32_t {kSide}, std::int32_t {9}})
		for (std::int32_t shape = 0; shape <= kNumBandShapes; ++shape)
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
					designBand (band, shape, 900.0 + 300.0 * slope, shape % 2 ? -8.0 : 7.0, 0.5 + 0.4 * slope, slope,
					            48000.0);
					setDynamics (band, mode > 0, mode >= 2 ? 1 : 0, -50.0, 3.0, 1.0 + slope, 20.0);
					BandBank fast = bank;
					Stereo refOut = input, fastOut = input;
					const Stereo* sc = mode == 3 ? nullptr : &key;
					runReference (bank, refOut, sc);
					runBlocks (fast, fastOut, sc, {1, 37, 256, 300, 5});
					expectSameRun (input, bank, refOut, fast, fastOut, exact (),
					               "channel " + std::to_string (channel) + " shape " + std::to_string (shape) + " slope "
					                   + std::to_string (slope) + " mode " + std::to_string (mode));
					if (mode == 1 && shape == kBell && channel == kStereo)
					{
						EXPECT_NE (bank.bands[7].dynamicGain, 7.0);  // the dynamics really acted
					}
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
		const double rates[] = {44100.0, 48000.0, 96000.0, 2000.0};
		const double fs = rates[trial % 4];
		BandBank bank;
		bank.sampleRate = fs;
		for (EqBand& band : bank.bands)
		{
			band.enabled = pick (4) != 0;
			// Odd trials: mostly stereo bands, so long runs of them share one cascade.
			band.channel = trial % 2 == 1 && pick (5) != 0 ? std::int32_t {kStereo} : pick (5);
			designBand (band, pick (kNumBandShapes), 20.0 * std::pow (1100.0, uniform (0, 1)), uniform (-30, 30),
			            0.025 * std::pow (1600.0, uniform (0, 1)), pick (kNumSlopes), fs);
			setDynamics (band, pick (2) == 1, pick (2), uniform (-60, 0), uniform (1, 20), uniform (1, 50),
			             uniform (10, 300));
		}
		BandBank fast = bank;
		const Stereo input = noisyTones (3000, 100 + trial, 0.3);
		const Stereo key = noisyTones (3000, 200 + trial);
		Stereo refOut = input, fastOut = input;
		runReference (bank, refOut, &key);
		runBlocks (fast, fastOut, &key, {pick (600) + 1, pick (600) + 1, 512});
		expectSameRun (input, bank, refOut, fast, fastOut, exact (), "trial " + std::to_string (trial));
	}
}

TEST_P (BlockPath, MonoBlockRunsEveryEnabledBandOnTheFirstFilterSet)
{
	BandBank bank;
	const std::int32_t shapes[] = {kBell, kLowCut, kTiltShelf, kHighCut, kNotch, kAllpass};
	for (int i = 0; i < 6; ++i)
	{
		EqBand& band = bank.bands[static_cast<std::size_t> (3 * i)];
		band.enabled = i != 4;
		band.channel = kSide;  // ignored on this path
		designBand (band, shapes[i], 200.0 * (i + 1), 5.0, 0.9, i % kNumSlopes, 48000.0);
		setDynamics (band, true, 0, -50.0, 10.0, 1.0, 10.0);  // ignored on this path as well
	}
	BandBank reference = bank;
	Stereo io = noisyTones (2000, 5);
	std::vector<double> expected = io.left;
	for (double& x : expected)
		for (EqBand& band : reference.bands)
			if (band.enabled)
				x = processBandSample (band, 0, x);
	for (int pos = 0; pos < 2000; pos += 333)
		processMonoBlock (bank, io.left.data () + pos, std::min (333, 2000 - pos));
	for (std::size_t n = 0; n < expected.size (); ++n)
		ASSERT_TRUE (testing::agrees (expected[n], io.left[n], exact (), 1e-10)) << n;
	EXPECT_EQ (bank.bands[0].dynamicGain, 5.0);
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (BlockPath);

TEST (BandChain, MidAndSideTargetsFilterOnlyTheirComponent)
{
	for (std::int32_t target : {std::int32_t {kMid}, std::int32_t {kSide}})
	{
		BandBank bank;
		EqBand& band = bank.bands[2];
		band.enabled = true;
		band.channel = target;
		designBand (band, kHighShelf, 2000.0, 9.0, 0.7, 2, 48000.0);
		EqBand alone = band;
		Stereo io = noisyTones (1500, 9);
		const Stereo input = io;
		processStereoBlock (bank, io.left.data (), io.right.data (), nullptr, nullptr, 1500);
		for (std::size_t n = 0; n < io.left.size (); ++n)
		{
			const double mid = (input.left[n] + input.right[n]) / 2, side = (input.left[n] - input.right[n]) / 2;
			const double filtered = processBandSample (alone, target == kMid ? 0 : 1, target == kMid ? mid : side);
			const double outMid = (io.left[n] + io.right[n]) / 2, outSide = (io.left[n] - io.right[n]) / 2;
			ASSERT_NEAR (outMid, target == kMid ? filtered : mid, 1e-13) << n;
			ASSERT_NEAR (outSide, target == kMid ? side : filtered, 1e-13) << n;
		}
	}
}

TEST (BandChain, SideBandOnMonoInputAndSingleChannelBandsLeaveTheRestAlone)
{
	BandBank bank;
	bank.bands[0].enabled = true;
	bank.bands[0].channel = kSide;
	designBand (bank.bands[0], kBell, 1000.0, 24.0, 0.5, 4, 48000.0);
	Stereo io = noisyTones (1000, 3);
	io.right = io.left;
	const Stereo mono = io;
	processStereoBlock (bank, io.left.data (), io.right.data (), nullptr, nullptr, 1000);
	EXPECT_EQ (io.left, mono.left);
	EXPECT_EQ (io.right, mono.right);

	for (std::int32_t target : {std::int32_t {kLeft}, std::int32_t {kRight}})
	{
		BandBank one;
		one.bands[5].enabled = true;
		one.bands[5].channel = target;
		designBand (one.bands[5], kLowCut, 3000.0, 0.0, 0.7, 3, 48000.0);
		Stereo s = noisyTones (1000, 4);
		const Stereo in = s;
		processStereoBlock (one, s.left.data (), s.right.data (), nullptr, nullptr, 1000);
		EXPECT_EQ (target == kLeft ? s.right : s.left, target == kLeft ? in.right : in.left);
		EXPECT_NE (target == kLeft ? s.left : s.right, target == kLeft ? in.left : in.right);
	}
}

TEST (BandChain, DisabledBandsAndUnknownTargetsPassAudioUnchanged)
{
	BandBank bank;
	for (EqBand& band : bank.bands)
		designBand (band, kBell, 1000.0, 12.0, 1.0, 2, 48000.0);
	bank.bands[4].enabled = true;
	bank.bands[4].channel = 17;
	Stereo io = noisyTones (700, 8);
	const Stereo in = io;
	processStereoBlock (bank, io.left.data (), io.right.data (), nullptr, nullptr, 700);
	EXPECT_EQ (io.left, in.left);
	EXPECT_EQ (io.right, in.right);
	processStereoBlock (bank, nullptr, io.right.data (), nullptr, nullptr, 700);  // refused, no crash
	processMonoBlock (bank, io.left.data (), -5);
	EXPECT_EQ (io.right, in.right);
}

/** A bank whose bands all remember state: cascades, a one-pole, dynamics. */
BandBank recoveryBank ()
{
	BandBank bank;
	const std::int32_t shapes[] = {kBell, kLowCut, kNotch, kTiltShelf};
	const std::int32_t targets[] = {kStereo, kMid, kLeft, kSide};
	for (int i = 0; i < 4; ++i)
	{
		EqBand& band = bank.bands[static_cast<std::size_t> (i)];
		band.enabled = true;
		band.channel = targets[i];
		designBand (band, shapes[i], 500.0 * (i + 1), 6.0, 1.2, i == 1 ? 0 : 3, 48000.0);
		setDynamics (band, i == 0 || i == 3, 0, -40.0, 4.0, 2.0, 50.0);
	}
	return bank;
}

TEST (BandChain, NonFiniteInputDoesNotLeaveTheChainStuck)
{
	for (double poison : {std::numeric_limits<double>::quiet_NaN (), std::numeric_limits<double>::infinity ()})
	{
		BandBank bank = recoveryBank ();
		Stereo warmUp = noisyTones (512, 1);
		processStereoBlock (bank, warmUp.left.data (), warmUp.right.data (), nullptr, nullptr, 512);

		Stereo bad = noisyTones (512, 2);
		bad.left[100] = poison;
		bad.right[300] = -poison;
		processStereoBlock (bank, bad.left.data (), bad.right.data (), nullptr, nullptr, 512);

		// After the bad block every band must behave like one that was just cleared.
		BandBank cleared = bank;
		for (EqBand& band : cleared.bands)
		{
			resetBandState (band);
			designGainSections (band, band.dynamicGain);
		}
		Stereo a = noisyTones (512, 3), b = a;
		processStereoBlock (bank, a.left.data (), a.right.data (), nullptr, nullptr, 512);
		processStereoBlock (cleared, b.left.data (), b.right.data (), nullptr, nullptr, 512);
		for (std::size_t n = 0; n < a.left.size (); ++n)
		{
			ASSERT_TRUE (std::isfinite (a.left[n]) && std::isfinite (a.right[n])) << n;
			ASSERT_EQ (a.left[n], b.left[n]) << n;
			ASSERT_EQ (a.right[n], b.right[n]) << n;
		}
		EXPECT_GT (std::fabs (a.left[400]), 0.0);

		BandBank monoBank = recoveryBank ();
		std::vector<double> mono (256, 0.1);
		mono[10] = poison;
		processMonoBlock (monoBank, mono.data (), 256);
		std::fill (mono.begin (), mono.end (), 0.25);
		processMonoBlock (monoBank, mono.data (), 256);
		for (double x : mono)
			ASSERT_TRUE (std::isfinite (x));
	}
}

} // namespace
} // namespace QuenrilEQ
