// The partitioned convolver against a direct time-domain convolution, and
// kernel switches against the crossfade of two direct convolutions, on every
// instruction set's spectral sum.
#include "block_convolver.h"
#include "each_instruction_set.h"

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

TEST_P (ConvolverPath, EqualsDirectConvolutionDelayedByOneBlock)
{
	std::mt19937 rng (7);
	for (int taps : {1, 128, 129, 2048, 2049})  // partitions full and one tap into the next
	{
		const std::vector<double> h = randomSignal (rng, taps), x = randomSignal (rng, 40 * kB + 57);
		BlockConvolver conv (h);
		for (int n = 0; n < static_cast<int> (x.size ()); ++n)
			ASSERT_NEAR (conv.processSample (x[n]), expectedAt (h, x, n), 1e-13 * taps) << taps << " taps, sample " << n;
	}
}

TEST_P (ConvolverPath, KernelSwitchesCrossfadeAndKeepTheHistory)
{
	std::mt19937 rng (11);
	for (int switchAt : {1000, 1024, 1})  // mid-block, at a block boundary, right after the start
	{
		const std::vector<double> h1 = randomSignal (rng, 600), h2 = randomSignal (rng, 640), h3 = randomSignal (rng, 620);
		const int length = switchAt + 6 * kB;
		const std::vector<double> x = randomSignal (rng, length);
		BlockConvolver conv (2048);
		conv.loadKernel (h1.data (), 600);
		for (int n = 0; n < length; ++n)
		{
			ASSERT_TRUE (n != switchAt || conv.crossfadeToKernel (h2.data (), 640));
			// Another switch during the fade: it ends on the newest kernel all the same.
			ASSERT_TRUE (n != switchAt + 60 || switchAt != 1 || conv.crossfadeToKernel (h3.data (), 620));
			const double y = conv.processSample (x[n]);
			if (switchAt == 1 && n < switchAt + kFade)
				continue;  // two switches in one fade: only its end is defined
			const double old = expectedAt (h1, x, n), incoming = expectedAt (switchAt == 1 ? h3 : h2, x, n);
			const double expected = n < switchAt ? old : n >= switchAt + kFade ? incoming : old + fadeGain (n - switchAt) * (incoming - old);
			ASSERT_NEAR (y, expected, 1e-11) << "switch at " << switchAt << ", sample " << n;
		}
		EXPECT_FALSE (conv.isCrossfading ());
	}

	// Another partition count cannot crossfade: it restarts from silence, where only input from
	// the switch on counts.
	const std::vector<double> h1 = randomSignal (rng, 256), h2 = randomSignal (rng, 1024), x = randomSignal (rng, 3000);
	BlockConvolver conv (2048);
	conv.loadKernel (h1.data (), 256);
	const std::vector<double> tail (x.begin () + 1500, x.end ());
	for (int n = 0; n < 1500; ++n)
		conv.processSample (x[n]);
	EXPECT_FALSE (conv.crossfadeToKernel (h2.data (), 1024));
	for (int n = 1500; n < 3000; ++n)
		ASSERT_NEAR (conv.processSample (x[n]), expectedAt (h2, tail, n - 1500), 1e-12) << n;
	EXPECT_EQ (conv.partitionCount (), 8);

	// Taps beyond the preallocated capacity are dropped, never written past the end.
	BlockConvolver small (256);
	small.loadKernel (x.data (), 1000);
	EXPECT_EQ (small.partitionCount (), 2);
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (ConvolverPath);

} // namespace
} // namespace QuenrilEQ
