// The partitioned convolvers (uniform, and the two-stage one linear mode
// runs) against a direct time-domain convolution, and kernel switches against
// the crossfade of two direct convolutions, on every instruction set's
// spectral sum.
#include "block_convolver.h"
#include "each_instruction_set.h"
#include "two_stage_convolver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace QuenrilEQ {
namespace {

constexpr int kB = BlockConvolver::kBlockSize;
constexpr int kFade = BlockConvolver::kCrossfadeLength;

std::vector<double> randomSignal (std::mt19937& rng, int n)
{
	std::uniform_real_distribution<double> u (-1, 1);
	std::vector<double> v (static_cast<std::size_t> (n));
	for (double& x : v)
		x = u (rng);
	return v;
}

/** What the convolver must give at sample n: the direct convolution, one block later. */
double expectedAt (const std::vector<double>& h, const std::vector<double>& x, int n)
{
	double y = 0;
	for (int k = 0; k < static_cast<int> (h.size ()) && k <= n - kB; ++k)
		y += h[k] * x[n - kB - k];
	return y;
}

/** Raised-cosine gain of the incoming kernel at sample j of a fade. */
double fadeGain (int j) { return 0.5 - 0.5 * std::cos (M_PI * (j + 0.5) / kFade); }

using ConvolverPath = testing::EachInstructionSet;

/** Feeds x and compares every output with the direct convolution by h, one block late. */
template <class Convolver>
void expectDirectConvolution (Convolver& conv, const std::vector<double>& h, const std::vector<double>& x)
{
	const int taps = static_cast<int> (h.size ());
	for (int n = 0; n < static_cast<int> (x.size ()); ++n)
		ASSERT_NEAR (conv.processSample (x[n]), expectedAt (h, x, n), 1e-13 * taps) << taps << " taps, sample " << n;
}

TEST_P (ConvolverPath, EqualsDirectConvolutionDelayedByOneBlock)
{
	std::mt19937 rng (7);
	for (const auto& [taps, partitions] : {std::pair {1, 1}, std::pair {128, 1}, std::pair {129, 2}, std::pair {2048, 16}, std::pair {2049, 17}})
	{
		const std::vector<double> h = randomSignal (rng, taps);
		BlockConvolver conv (h);
		EXPECT_EQ (conv.partitionCount (), partitions);
		expectDirectConvolution (conv, h, randomSignal (rng, 40 * kB + 57));
	}
	// Two stages: head only, head full, one tap into the tail, several tail partitions.
	for (int taps : {1, TwoStageConvolver::kHeadLength, TwoStageConvolver::kHeadLength + 1, 4000})
	{
		const std::vector<double> h = randomSignal (rng, taps);
		TwoStageConvolver conv (4096);
		conv.loadKernel (h.data (), taps);
		expectDirectConvolution (conv, h, randomSignal (rng, 40 * kB + 57));
	}
}

/**
 * Switches from a kernel of lengths[0] taps to one of lengths[1] at sample switchAt (and, when
 * switchAt is 1, on to lengths[2] during the fade): outside the fade the output is the direct
 * convolution by the kernel in force over the whole input, inside it their raised-cosine blend.
 */
template <class Convolver>
void expectCrossfadedSwitch (Convolver& conv, std::mt19937& rng, int switchAt, const int (&lengths)[3])
{
	const std::vector<double> h1 = randomSignal (rng, lengths[0]), h2 = randomSignal (rng, lengths[1]),
	                          h3 = randomSignal (rng, lengths[2]);
	const int length = switchAt + 6 * kB;
	const std::vector<double> x = randomSignal (rng, length);
	conv.loadKernel (h1.data (), lengths[0]);
	for (int n = 0; n < length; ++n)
	{
		ASSERT_TRUE (n != switchAt || conv.crossfadeToKernel (h2.data (), lengths[1]));
		// Another switch during the fade: it ends on the newest kernel all the same.
		ASSERT_TRUE (n != switchAt + 60 || switchAt != 1 || conv.crossfadeToKernel (h3.data (), lengths[2]));
		const double y = conv.processSample (x[n]);
		if (switchAt == 1 && n < switchAt + kFade)
			continue;  // two switches in one fade: only its end is defined
		const double old = expectedAt (h1, x, n), incoming = expectedAt (switchAt == 1 ? h3 : h2, x, n);
		const double expected = n < switchAt ? old : n >= switchAt + kFade ? incoming : old + fadeGain (n - switchAt) * (incoming - old);
		ASSERT_NEAR (y, expected, 1e-11) << "switch at " << switchAt << ", sample " << n;
	}
	EXPECT_FALSE (conv.isCrossfading ());
}

TEST_P (ConvolverPath, KernelSwitchesCrossfadeAndKeepTheHistory)
{
	std::mt19937 rng (11);
	for (int switchAt : {1000, 1024, 1})  // mid-block, at a block boundary, right after the start
	{
		BlockConvolver conv (2048);
		expectCrossfadedSwitch (conv, rng, switchAt, {600, 640, 620});
	}
	// The tail's blocks are 1024 samples: a fade across one of its block boundaries, and one at it.
	for (int switchAt : {1000, 2048, 1})
	{
		TwoStageConvolver conv (4096);
		expectCrossfadedSwitch (conv, rng, switchAt, {2000, 2040, 2020});
	}
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (ConvolverPath);

TEST (BlockConvolver, AnotherPartitionCountRestartsFromSilenceAndCapacityHolds)
{
	std::mt19937 rng (9);
	const std::vector<double> x = randomSignal (rng, 3000);
	const std::vector<double> tail (x.begin () + 1500, x.end ());  // only input from the switch on counts
	// Uniform: 256 -> 1024 taps changes the partition count; two stages: 2048 -> 4000 the tail's.
	for (const auto& [from, to] : {std::pair {256, 1024}, std::pair {2048, 4000}})
	{
		const std::vector<double> h1 = randomSignal (rng, from), h2 = randomSignal (rng, to);
		BlockConvolver uniform (4096);
		TwoStageConvolver twoStage (4096);
		uniform.loadKernel (h1.data (), from);
		twoStage.loadKernel (h1.data (), from);
		for (int n = 0; n < 1500; ++n)
		{
			uniform.processSample (x[n]);
			twoStage.processSample (x[n]);
		}
		EXPECT_FALSE (uniform.crossfadeToKernel (h2.data (), to));
		EXPECT_FALSE (twoStage.crossfadeToKernel (h2.data (), to));
		for (int n = 1500; n < 3000; ++n)
		{
			const double expected = expectedAt (h2, tail, n - 1500);
			ASSERT_NEAR (uniform.processSample (x[n]), expected, 1e-12) << n;
			ASSERT_NEAR (twoStage.processSample (x[n]), expected, 1e-12) << n;
		}
	}

	// Taps beyond the preallocated capacity are dropped, never written past the end.
	BlockConvolver small (256);
	small.loadKernel (x.data (), 1000);
	EXPECT_EQ (small.partitionCount (), 2);
}

} // namespace
} // namespace QuenrilEQ
