// FFTW glue for the linear-phase engine: SIMD-aligned buffers that own
// their memory, and a process-wide cache of real-transform plans.
//
// FFTW's planner is not thread-safe, and several plug-in instances in one
// process may build engines at the same time, so every plan is made under one
// process-wide mutex and kept for the life of the process. Executing a plan
// on other arrays (fftw_execute_split_dft_r2c and friends) is thread-safe, so
// instances share the plans and run them lock-free on their audio threads.
#pragma once

#include <cstddef>

namespace QuenrilEQ {

/**
 * A zero-filled array of doubles aligned for SIMD (fftw_malloc). Move-only.
 * Construction and destruction allocate and free: [non-audio thread].
 */
class AlignedBuffer
{
public:
	AlignedBuffer () noexcept = default;
	/** count values, zero-filled. Throws std::bad_alloc when memory runs out. */
	explicit AlignedBuffer (std::size_t count);
	~AlignedBuffer ();

	AlignedBuffer (AlignedBuffer&& other) noexcept;
	AlignedBuffer& operator= (AlignedBuffer&& other) noexcept;
	AlignedBuffer (const AlignedBuffer&) = delete;
	AlignedBuffer& operator= (const AlignedBuffer&) = delete;

	double* data () noexcept { return values; }
	const double* data () const noexcept { return values; }
	std::size_t size () const noexcept { return count; }
	double& operator[] (std::size_t i) noexcept { return values[i]; }
	double operator[] (std::size_t i) const noexcept { return values[i]; }

	/** Sets every value to 0. [any thread that owns the buffer] */
	void clear () noexcept;

private:
	double* values = nullptr;
	std::size_t count = 0;
};

/** Rounds a count of doubles up so consecutive sub-arrays stay SIMD-aligned (multiple of 8). */
constexpr std::size_t alignedCount (std::size_t count) noexcept
{
	return (count + 7) & ~static_cast<std::size_t> (7);
}

/**
 * The two real transforms of one size n (even, >= 2), planned once per process.
 * The spectrum of n real values is n/2 + 1 complex bins, kept split so spectral products
 * vectorise: one array of 2 * stride values, real parts at [0, n/2], imaginary parts at
 * [stride, stride + n/2], stride = spectrumStride (n). FFTW's split plans bake in the distance
 * between the two halves, which is why they travel as one array.
 *
 * forward: x[0..n) -> X_k = sum x_i e^(-j 2 pi i k / n), unscaled.
 * backward: X -> x_i = sum over the Hermitian spectrum of X_k e^(+j 2 pi i k / n), unnormalised
 * (a forward-backward round trip multiplies by n); the imaginary parts of DC and Nyquist are
 * ignored, and the spectrum is overwritten.
 *
 * The interleaved forms do the same on bins kept as (real, imaginary) pairs, n/2 + 1 of them:
 * FFTW's vector code runs on that layout directly, at about half the cost of the split one, which
 * suits the convolver's per-block transforms.
 *
 * Arrays must come from AlignedBuffer (or fftw_malloc) or start a multiple of 8 values into one;
 * input and output must not overlap. [any thread, lock-free, allocation-free]
 */
class RealFft
{
public:
	/** The shared plans for size n; made on first use under the planner mutex. [non-audio thread] */
	static const RealFft& forSize (int n);

	/** Distance from real to imaginary parts in a spectrum of size n: n/2 + 1 rounded up to 8. */
	static constexpr std::size_t spectrumStride (int n) noexcept { return alignedCount (static_cast<std::size_t> (n / 2 + 1)); }

	/** Values an interleaved spectrum of size n takes: n + 2, rounded up to 8. */
	static constexpr std::size_t interleavedSize (int n) noexcept { return alignedCount (static_cast<std::size_t> (n + 2)); }

	int size () const noexcept { return n; }
	void forward (const double* in, double* spectrum) const noexcept;
	void backward (double* spectrum, double* out) const noexcept;
	void forwardInterleaved (const double* in, double* bins) const noexcept;
	void backwardInterleaved (double* bins, double* out) const noexcept;

	/** Plans size n; use forSize, which shares plans across the process. Throws when FFTW cannot plan. */
	explicit RealFft (int size);
	~RealFft ();
	RealFft (const RealFft&) = delete;
	RealFft& operator= (const RealFft&) = delete;

private:
	void destroyPlans () noexcept;

	int n = 0;
	void* forwardPlan = nullptr;   // fftw_plan
	void* backwardPlan = nullptr;  // fftw_plan
	void* forwardInterleavedPlan = nullptr;
	void* backwardInterleavedPlan = nullptr;
};

} // namespace QuenrilEQ
