// The designs a dynamic band's gain sections take at its control steps, a
// register's width of steps at a time: the amplitude through a vector
// exponential, the cookbook forms with vector arithmetic and one division for
// all of a register's normalisations. The FMA sets only: they agree with the
// scalar designs (band_design.cpp) to rounding, where SSE2 must stay exact.
//
// Templates over an instruction-set description; plain data headers only (see
// kernel_table.h).
#pragma once

#include "../kernel_table.h"

namespace QuenrilEQ::kernels {

/** e^x lane by lane, within two units in the last place for |x| <= 700 (clamped there). */
template <class Isa>
inline typename Isa::V expVector (typename Isa::V x) noexcept
{
	using V = typename Isa::V;
	// e^x = 2^n e^r with n the integer nearest x / ln 2, r = x - n ln 2 within ln 2 / 2. ln 2 is taken
	// in two parts, the first with enough trailing zeros that n times it is exact.
	constexpr double kLog2e = 1.4426950408889634074;
	constexpr double kLn2High = 0x1.62e42fee00000p-1;
	constexpr double kLn2Low = 0x1.a39ef35793c76p-33;
	constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds to an integer, kept in the low bits
	x = Isa::min (Isa::max (x, Isa::set1 (-700.0)), Isa::set1 (700.0));
	const V shifted = Isa::mulAdd (x, Isa::set1 (kLog2e), Isa::set1 (kRoundingShift));
	const V n = Isa::sub (shifted, Isa::set1 (kRoundingShift));
	V r = Isa::negMulAdd (n, Isa::set1 (kLn2High), x);
	r = Isa::negMulAdd (n, Isa::set1 (kLn2Low), r);
	// The Taylor series to r^13 / 13!: the first term left out is below 2^-57 of the sum.
	constexpr int kTerms = 14;
	double inverseFactorial[kTerms] = {1.0};
	for (int k = 1; k < kTerms; ++k)
		inverseFactorial[k] = inverseFactorial[k - 1] / k;
	V p = Isa::set1 (inverseFactorial[kTerms - 1]);
	for (int k = kTerms - 2; k >= 0; --k)
		p = Isa::mulAdd (p, r, Isa::set1 (inverseFactorial[k]));
	return Isa::mul (p, Isa::powerOfTwo (shifted));
}

template <class Isa>
void gainDesigns (const GainDesignSettings& settings, const double* gainsDb, int count, SectionDesign* out) noexcept
{
	using V = typename Isa::V;
	constexpr int kWidth = Isa::kWidth;
	const int kinds = settings.shape == kTiltShelf ? 2 : 1;
	const V one = Isa::set1 (1.0), alpha = Isa::set1 (settings.alpha);
	const V minusTwoCs = Isa::set1 (-2.0 * settings.cs);

	// One cookbook form at amplitude a, normalised: coefficients b0, b1, b2, a1, a2 in c.
	auto peaking = [&] (V a, V* c) noexcept {
		const V alphaA = Isa::mul (alpha, a), alphaOverA = Isa::div (alpha, a);
		const V inverse = Isa::div (one, Isa::add (one, alphaOverA));
		c[0] = Isa::mul (Isa::add (one, alphaA), inverse);
		c[1] = Isa::mul (minusTwoCs, inverse);
		c[2] = Isa::mul (Isa::sub (one, alphaA), inverse);
		c[3] = c[1];
		c[4] = Isa::mul (Isa::sub (one, alphaOverA), inverse);
	};
	// The shelves: sign +1 for the low shelf, -1 for the high one (the cookbook's forms mirror in cs).
	auto shelf = [&] (V a, double sign, V* c) noexcept {
		const V beta = Isa::mul (Isa::mul (Isa::set1 (2.0), Isa::sqrt (a)), alpha);
		const V up = Isa::add (a, one), down = Isa::sub (a, one);
		const V signedCs = Isa::set1 (sign * settings.cs);
		const V numeratorMid = Isa::sub (up, Isa::mul (down, signedCs));  // (a + 1) -+ (a - 1) cs
		const V denominatorMid = Isa::add (up, Isa::mul (down, signedCs));
		const V inverse = Isa::div (one, Isa::add (denominatorMid, beta));
		const V aInverse = Isa::mul (a, inverse);
		c[0] = Isa::mul (Isa::add (numeratorMid, beta), aInverse);
		c[1] = Isa::mul (Isa::mul (Isa::set1 (2.0 * sign), Isa::sub (down, Isa::mul (up, signedCs))), aInverse);
		c[2] = Isa::mul (Isa::sub (numeratorMid, beta), aInverse);
		c[3] = Isa::mul (Isa::mul (Isa::set1 (-2.0 * sign), Isa::add (down, Isa::mul (up, signedCs))), inverse);
		c[4] = Isa::mul (Isa::sub (denominatorMid, beta), inverse);
	};

	for (int first = 0; first < count; first += kWidth)
	{
		const int lanes = count - first < kWidth ? count - first : kWidth;
		alignas (64) double gains[kWidth];
		for (int i = 0; i < kWidth; ++i)
			gains[i] = i < lanes ? gainsDb[first + i] : 0.0;
		// ln A of each section; the tilt's low shelf takes minus its high shelf's.
		const V x = Isa::mul (Isa::load (gains), Isa::set1 (settings.exponentPerDb));
		V c[2][5];
		switch (settings.shape)
		{
			case kBell: peaking (expVector<Isa> (x), c[0]); break;
			case kLowShelf: shelf (expVector<Isa> (x), 1.0, c[0]); break;
			case kHighShelf: shelf (expVector<Isa> (x), -1.0, c[0]); break;
			default:
				shelf (expVector<Isa> (Isa::sub (Isa::zero (), x)), 1.0, c[0]);
				shelf (expVector<Isa> (x), -1.0, c[1]);
				break;
		}
		for (int kind = 0; kind < kinds; ++kind)
		{
			alignas (64) double field[5][kWidth];
			for (int j = 0; j < 5; ++j)
				Isa::store (field[j], c[kind][j]);
			for (int i = 0; i < lanes; ++i)
				out[(first + i) * kinds + kind] = {field[0][i], field[1][i], field[2][i], field[3][i], field[4][i]};
		}
	}
}

} // namespace QuenrilEQ::kernels
