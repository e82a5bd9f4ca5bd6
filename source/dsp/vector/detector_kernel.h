// The detector of a dynamic band over a run of samples: band-pass, level in
// dB, envelope, control-step count. The band-pass and the envelope are
// recurrences that each wait on their own last result, so the work is laid
// out for them to overlap: the band-pass runs a few registers' width of
// samples ahead of the envelope, step for step beside it, and their levels
// are taken together in vector logarithms (which wait on nothing) in between.
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
	typename Isa::V e, m, c, logCentre;
	Isa::splitExponent (magnitude, e, m);
	Isa::centreOfMantissa (magnitude, c, logCentre);
	e = Isa::sub (e, Isa::set1 (kExponentBias));
	const auto s = Isa::div (Isa::sub (m, c), Isa::add (m, c));
	const auto z = Isa::mul (s, s);
	auto k = [] (int i) { return Isa::set1 (kSeries[i]); };
	static_assert (kTerms == 4, "the polynomials below cover four terms");
	if constexpr (Isa::kFused)
	{
		// Two multiply-adds deep instead of Horner's three.
		const auto p = Isa::mulAdd (Isa::mulAdd (k (3), z, k (2)), Isa::mul (z, z), Isa::mulAdd (k (1), z, k (0)));
		return Isa::mul (Isa::mulAdd (e, Isa::set1 (kLn2), Isa::mulAdd (s, p, logCentre)), Isa::set1 (kDbPerNeper));
	}
	else
	{
		auto p = k (3);
		for (int i = 2; i >= 0; --i)
			p = Isa::add (Isa::mul (p, z), k (i));
		return Isa::mul (Isa::add (Isa::mul (e, Isa::set1 (kLn2)), Isa::add (Isa::mul (s, p), logCentre)),
		                 Isa::set1 (kDbPerNeper));
	}
}

template <class Isa>
int detectorPass (const DetectorSettings& c, DetectorState& d, const double* input, int n, int* stepAt,
                  double* envelopeAt) noexcept
{
	using V = typename Isa::V;
	constexpr int kWidth = Isa::kWidth;
	// Samples per pipeline stage: a few registers' worth, so that one stage's band-pass and envelope
	// steps give the two recurrences enough to overlap without the loop running out of registers.
	constexpr int kSegment = 4 * kWidth;
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
	// The fused form never forms s2: s2 = c2 x' - a2 s1' of the sample before, so s1's update sums
	// c1 x + c2 x' first and the states last, and s1 waits one multiply-add per sample on itself and
	// on s1' (through s2 it would wait three per two samples). Here s2 holds c2 x', s1Before s1'.
	double s1Before = 0.0;
	int counter = d.counter, steps = 0;

	// Band-pass output for the next input sample x (its magnitude is taken with the logarithm).
	auto bandPassOf = [&] (double x) noexcept {
		double y;
		if constexpr (Isa::kFused)
		{
			y = __builtin_fma (b0, x, s1);
			const double rest = __builtin_fma (-a2, s1Before, __builtin_fma (c1, x, s2));
			s1Before = s1;
			s1 = __builtin_fma (-a1, s1, rest);
			s2 = c2 * x;
		}
		else
		{
			y = b0 * x + s1;
			s1 = b1 * x - a1 * y + s2;
			s2 = b2 * x - a2 * y;
		}
		return y;
	};

	// Envelope step for sample i at its level; weighted: the fused form's level terms (1 - coefficient)
	// * level, taken with the logarithm, the release one kSegment further on. Without countSteps the
	// caller knows that no control step falls on the sample and advances the counter itself.
	auto envelopeOf = [&] (int i, const double* level, const double* weighted, auto attackIsFaster,
	                       auto countSteps) noexcept {
		double attacked, released;
		if constexpr (Isa::kFused)
		{
			attacked = __builtin_fma (attack, envelope, weighted[0]);
			released = __builtin_fma (release, envelope, weighted[kSegment]);
		}
		else
		{
			// Both candidates exactly as envelopeStep.
			const double gap = envelope - level[0];
			attacked = level[0] + attack * gap;
			released = level[0] + release * gap;
		}
		if constexpr (attackIsFaster)
			envelope = attacked > released ? attacked : released;
		else
			envelope = attacked < released ? attacked : released;
		if (countSteps && ++counter >= interval)
		{
			counter = 0;
			stepAt[steps] = i;
			envelopeAt[steps] = envelope;
			++steps;
		}
	};

	// A three-stage pipeline over segments of kSegment samples: band-pass of segment j, envelope of
	// segment j - 2, then the logarithm of segment j - 1. The stages of one iteration do not wait on
	// each other. The band-pass and envelope steps alternate sample by sample, so that their two
	// recurrences sit side by side in the instruction window and overlap, and the logarithm, which
	// waits on nothing, fills the slots they leave idle.
	alignas (64) double bandPassed[2][kSegment];
	alignas (64) double level[2][kSegment];
	alignas (64) double weighted[2][2 * kSegment];
	const int segments = (n + kSegment - 1) / kSegment;
	auto pipeline = [&] (auto attackIsFaster) noexcept {
		for (int j = 0; j < segments + 2; ++j)
		{
			const int first = j * kSegment;
			double* y = bandPassed[j & 1];
			const double* lv = level[j & 1];
			const double* w = weighted[j & 1];
			const int bandPassCount = j < segments ? (n - first < kSegment ? n - first : kSegment) : 0;
			const int envelopeFirst = first - 2 * kSegment;
			const int envelopeCount = j >= 2 ? (n - envelopeFirst < kSegment ? n - envelopeFirst : kSegment) : 0;
			if (bandPassCount == kSegment && envelopeCount == kSegment)
			{
				// Whole segments in both stages: no bounds inside, and most segments hold no control step.
				if (interval - counter > kSegment)
				{
					for (int k = 0; k < kSegment; ++k)
					{
						y[k] = bandPassOf (input[first + k]);
						envelopeOf (envelopeFirst + k, lv + k, w + k, attackIsFaster, std::false_type {});
					}
					counter += kSegment;
				}
				else
				{
					for (int k = 0; k < kSegment; ++k)
					{
						y[k] = bandPassOf (input[first + k]);
						envelopeOf (envelopeFirst + k, lv + k, w + k, attackIsFaster, std::true_type {});
					}
				}
			}
			else
			{
				// The ends; outputs past n read 1.
				for (int k = 0; k < bandPassCount; ++k)
					y[k] = bandPassOf (input[first + k]);
				for (int k = bandPassCount; k < kSegment; ++k)
					y[k] = 1.0;
				for (int k = 0; k < envelopeCount; ++k)
					envelopeOf (envelopeFirst + k, lv + k, w + k, attackIsFaster, std::true_type {});
			}
			if (j >= 1 && j - 1 < segments)
			{
				const double* py = bandPassed[(j - 1) & 1];
				double* pl = level[(j - 1) & 1];
				double* pw = weighted[(j - 1) & 1];
				for (int k = 0; k < kSegment; k += kWidth)
				{
					// |y| raised to the -120 dB floor; max gives its second operand for a NaN, so a NaN
					// reads as the floor rather than spreading into the envelope.
					const V magnitude = Isa::max (Isa::abs (Isa::load (py + k)), Isa::set1 (kLevelFloor));
					const V l = levelDbVector<Isa> (magnitude);
					if constexpr (!Isa::kFused)
						Isa::store (pl + k, l);
					else
					{
						Isa::store (pw + k, Isa::mul (Isa::set1 (attackRest), l));
						Isa::store (pw + kSegment + k, Isa::mul (Isa::set1 (releaseRest), l));
					}
				}
			}
		}
	};
	if (attack <= release)
		pipeline (std::true_type {});
	else
		pipeline (std::false_type {});
	d.s1 = s1;
	if constexpr (Isa::kFused)
		d.s2 = __builtin_fma (-a2, s1Before, s2);
	else
		d.s2 = s2;
	d.envelope = envelope;
	d.counter = counter;
	return steps;
}

} // namespace QuenrilEQ::kernels
