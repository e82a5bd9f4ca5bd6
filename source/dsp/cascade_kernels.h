// Inner loops of the block path: a cascade of transposed direct form II
// sections and the one-pole cut, run over a buffer in place. T is double
// (one channel) or StereoFrame (left and right of a stereo band side by side
// in one SSE2 register; SSE2 is part of the x86-64 baseline). The arithmetic is written exactly as
// processBandSample writes it, so both paths round identically.
//
// A section's recurrence is latency-bound, so a plain "section after section
// per sample" loop leaves most of the FPU idle. The group kernel runs K
// sections as a wavefront: at step t section j works on sample t - j, so the
// K recurrences in flight are independent and overlap in the pipeline.
#pragma once

#include <emmintrin.h>

namespace QuenrilEQ::kernels {

/** Left and right in one register. A wrapper, so it can be a template argument without losing attributes. */
struct StereoFrame
{
	__m128d v;
};

inline StereoFrame operator+ (StereoFrame a, StereoFrame b) noexcept { return {_mm_add_pd (a.v, b.v)}; }
inline StereoFrame operator- (StereoFrame a, StereoFrame b) noexcept { return {_mm_sub_pd (a.v, b.v)}; }
inline StereoFrame operator* (StereoFrame a, StereoFrame b) noexcept { return {_mm_mul_pd (a.v, b.v)}; }

/** How a sample of T is read from and written to a double buffer (interleaved for stereo). */
template <typename T>
struct Frames;

template <>
struct Frames<double>
{
	static constexpr int kWidth = 1;
	static double load (const double* p) noexcept { return *p; }
	static void store (double* p, double v) noexcept { *p = v; }
};

template <>
struct Frames<StereoFrame>
{
	static constexpr int kWidth = 2;
	// The intrinsics may read doubles as vectors without breaking aliasing rules; needs 16-byte alignment.
	static StereoFrame load (const double* p) noexcept { return {_mm_load_pd (p)}; }
	static void store (double* p, StereoFrame v) noexcept { _mm_store_pd (p, v.v); }
};

/** One section's coefficients and state, in registers while a block runs. */
template <typename T>
struct SectionRegs
{
	T b0, b1, b2, a1, a2, s1, s2;
};

template <typename T>
inline T tick (SectionRegs<T>& s, T x) noexcept
{
	const T y = s.b0 * x + s.s1;
	s.s1 = s.b1 * x - s.a1 * y + s.s2;
	s.s2 = s.b2 * x - s.a2 * y;
	return y;
}

/**
 * K sections over frames [0, n) of data in place, as a wavefront. Writing frame t - K + 1 after
 * reading frame t never overwrites a frame still to be read, so in-place is safe.
 */
template <typename T, int K>
inline void runSectionGroup (SectionRegs<T>* sections, double* data, int n) noexcept
{
	using F = Frames<T>;
	constexpr int w = F::kWidth;
	SectionRegs<T> r[K];
	T p[K];  // latest output of each section
#pragma GCC unroll 8
	for (int j = 0; j < K; ++j)
	{
		r[j] = sections[j];
		p[j] = r[j].s1;  // any value: read only after the section has produced one
	}

	// Ramp-up and ramp-down steps run only the sections whose sample lies inside [0, n).
	auto partialStep = [&] (int t) {
#pragma GCC unroll 8
		for (int j = K - 1; j >= 0; --j)
		{
			if (t - j >= 0 && t - j < n)
				p[j] = tick (r[j], j == 0 ? F::load (data + w * t) : p[j - 1]);
		}
		if (t - (K - 1) >= 0 && t - (K - 1) < n)
			F::store (data + w * (t - (K - 1)), p[K - 1]);
	};

	const int total = n + K - 1;
	const int rampUpEnd = K - 1 < total ? K - 1 : total;
	int t = 0;
	for (; t < rampUpEnd; ++t)
		partialStep (t);
	for (; t < n; ++t)
	{
		const T x = F::load (data + w * t);
#pragma GCC unroll 8
		for (int j = K - 1; j > 0; --j)
			p[j] = tick (r[j], p[j - 1]);
		p[0] = tick (r[0], x);
		F::store (data + w * (t - (K - 1)), p[K - 1]);
	}
	for (; t < total; ++t)
		partialStep (t);

#pragma GCC unroll 8
	for (int j = 0; j < K; ++j)
	{
		sections[j].s1 = r[j].s1;
		sections[j].s2 = r[j].s2;
	}
}

/** count sections over frames [0, n) of data in place, in wavefront groups of up to four. */
template <typename T>
inline void runCascade (SectionRegs<T>* sections, int count, double* data, int n) noexcept
{
	int i = 0;
	for (; count - i >= 4; i += 4)
		runSectionGroup<T, 4> (sections + i, data, n);
	switch (count - i)
	{
		case 3: runSectionGroup<T, 3> (sections + i, data, n); break;
		case 2: runSectionGroup<T, 2> (sections + i, data, n); break;
		case 1: runSectionGroup<T, 1> (sections + i, data, n); break;
		default: break;
	}
}

/** The trapezoidal one-pole of 6 dB/oct cuts over frames [0, n) in place; high-pass output for a low cut. */
template <typename T, bool kLowCutOutput>
inline void runFirstOrder (T g, T& state, double* data, int n) noexcept
{
	using F = Frames<T>;
	T s = state;
	for (int t = 0; t < n; ++t)
	{
		const T x = F::load (data + F::kWidth * t);
		const T v = (x - s) * g;
		const T lp = v + s;
		s = lp + v;
		F::store (data + F::kWidth * t, kLowCutOutput ? x - lp : lp);
	}
	state = s;
}

} // namespace QuenrilEQ::kernels
