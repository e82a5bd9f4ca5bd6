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
constexpr int kHead = TwoStageConvolver::kHeadLength;

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
	auto check = [&] (auto& conv, int taps) {
		const std::vector<double> h = randomSignal (rng, taps), x = randomSignal (rng, 40 * kB + 57);
		conv.loadKernel (h.data (), taps);
		for (int n = 0; n < static_cast<int> (x.size ()); ++n)
			ASSERT_NEAR (conv.processSample (x[n]), expectedAt (h, x, n), 1e-13 * taps) << taps << " taps, sample " << n;
	};
	for (int taps : {1, 128, 129, 2048, 2049})  // partitions full and one tap into the next
	{
		BlockConvolver conv (taps);
		check (conv, taps);
	}
	for (int taps : {1, kHead, kHead + 1, 4000})  // head only, head full, a tap into the tail, a long tail
	{
		TwoStageConvolver conv (4096);
		check (conv, taps);
	}
}

/**
 * Switches from a kernel of lengths[0] taps to one of lengths[1] at sample switchAt (and, when
 * switchAt is 1, on to lengths[2] during the fade), then runs `after` samples. With the partition
 * count kept, outside the fade the output is the direct convolution by the kernel in force over the
 * whole input, inside it their raised-cosine blend. Another partition count cannot crossfade: it
 * restarts from silence, where only input from the switch on counts.
 */
template <class Convolver>
void expectSwitch (Convolver& conv, std::mt19937& rng, int switchAt, const int (&lengths)[3], bool crossfades = true, int after = 6 * kB)
{
	const std::vector<double> h1 = randomSignal (rng, lengths[0]), h2 = randomSignal (rng, lengths[1]),
	                          h3 = randomSignal (rng, lengths[2]), x = randomSignal (rng, switchAt + after);
	const std::vector<double> fromSwitch (x.begin () + switchAt, x.end ());
	conv.loadKernel (h1.data (), lengths[0]);
	for (int n = 0; n < switchAt + after; ++n)
	{
		ASSERT_TRUE (n != switchAt || conv.crossfadeToKernel (h2.data (), lengths[1]) == crossfades);
		// Another switch during the fade: it ends on the newest kernel all the same.
		ASSERT_TRUE (n != switchAt + 60 || switchAt != 1 || conv.crossfadeToKernel (h3.data (), lengths[2]));
		const double y = conv.processSample (x[n]);
		if (switchAt == 1 && n < switchAt + kFade)
			continue;  // two switches in one fade: only its end is defined
		const double old = expectedAt (h1, x, n), incoming = crossfades ? expectedAt (switchAt == 1 ? h3 : h2, x, n)
		                                                                : expectedAt (h2, fromSwitch, n - switchAt);
		const double expected = n < switchAt ? old
		                        : n >= switchAt + kFade || !crossfades ? incoming
		                                                               : old + fadeGain (n - switchAt) * (incoming - old);
		ASSERT_NEAR (y, expected, crossfades ? 1e-11 : 1e-12) << "switch at " << switchAt << ", sample " << n;
	}
	EXPECT_FALSE (conv.isCrossfading ());
}

TEST_P (ConvolverPath, KernelSwitchesCrossfadeAndKeepTheHistory)
{
	std::mt19937 rng (11);
	for (int switchAt : {1000, 1024, 1})  // mid-block, at a block boundary, right after the start
	{
		BlockConvolver conv (2048);
		expectSwitch (conv, rng, switchAt, {600, 640, 620});
	}
	// The tail's blocks are 1024 samples: a fade across one of its block boundaries, and one at it.
	for (int switchAt : {1000, 2048, 1})
	{
		TwoStageConvolver conv (4096);
		expectSwitch (conv, rng, switchAt, {2000, 2040, 2020});
	}
	BlockConvolver uniform (2048);
	expectSwitch (uniform, rng, 1500, {256, 1024, 0}, false, 1500);
	EXPECT_EQ (uniform.partitionCount (), 8);
	TwoStageConvolver twoStage (4096);
	expectSwitch (twoStage, rng, 1500, {2048, 4000, 0}, false, 1500);  // the tail's partition count changes

	// Taps beyond the preallocated capacity are dropped, never written past the end.
	BlockConvolver small (256);
	const std::vector<double> x = randomSignal (rng, 1000);
	small.loadKernel (x.data (), 1000);
	EXPECT_EQ (small.partitionCount (), 2);
}
QEQ_INSTANTIATE_FOR_EACH_INSTRUCTION_SET (ConvolverPath);

} // namespace
} // namespace QuenrilEQ
