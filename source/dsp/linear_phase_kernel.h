// The linear-phase FIR kernel: the bands' combined magnitude at every bin of
// an N-point grid, taken as a zero-phase spectrum, inverse transformed,
// rotated by N/2 to make it causal (a pure delay of N/2 samples) and shaped
// by a symmetric 4-term Blackman-Harris window. The bands' phase is dropped
// on purpose: that is what makes the mode linear-phase.
#pragma once

#include "eq_band.h"
#include "fft.h"

#include <array>
#include <vector>

namespace QuenrilEQ {

/** Kernel lengths the "Linear Latency" choices select, shortest first. */
constexpr std::array<int, 4> kKernelLengths {2048, 4096, 8192, 16384};
constexpr int kMaxKernelLength = 16384;

/** True for 2048, 4096, 8192 and 16384. */
constexpr bool isSupportedKernelLength (int n) noexcept
{
	return n == 2048 || n == 4096 || n == 8192 || n == 16384;
}

/** Symmetric 4-term Blackman-Harris window value i of n (w(0) = w(n-1) = 0.00006). Any thread. */
double blackmanHarris (int i, int n) noexcept;

/**
 * Everything a kernel of one length needs besides the bands: the bin angles, the window, the
 * inverse transform and its scratch buffers, made once so a design allocates nothing.
 */
class KernelDesigner
{
public:
	/** n: even kernel length >= 4 (throws std::invalid_argument otherwise). [non-audio thread] */
	explicit KernelDesigner (int n);

	int length () const noexcept { return n; }

	/**
	 * Writes the n-tap kernel for the bands at sampleRateHz (Hz) into kernel[0..n).
	 * A bin whose magnitude is not finite is taken as 1 (passes unchanged) so one broken
	 * record cannot turn the whole output into NaN.
	 * [audio thread] No allocation, no locks; the object is not shared between threads.
	 */
	void design (const std::array<EqBand, kNumBands>& bands, double sampleRateHz, double* kernel) noexcept;

	/** The target magnitudes |H(k fs / n)| of the last design, bins 0 .. n/2. */
	const double* targetMagnitudes () const noexcept { return magnitudes.data (); }

private:
	int n;
	const RealFft& fft;
	AlignedBuffer cosW, sinW;  // cos, sin of 2 pi k / n, k = 0 .. n/2
	AlignedBuffer window;      // n window values, already scaled by 1/n
	AlignedBuffer spectrum, impulse, magnitudes;  // spectrum: RealFft's split layout
};

/**
 * The kernel of n taps (n even, >= 4; otherwise an empty vector) for the bands at sampleRateHz.
 * Convenience for tools and tests: plans and allocates on every call. [non-audio thread]
 */
std::vector<double> designKernel (const std::array<EqBand, kNumBands>& bands, double sampleRateHz, int n);

} // namespace QuenrilEQ
