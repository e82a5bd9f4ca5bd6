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
	auto p = Isa::set1 (kSeries[kTerms - 1]);
	for (int k = kTerms - 2; k >= 0; --k)
	{
		if constexpr (Isa::kFused)
			p = Isa::mulAdd (p, z, Isa::set1 (kSeries[k]));
		else
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
	constexpr int kWidth = Isa::kWidth;
	constexpr double kLevelFloor = 0.000001;  // -120 dB
	const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
	const double attack = c.attackCoef, release = c.releaseCoef;
	// The fused form takes the envelope step as a weighted sum, one multiply-add deep on its recurrence.
	const double attackRest = 1.0 - attack, releaseRest = 1.0 - release;
	const int interval = c.controlInterval > 0 ? c.controlInterval : 1;
	double s1 = d.s1, s2 = d.s2, envelope = d.envelope;
	int counter = d.counter, steps = 0;

	alignas (64) double magnitude[kWidth], level[kWidth];
	auto levelsFrom = [&] (int first) {
		const int m = n - first < kWidth ? n - first : kWidth;
		for (int k = 0; k < m; ++k)
		{
			const double x = input[first + k];
			double y;
			if constexpr (Isa::kFused)
			{
				y = __builtin_fma (b0, x, s1);
				s1 = __builtin_fma (-a1, y, __builtin_fma (b1, x, s2));
				s2 = __builtin_fma (-a2, y, b2 * x);
			}
			else
			{
				y = b0 * x + s1;
				s1 = b1 * x - a1 * y + s2;
				s2 = b2 * x - a2 * y;
			}
			const double mag = __builtin_fabs (y);
			magnitude[k] = mag > kLevelFloor ? mag : kLevelFloor;  // a NaN reads as the floor
		}
		for (int k = m; k < kWidth; ++k)
			magnitude[k] = 1.0;
		Isa::store (level, levelDbVector<Isa> (Isa::load (magnitude)));
	};

	for (int first = 0; first < n; first += kWidth)
	{
		levelsFrom (first);
		const int m = n - first < kWidth ? n - first : kWidth;
		for (int k = 0; k < m; ++k)
		{
			const double l = level[k];
			double attacked, released;
			if constexpr (Isa::kFused)
			{
				attacked = __builtin_fma (attack, envelope, attackRest * l);
				released = __builtin_fma (release, envelope, releaseRest * l);
			}
			else
			{
				// Both candidates first, then the choice, exactly as envelopeStep.
				const double gap = envelope - l;
				attacked = l + attack * gap;
				released = l + release * gap;
			}
			envelope = l > envelope ? attacked : released;
			if (++counter >= interval)
			{
				counter = 0;
				stepAt[steps] = first + k;
				envelopeAt[steps] = envelope;
				++steps;
			}
		}
	}
	d.s1 = s1;
	d.s2 = s2;
	d.envelope = envelope;
	d.counter = counter;
	return steps;
}

} // namespace QuenrilEQ::kernels
