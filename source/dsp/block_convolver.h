// Uniformly partitioned FFT convolution with overlap-add: the kernel is cut
// into partitions of 128 taps, each transformed once (256-point real FFT);
// every 128 input samples cost one forward transform, one spectral
// multiply-accumulate per partition and one inverse transform (scaled by
// 1/256). Samples go in and out one at a time with a fixed delay of exactly
// 128 samples; the output equals the direct convolution up to rounding.
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
// fade from the old kernel's output to the new one's, so nothing clicks.
#pragma once

#include "fft.h"

#include <cstdint>
#include <vector>

namespace QuenrilEQ {

class BlockConvolver
{
public:
	static constexpr int kBlockSize = 128;       // samples per partition and per block step
	static constexpr int kCrossfadeLength = 128;  // samples, kernel switch fade

	/**
	 * Preallocates for kernels of up to maxKernelLength taps (at least one partition), so loading
	 * or switching kernels never allocates. Starts silent with an empty kernel (output 0).
	 * [non-audio thread] Throws std::bad_alloc when memory runs out.
	 */
	explicit BlockConvolver (int maxKernelLength);

	/** Sized for and loaded with kernel (taps). [non-audio thread] */
	explicit BlockConvolver (const std::vector<double>& kernel);

	/**
	 * Loads a kernel of `length` taps (null or length <= 0: empty, silent) and restarts from silence:
	 * no input history, the next 128 outputs are 0. Taps beyond the preallocated capacity are dropped.
	 * [audio thread] No allocation.
	 */
	void loadKernel (const double* kernel, int length) noexcept;

	/**
	 * Switches to a kernel with the current partition count without restarting: the input history
	 * is kept and the next 128 output samples crossfade (raised cosine) from the old kernel's output
	 * to the new one's. A different partition count falls back to loadKernel; returns false then.
	 * A switch during a running fade replaces the incoming kernel and lets the fade finish.
	 * [audio thread] No allocation.
	 */
	bool crossfadeToKernel (const double* kernel, int length) noexcept;

	/** One sample in, the output of kBlockSize samples earlier out. [audio thread] No allocation. */
	double processSample (double x) noexcept;

	/**
	 * processSample over a run of 32-bit samples, widened to 64 bits and narrowed back; the same
	 * results, without the per-sample bookkeeping. in may equal out. [audio thread] No allocation.
	 */
	void process (const float* in, float* out, int numSamples) noexcept;

	/** P = max(1, ceil(taps / 128)) of the loaded kernel. */
	int partitionCount () const noexcept { return partitions; }
	bool isCrossfading () const noexcept { return fading; }

private:
	static constexpr int kFftSize = 2 * kBlockSize;
	// Bins padded to a multiple of 8 (RealFft layout) so spectral loops have a fixed, vector-friendly length.
	static constexpr int kStride = static_cast<int> (RealFft::spectrumStride (kFftSize));
	static constexpr int kSpectrum = 2 * kStride;  // values per spectrum: 129 complex bins, padded

	void transformKernel (int set, const double* kernel, int length) noexcept;
	void accumulate (int set, int newestSlot, double* ahead = nullptr) noexcept;
	void accumulateBlock (int set) noexcept;
	void inverseInto (double* y) noexcept;
	void runBlock () noexcept;
	int slotBefore (int slot, int blocks) const noexcept;

	const RealFft& fft;
	int capacity = 1;    // partitions preallocated
	int partitions = 1;  // P
	int ringSize = 2;    // P + 1: one block more than the sum needs, for recomputing the overlap on a switch

	AlignedBuffer kernelSpectra[2];  // two kernel sets, capacity * kSpectrum each: current and fading-out
	AlignedBuffer inputSpectra;      // ring of (capacity + 1) * kSpectrum: the frequency-domain delay line
	AlignedBuffer outputBlock[2];    // per kernel set, kBlockSize samples being handed out
	AlignedBuffer overlap[2];        // per kernel set, tail of the last block's result
	AlignedBuffer inputBlock;        // kFftSize: samples of this block, second half stays zero
	AlignedBuffer acc;               // kSpectrum, split layout: transform results and spectral sums
	AlignedBuffer ahead[2];          // per kernel set, kSpectrum: the next block's sum less its newest partition
	AlignedBuffer result;            // kFftSize
	AlignedBuffer scratch;           // kFftSize
	AlignedBuffer fadeIn;            // kCrossfadeLength gains of the incoming kernel

	int position = 0;   // samples into the current block (inputs written = outputs handed out)
	bool oddBlock = false;  // the next block adds its newest partition to `ahead` instead of sweeping
	int newest = 0;     // ring slot of the newest input block's spectrum
	int current = 0;    // kernel set in use (fading in while fading)
	bool fading = false;
	int fadePosition = 0;
};

} // namespace QuenrilEQ
