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
constexpr double kPi = 3.14159265358979323846;

std::vector<double> randomSignal (std::mt19937& rng, int n)
{
	std::uniform_real_distribution<double> u (-1, 1);
	std::vector<double> v (static_cast<std::size_t> (n));
	for (double& x : v)
		x = u (rng);
	return v;
}

// y[n] = sum_k h[k] x[n - k], x = 0 before the first sample.
double directAt (const std::vector<double>& h, const std::vector<double>& x, int n)
{
	double y = 0;
	for (int k = 0; k < static_cast<int> (h.size ()) && k <= n; ++k)
		y += h[k] * x[n - k];
	return y;
}

// The convolver's output at sample n is the direct convolution at n - 128.
double expectedAt (const std::vector<double>& h, const std::vector<double>& x, int n)
{
	return n < kB ? 0.0 : directAt (h, x, n - kB);
}

// The spectral sum runs on every instruction set's kernel.
using ConvolverPath = testing::EachInstructionSet;

TEST_P (ConvolverPath, EqualsDirectConvolutionDelayedByOneBlock)
{
	std::mt19937 rng (7);
	for (int taps : {1, 128, 129, 2048, 2049})
	{
		const std::vector<double> h = randomSignal (rng, taps);
		const int length = 40 * kB + 57;  // many blocks, ending mid-block
		const std::vector<double> x = randomSignal (rng, length);
		BlockConvolver conv (h);
		double scale = 0;
		for (double v : h)
			scale += std::fabs (v);
		double worst = 0;
		for (int n = 0; n < length; ++n)
			worst = std::max (worst, std::fabs (conv.processSample (x[n]) - expectedAt (h, x, n)));
		EXPECT_LT (worst, 1e-13 * scale) << taps << " taps";
	}
}

TEST (BlockConvolver, PartitionCountsAndEmptyKernel)
{
	const std::pair<int, int> cases[] = {{0, 1}, {1, 1}, {128, 1}, {129, 2}, {2048, 16}, {2049, 17}, {16384, 128}};
	for (const auto& [taps, partitions] : cases)
		EXPECT_EQ (BlockConvolver (std::vector<double> (static_cast<std::size_t> (taps), 0.5)).partitionCount (), partitions)
		    << taps;

	BlockConvolver empty (std::vector<double> {});
	for (int n = 0; n < 5 * kB; ++n)
		EXPECT_EQ (empty.processSample (std::sin (0.1 * n)), 0.0);

	// Taps beyond the preallocated capacity are dropped, never written past the end.
	BlockConvolver small (256);
	const std::vector<double> long_ (1000, 1.0);
	small.loadKernel (long_.data (), static_cast<int> (long_.size ()));
	EXPECT_EQ (small.partitionCount (), 2);
}

TEST (BlockConvolver, UnitKernelIsAnExactDelayAndStartsSilent)
{
	BlockConvolver conv (std::vector<double> {1.0});
	std::mt19937 rng (3);
	const std::vector<double> x = randomSignal (rng, 10 * kB);
	for (int n = 0; n < static_cast<int> (x.size ()); ++n)
	{
		const double y = conv.processSample (x[n]);
		if (n < kB)
		{
			EXPECT_EQ (y, 0.0);
		}
		else
		{
			EXPECT_NEAR (y, x[n - kB], 1e-15);
		}
	}
}

// Raised-cosine gain of the incoming kernel for sample j of the fade.
double fadeGain (int j) { return 0.5 - 0.5 * std::cos (kPi * (j + 0.5) / BlockConvolver::kCrossfadeLength); }

TEST_P (ConvolverPath, KernelSwitchContinuesHistoryAndCrossfades)
{
	std::mt19937 rng (11);
	for (int switchAt : {1000, 1024, 1})  // mid-block, at a block boundary, right after the start
	{
		const std::vector<double> h1 = randomSignal (rng, 600), h2 = randomSignal (rng, 640);  // both 5 partitions
		const int length = switchAt + 6 * kB;
		const std::vector<double> x = randomSignal (rng, length);
		BlockConvolver conv (2048);
		conv.loadKernel (h1.data (), static_cast<int> (h1.size ()));
		for (int n = 0; n < length; ++n)
		{
			if (n == switchAt)
			{
				ASSERT_TRUE (conv.crossfadeToKernel (h2.data (), static_cast<int> (h2.size ())));
			}
			const double y = conv.processSample (x[n]);
			const double old = expectedAt (h1, x, n), incoming = expectedAt (h2, x, n);
			double expected = old;
			if (n >= switchAt + BlockConvolver::kCrossfadeLength)
				expected = incoming;
			else if (n >= switchAt)
				expected = old + fadeGain (n - switchAt) * (incoming - old);
			ASSERT_NEAR (y, expected, 1e-11) << "switch at " << switchAt << ", sample " << n;
		}
		EXPECT_FALSE (conv.isCrossfading ());
	}
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (ConvolverPath);

TEST (BlockConvolver, SwitchDuringAFadeEndsOnTheNewestKernel)
{
	std::mt19937 rng (5);
	const std::vector<double> h1 = randomSignal (rng, 300), h2 = randomSignal (rng, 300), h3 = randomSignal (rng, 300);
	const std::vector<double> x = randomSignal (rng, 2000);
	BlockConvolver conv (h1);
	for (int n = 0; n < 2000; ++n)
	{
		if (n == 700)
			conv.crossfadeToKernel (h2.data (), 300);
		if (n == 760)
			conv.crossfadeToKernel (h3.data (), 300);
		const double y = conv.processSample (x[n]);
		if (n >= 700 + BlockConvolver::kCrossfadeLength)
		{
			ASSERT_NEAR (y, expectedAt (h3, x, n), 1e-11) << n;
		}
	}
}

TEST (BlockConvolver, SwitchToAnotherPartitionCountRestartsFromSilence)
{
	std::mt19937 rng (9);
	const std::vector<double> h1 = randomSignal (rng, 256), h2 = randomSignal (rng, 1024);
	const std::vector<double> x = randomSignal (rng, 3000);
	BlockConvolver conv (2048);
	conv.loadKernel (h1.data (), 256);
	const int switchAt = 1500;
	const std::vector<double> tail (x.begin () + switchAt, x.end ());  // only input from the switch on counts
	for (int n = 0; n < 3000; ++n)
	{
		if (n == switchAt)
		{
			EXPECT_FALSE (conv.crossfadeToKernel (h2.data (), 1024));
		}
		const double y = conv.processSample (x[n]);
		if (n >= switchAt)
		{
			ASSERT_NEAR (y, expectedAt (h2, tail, n - switchAt), 1e-12) << n;
		}
	}
	EXPECT_EQ (conv.partitionCount (), 8);
}

} // namespace
} // namespace QuenrilEQ
