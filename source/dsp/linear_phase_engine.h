// The processor's "Linear" phase mode: one linear-phase kernel built from
// the bands' combined magnitude, run by one convolver for channel 0 and one
// for every other channel. Rebuilt on request (dirty) when the processor
// calls update, at most once per 20 ms of audio; a rebuild at an unchanged
// kernel length carries the convolution on and crossfades to the new kernel,
// so automating a band does not interrupt the sound. Everything a rebuild
// needs is made at construction for the longest kernel, so nothing on the
// audio thread allocates.
#pragma once

#include "eq_band.h"
#include "fft.h"
#include "linear_phase_kernel.h"
#include "two_stage_convolver.h"

#include <array>

namespace QuenrilEQ {

class LinearPhaseEngine
{
public:
	/**
	 * Sample rate 48000 Hz, kernel length 2048, dirty, no convolvers built (audio passes through).
	 * Plans the transforms and preallocates for 16384 taps (about 3 MB). [non-audio thread]
	 * Throws std::bad_alloc, or std::runtime_error when FFTW cannot plan.
	 */
	LinearPhaseEngine ();

	// The setters and the dirty flag belong to whichever thread runs the processor at the time: the
	// audio thread in process, the set-up thread in setupProcessing. No synchronisation of their own.

	/** Design rate in Hz; marks dirty when it changes. Not a positive finite number: ignored. */
	void setSampleRate (double hz) noexcept;
	double sampleRate () const noexcept { return rate; }

	/**
	 * Kernel length N in taps (2048, 4096, 8192 or 16384); marks dirty when it changes. Other values
	 * take the next supported length up (at most 16384).
	 */
	void setKernelLength (int n) noexcept;
	int kernelLength () const noexcept { return length; }

	void markDirty () noexcept { dirty = true; }
	bool isDirty () const noexcept { return dirty; }

	/** Delay of the linear-mode output in samples: N/2 (kernel centre) + 128 (convolver block). */
	int latencySamples () const noexcept { return length / 2 + TwoStageConvolver::kDelay; }

	/**
	 * Rebuilds kernel and convolvers from the bands if dirty; otherwise does nothing. At an unchanged
	 * kernel length the convolvers continue and fade to the new kernel over 128 samples; the first
	 * build and a length change start them from silence.
	 * [audio thread] No allocation, no locks.
	 */
	void update (const std::array<EqBand, kNumBands>& bands) noexcept;

	/** True once update has built the convolvers. */
	bool hasConvolvers () const noexcept { return built; }

	/**
	 * Runs numSamples of one channel: channel 0 through the left convolver, any other through the
	 * right one. Before the first build the samples pass through unchanged and undelayed.
	 * in may equal out. Null buffers or numSamples <= 0: nothing happens. [audio thread]
	 */
	void processBlock (int channel, const float* in, float* out, int numSamples) noexcept;

private:
	KernelDesigner& designerFor (int n) noexcept;

	double rate = 48000.0;
	int length = kKernelLengths[0];
	bool dirty = true;
	bool built = false;

	std::array<KernelDesigner, kKernelLengths.size ()> designers;
	AlignedBuffer kernel;  // kMaxKernelLength taps
	TwoStageConvolver left;
	TwoStageConvolver right;
};

} // namespace QuenrilEQ
