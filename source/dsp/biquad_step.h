// One sample through one biquad section in transposed direct form II, with
// the coefficients allowed to live apart from the state (the audition filter
// keeps its design apart from its running sections). The per-sample chains
// use it; the vector kernels have their own forms and must not include it,
// since an inline function compiled into an AVX unit could be the copy the
// linker keeps for every caller.
#pragma once

#include "eq_band.h"

namespace QuenrilEQ {

inline double biquadStep (const BiquadSection& c, BiquadSection& s, double x) noexcept
{
	const double y = c.b0 * x + s.s1;
	s.s1 = c.b1 * x - c.a1 * y + s.s2;
	s.s2 = c.b2 * x - c.a2 * y;
	return y;
}

} // namespace QuenrilEQ
