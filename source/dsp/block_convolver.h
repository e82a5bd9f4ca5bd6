// Uniformly partitioned FFT convolution with overlap-add: the kernel is cut
// into partitions of B taps (128 unless chosen otherwise), each transformed
// once (2B-point real FFT); every B input samples cost one forward transform,
// one spectral multiply-accumulate per partition and one inverse transform
// (scaled by 1/2B). Samples go in and out one at a time with a fixed delay of
// exactly B samples; the output equals the direct convolution up to rounding.
//
// The spectral sum reads every stored spectrum once per block, more than the
// core's cache holds for long kernels, so it is done for two blocks at a
// time: the sweep of an even block also forms the part of the next block's
// sum that the inputs so far decide, and the odd block adds only its newest
// partition to it. Each stored spectrum is thus read once per two blocks.
//
// A kernel can be replaced while audio runs: with the same partition count
// the frequency-domain delay line and the position in the current block are
// kept, so the output carries on, and the first 128 samples after the switch
// fade from the old kernel's output to the new one's, so nothing clicks. The
// fade does not depend on B, so convolvers of different block sizes that
// share one input and switch together fade as one.
#pragma once

#include "fft.h"

#include <cstdint>

namespace QuenrilEQ {

class BlockConvolver
{
public:
	static constexpr int kBlockSize = 128;       // default samples per partition and per block step
	static constexpr int kCrossfadeLength = 128;  // samples, kernel switch fade

	/**
	 * Preallocates for kernels of up to maxKernelLength taps (at least one partition), so loading
	 * or switching kernels never allocates. Starts silent with an empty kernel (output 0).
	 * blockSize B: a power of two, at least 8. [non-audio thread] Plans the transforms;
	 * throws std::bad_alloc when memory runs out, std::runtime_error when FFTW cannot plan.
	 */
	explicit BlockConvolver (int maxKernelLength, int blockSize = kBlockSize);

	/**
	 * Loads a kernel of `length` taps (null or length <= 0: empty, silent) and restarts from silence:
	 * no input history, the next B outputs are 0. Taps beyond the preallocated capacity are dropped.
	 * [audio thread] No allocation.
	 */
	void loadKernel (const double* kernel, int length) noexcept;

	/**
	 * Switches to a kernel with the current partition count without restarting: the input history
	 * is kept and the next kCrossfadeLength output samples crossfade (raised cosine) from the old
	 * kernel's output to the new one's. A different partition count falls back to loadKernel; returns false then.
	 * A switch during a running fade replaces the incoming kernel and lets the fade finish.
	 * [audio thread] No allocation.
	 */
	bool crossfadeToKernel (const double* kernel, int length) noexcept;

	/** One sample in, the output of B samples earlier out. [audio thread] No allocation. */
	double processSample (double x) noexcept;

	/**
	 * processSample over a run of 32-bit samples, widened to 64 bits, each output added to sum
	 * (so several convolvers can share one sum); the same results, without the per-sample
	 * bookkeeping. [audio thread] No allocation.
	 */
	void processAdding (const float* in, double* sum, int numSamples) noexcept;

	/** P = max(1, ceil(taps / B)) of the loaded kernel. */
	int partitionCount () const noexcept { return partitions; }
	/** Whether a kernel of `length` taps has the current partition count (crossfadeToKernel keeps going). */
	bool keepsGoingWith (int length) const noexcept;
	bool isCrossfading () const noexcept { return fading; }

private:
	int partitionsFor (int length) const noexcept;

	void transformKernel (int set, const double* kernel, int length) noexcept;
	void accumulate (int set, int newestSlot, double* ahead = nullptr) noexcept;
	void accumulateBlock (int set) noexcept;
	void inverseInto (double* y) noexcept;
	void runBlock () noexcept;
	int slotBefore (int slot, int blocks) const noexcept;

	const int block;        // B
	const int fftSize;      // 2B
	const int stride;       // B + 1 bins padded to a multiple of 8 (RealFft layout): fixed, vector-friendly loops
	const int spectrumSize; // values per spectrum: 2 * stride
	const RealFft& fft;
	int capacity = 1;    // partitions preallocated
	int partitions = 1;  // P
	int ringSize = 2;    // P + 1: one block more than the sum needs, for recomputing the overlap on a switch

	AlignedBuffer kernelSpectra[2];  // two kernel sets, capacity spectra each: current and fading-out
	AlignedBuffer inputSpectra;      // ring of capacity + 1 spectra: the frequency-domain delay line
	AlignedBuffer outputBlock[2];    // per kernel set, B samples being handed out
	AlignedBuffer overlap[2];        // per kernel set, tail of the last block's result
	AlignedBuffer inputBlock;        // 2B: samples of this block, second half stays zero
	AlignedBuffer acc;               // one spectrum, split layout: spectral sums
	AlignedBuffer ahead[2];          // per kernel set, one spectrum: the next block's sum less its newest partition
	AlignedBuffer result;            // 2B
	AlignedBuffer scratch;           // 2B
	AlignedBuffer bins;              // one spectrum as (real, imaginary) pairs, the transforms' layout
	AlignedBuffer fadeIn;            // kCrossfadeLength gains of the incoming kernel

	int position = 0;   // samples into the current block (inputs written = outputs handed out)
	bool oddBlock = false;  // the next block adds its newest partition to `ahead` instead of sweeping
	int newest = 0;     // ring slot of the newest input block's spectrum
	int current = 0;    // kernel set in use (fading in while fading)
	bool fading = false;
	int fadePosition = 0;
};

} // namespace QuenrilEQ
