// The detector of a dynamic band over a run of samples: band-pass, level in
// dB, envelope, control-step count. The band-pass and the envelope are
// recurrences that each wait on their own last result, so the work is laid
// out for them to overlap: the band-pass runs a register's width of samples
// ahead, their levels are taken together in one vector logarithm (which does
// not wait on anything), and the envelope follows sample by sample.
//
// Templates over an instruction-set description; the SSE2 form performs the
// very operations of detectorStep (band_dynamics.h), so it is bit-identical.
#pragma once

#include "../kernel_table.h"
#include "../level_db.h"  // constants only: its functions must not be called from here

#include <type_traits>

namespace QuenrilEQ::kernels {

/** levelDb (level_db.h) lane by lane; the SSE2 form performs the same operations. */
template <class Isa>
inline typename Isa::V levelDbVector (typename Isa::V magnitude) noexcept
{
	using namespace leveldb;
	typename Isa::V e, m;
	Isa::splitExponent (magnitude, e, m);
	e = Isa::sub (e, Isa::set1 (kExponentBias));
	const auto high = Isa::greater (m, Isa::set1 (kSqrt2));  // fold m into [sqrt(1/2), sqrt(2)]
	m = Isa::select (high, Isa::mul (m, Isa::set1 (0.5)), m);
	e = Isa::add (e, Isa::select (high, Isa::set1 (1.0), Isa::zero ()));
	const auto one = Isa::set1 (1.0);
	const auto s = Isa::div (Isa::sub (m, one), Isa::add (m, one));
	const auto z = Isa::mul (s, s);
	typename Isa::V p;
	if constexpr (Isa::kFused)
	{
		// Estrin's scheme: four multiply-adds deep instead of Horner's ten, so the logarithm's latency
		// stays short enough for the pipeline below to hide it.
		static_assert (kTerms == 11, "the tree below covers eleven terms");
		auto c = [] (int k) { return Isa::set1 (kSeries[k]); };
		const auto z2 = Isa::mul (z, z);
		const auto z4 = Isa::mul (z2, z2);
		const auto z8 = Isa::mul (z4, z4);
		const auto q0 = Isa::mulAdd (c (1), z, c (0)), q1 = Isa::mulAdd (c (3), z, c (2));
		const auto q2 = Isa::mulAdd (c (5), z, c (4)), q3 = Isa::mulAdd (c (7), z, c (6));
		const auto q4 = Isa::mulAdd (c (9), z, c (8));
		const auto r0 = Isa::mulAdd (q1, z2, q0), r1 = Isa::mulAdd (q3, z2, q2), r2 = Isa::mulAdd (c (10), z2, q4);
		p = Isa::mulAdd (r2, z8, Isa::mulAdd (r1, z4, r0));
	}
	else
	{
		p = Isa::set1 (kSeries[kTerms - 1]);
		for (int k = kTerms - 2; k >= 0; --k)
			p = Isa::add (Isa::mul (p, z), Isa::set1 (kSeries[k]));
	}
	if constexpr (Isa::kFused)
		return Isa::mul (Isa::mulAdd (e, Isa::set1 (kLn2), Isa::mul (s, p)), Isa::set1 (kDbPerNeper));
	else
		return Isa::mul (Isa::add (Isa::mul (e, Isa::set1 (kLn2)), Isa::mul (s, p)), Isa::set1 (kDbPerNeper));
}

template <class Isa>
int detectorPass (const DetectorSettings& c, DetectorState& d, const double* input, int n, int* stepAt,
                  double* envelopeAt) noexcept
{
	using V = typename Isa::V;
	constexpr int kWidth = Isa::kWidth;
	constexpr double kLevelFloor = 0.000001;  // -120 dB
	const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
	// The fused form substitutes y = b0 x + s1 into the state updates, so neither waits for y:
	// s1' = (b1 - a1 b0) x - a1 s1 + s2, s2' = (b2 - a2 b0) x - a2 s1.
	const double c1 = b1 - a1 * b0, c2 = b2 - a2 * b0;
	const double attack = c.attackCoef, release = c.releaseCoef;
	// The fused form takes the envelope step as a weighted sum, one multiply-add deep on its recurrence.
	const double attackRest = 1.0 - attack, releaseRest = 1.0 - release;
	// Rising levels take the attack candidate, falling ones the release candidate. With attack <=
	// release the chosen one is always the larger of the two (rounding is monotonic, so this holds
	// exactly), otherwise the smaller: a max or min instead of a comparison that would mispredict.
	const int interval = c.controlInterval > 0 ? c.controlInterval : 1;
	double s1 = d.s1, s2 = d.s2, envelope = d.envelope;
	int counter = d.counter, steps = 0;

	// Band-pass magnitudes of the kWidth samples from `first` (lanes past n read 1).
	auto magnitudesFrom = [&] (int first) noexcept {
		alignas (64) double magnitude[kWidth];
		const int m = n - first < kWidth ? n - first : kWidth;
#pragma GCC unroll 8
		for (int k = 0; k < kWidth; ++k)
		{
			if (m < kWidth && k >= m)
			{
				magnitude[k] = 1.0;
				continue;
			}
			const double x = input[first + k];
			double y;
			if constexpr (Isa::kFused)
			{
				y = __builtin_fma (b0, x, s1);
				const double previous = s1;
				s1 = __builtin_fma (-a1, previous, __builtin_fma (c1, x, s2));
				s2 = __builtin_fma (-a2, previous, c2 * x);
			}
			else
			{
				y = b0 * x + s1;
				s1 = b1 * x - a1 * y + s2;
				s2 = b2 * x - a2 * y;
			}
			const double m = __builtin_fabs (y);
			magnitude[k] = m > kLevelFloor ? m : kLevelFloor;  // a NaN reads as the floor
		}
		return Isa::fromLanes (magnitude);
	};

	// Envelope steps over the levels of the samples from `first`; weighted: the fused form's level
	// terms (1 - coefficient) * level, taken with the logarithm.
	auto envelopeFrom = [&] (int first, const double* level, const double* weighted, auto attackIsFaster) noexcept {
		const int m = n - first < kWidth ? n - first : kWidth;
		for (int k = 0; k < m; ++k)
		{
			const double l = level[k];
			double attacked, released;
			if constexpr (Isa::kFused)
			{
				attacked = __builtin_fma (attack, envelope, weighted[k]);
				released = __builtin_fma (release, envelope, weighted[kWidth + k]);
			}
			else
			{
				// Both candidates exactly as envelopeStep.
				const double gap = envelope - l;
				attacked = l + attack * gap;
				released = l + release * gap;
			}
			if constexpr (attackIsFaster)
				envelope = attacked > released ? attacked : released;
			else
				envelope = attacked < released ? attacked : released;
			if (++counter >= interval)
			{
				counter = 0;
				stepAt[steps] = first + k;
				envelopeAt[steps] = envelope;
				++steps;
			}
		}
	};

	// A three-stage pipeline over blocks of kWidth samples: band-pass of block j, logarithm of block
	// j - 1, envelope of block j - 2. The stages of one iteration do not wait on each other, so the
	// two recurrences run side by side and the logarithm fills the slots they leave idle.
	const int blocks = (n + kWidth - 1) / kWidth;
	alignas (64) double level[2][kWidth];
	alignas (64) double weighted[2][2 * kWidth];
	auto pipeline = [&] (auto attackIsFaster) noexcept {
		V pending = Isa::set1 (1.0);
		for (int j = 0; j < blocks + 2; ++j)
		{
			const V next = j < blocks ? magnitudesFrom (j * kWidth) : Isa::set1 (1.0);
			if (j >= 1 && j - 1 < blocks)
			{
				const V l = levelDbVector<Isa> (pending);
				Isa::store (level[(j - 1) & 1], l);
				if constexpr (Isa::kFused)
				{
					Isa::store (weighted[(j - 1) & 1], Isa::mul (Isa::set1 (attackRest), l));
					Isa::store (weighted[(j - 1) & 1] + kWidth, Isa::mul (Isa::set1 (releaseRest), l));
				}
			}
			if (j >= 2)
				envelopeFrom ((j - 2) * kWidth, level[j & 1], weighted[j & 1], attackIsFaster);
			pending = next;
		}
	};
	if (attack <= release)
		pipeline (std::true_type {});
	else
		pipeline (std::false_type {});
	d.s1 = s1;
	d.s2 = s2;
	d.envelope = envelope;
	d.counter = counter;
	return steps;
}

} // namespace QuenrilEQ::kernels
