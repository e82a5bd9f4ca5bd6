// Linear mode's convolver. A uniformly partitioned convolver pays one
// spectral product per partition per block, so with short partitions a long
// kernel costs most of its time in those products; long partitions would cut
// them but delay the output by a whole long block. This one splits the
// kernel: its head runs in 128-sample partitions, which set the delay (128
// samples), and the rest in 1024-sample partitions, whose own delay of 1024
// samples is exactly the head's 896 taps plus those 128 samples. Both stages
// see the same input and their outputs add up to the direct convolution of
// the whole kernel, one 128-sample block late.
#pragma once

#include "block_convolver.h"

namespace QuenrilEQ {

class TwoStageConvolver
{
public:
	static constexpr int kDelay = BlockConvolver::kBlockSize;  // samples from input to output
	static constexpr int kTailBlockSize = 1024;
	static constexpr int kHeadLength = kTailBlockSize - kDelay;  // taps the short partitions take

	/** Preallocates for kernels of up to maxKernelLength taps. Silent until a kernel is loaded. [non-audio thread] */
	explicit TwoStageConvolver (int maxKernelLength);

	/** Loads a kernel (null or length <= 0: silent) and restarts from silence. [audio thread] No allocation. */
	void loadKernel (const double* kernel, int length) noexcept;

	/**
	 * Switches to a kernel while keeping the input history and fades to it over the next
	 * BlockConvolver::kCrossfadeLength samples, when both stages keep their partition counts;
	 * otherwise loads it (loadKernel) and returns false. [audio thread] No allocation.
	 */
	bool crossfadeToKernel (const double* kernel, int length) noexcept;

	/** One sample in, the output of kDelay samples earlier out. [audio thread] No allocation. */
	double processSample (double x) noexcept;

	/**
	 * processSample over a run of 32-bit samples, summed in 64 bits and narrowed once. in may equal
	 * out. [audio thread] No allocation.
	 */
	void process (const float* in, float* out, int numSamples) noexcept;

	bool isCrossfading () const noexcept { return head.isCrossfading () || tail.isCrossfading (); }

private:
	BlockConvolver head;
	BlockConvolver tail;
	bool tailInUse = false;  // the loaded kernel is longer than the head
	AlignedBuffer sum;       // kDelay values: both stages' outputs for one run
};

} // namespace QuenrilEQ
