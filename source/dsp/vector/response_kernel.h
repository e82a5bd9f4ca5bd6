// The combined squared magnitude of the bands on a grid of angles: the target
// of the linear-phase kernel and the editor's curve. A register's worth of
// bins at a time runs through every band's term, so the product stays in a
// register. The compiler may fuse a product into a sum on the FMA sets, which
// then round once where SSE2 rounds twice.
#pragma once

#include "../kernel_table.h"

namespace QuenrilEQ::kernels {

template <class Isa>
void squaredMagnitudes (const SquaredMagnitudeTerm* terms, int count, const double* cosW, const double* sinW, int bins,
                        double* out) noexcept
{
	using V = typename Isa::V;
	constexpr int kWidth = Isa::kWidth;
	const V one = Isa::set1 (1.0);
	// cos w > 0 (not for a NaN): from the least positive double up.
	const V leastPositive = Isa::set1 (4.9406564584124654e-324), infinity = Isa::set1 (__builtin_inf ());
	for (int k = 0; k < bins; k += kWidth)
	{
		const int lanes = bins - k < kWidth ? bins - k : kWidth;
		V c, s;
		if (lanes == kWidth)
			c = Isa::load (cosW + k), s = Isa::load (sinW + k);
		else
		{
			// The last bins: the other lanes at w = 0, computed and not kept.
			double cs[kWidth], sn[kWidth];
			for (int i = 0; i < kWidth; ++i)
				cs[i] = i < lanes ? cosW[k + i] : 1.0, sn[i] = i < lanes ? sinW[k + i] : 0.0;
			c = Isa::load (cs), s = Isa::load (sn);
		}
		const auto nearDc = Isa::within (c, leastPositive, infinity);
		// The distance of cos w from the nearer of +1 and -1, as sin^2 w / (1 +- cos w): full
		// precision where the difference itself would cancel.
		const V onePlus = Isa::add (one, c), oneMinus = Isa::sub (one, c);
		const V u = Isa::div (Isa::mul (s, s), Isa::select (nearDc, onePlus, oneMinus));
		const V fromOne = Isa::select (nearDc, u, oneMinus);       // 1 - cos w
		const V fromMinusOne = Isa::select (nearDc, onePlus, u);  // 1 + cos w
		auto squared = [&] (const SquaredPolynomial& q) noexcept {
			const V pu = Isa::mul (Isa::set1 (q.p), u);
			const V re = Isa::select (nearDc, Isa::sub (Isa::set1 (q.atDc), pu), Isa::add (Isa::set1 (q.atNyquist), pu));
			const V im = Isa::mul (Isa::set1 (q.r), s);
			return Isa::add (Isa::mul (re, re), Isa::mul (im, im));
		};
		V product = one;
		for (int i = 0; i < count; ++i)
		{
			const SquaredMagnitudeTerm& t = terms[i];
			V x;
			if (t.kind == SquaredMagnitudeTerm::kSections)
			{
				x = Isa::div (squared (t.num[0]), squared (t.den[0]));
				if (t.sections == 2)
					x = Isa::mul (x, Isa::div (squared (t.num[1]), squared (t.den[1])));
				switch (t.power)
				{
					case 1: break;
					case 2: x = Isa::mul (x, x); break;
					case 4: x = Isa::mul (x, x), x = Isa::mul (x, x); break;
					case 8: x = Isa::mul (x, x), x = Isa::mul (x, x), x = Isa::mul (x, x); break;
					default:
					{
						V raised = one;
						for (int n = 0; n < t.power; ++n)
							raised = Isa::mul (raised, x);
						x = raised;
					}
				}
			}
			else
			{
				const V numerator = t.kind == SquaredMagnitudeTerm::kFirstOrderLowPass ? fromMinusOne : fromOne;
				x = Isa::div (Isa::mul (Isa::set1 (t.scale), numerator),
				              Isa::add (Isa::set1 (t.a0), Isa::mul (Isa::set1 (t.a1), fromOne)));
			}
			product = Isa::mul (product, x);
		}
		if (lanes == kWidth)
			Isa::store (out + k, product);
		else
		{
			double last[kWidth];
			Isa::store (last, product);
			for (int i = 0; i < lanes; ++i)
				out[k + i] = last[i];
		}
	}
}

} // namespace QuenrilEQ::kernels
