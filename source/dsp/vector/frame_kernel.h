// Two channels to the block path's interleaved (left, right) frames and back,
// and the mid or side of frames, a register's width of frames per step: the
// block path does these once per chunk (and per dynamic band), and frame by
// frame they cost as much as a short cascade.
//
// Templates over an instruction-set description: moves, and for mid and side
// the chain's own sum and halving, so every set gives the same numbers.
#pragma once

namespace QuenrilEQ::kernels {

template <class Isa>
void interleave (const double* left, const double* right, double* frames, int n) noexcept
{
	constexpr int kWidth = Isa::kWidth;
	int i = 0;
	for (; i + kWidth <= n; i += kWidth)
	{
		typename Isa::V first, second;
		Isa::interleave (Isa::load (left + i), Isa::load (right + i), first, second);
		Isa::store (frames + 2 * i, first);
		Isa::store (frames + 2 * i + kWidth, second);
	}
	for (; i < n; ++i)
	{
		frames[2 * i] = left[i];
		frames[2 * i + 1] = right[i];
	}
}

template <class Isa>
void deinterleave (const double* frames, double* left, double* right, int n) noexcept
{
	constexpr int kWidth = Isa::kWidth;
	int i = 0;
	for (; i + kWidth <= n; i += kWidth)
	{
		typename Isa::V l, r;
		Isa::deinterleave (Isa::load (frames + 2 * i), Isa::load (frames + 2 * i + kWidth), l, r);
		Isa::store (left + i, l);
		Isa::store (right + i, r);
	}
	for (; i < n; ++i)
	{
		left[i] = frames[2 * i];
		right[i] = frames[2 * i + 1];
	}
}

template <class Isa, bool kDifference>
void halfSumOrDifferenceOf (const double* frames, double* out, int n) noexcept
{
	constexpr int kWidth = Isa::kWidth;
	const auto half = Isa::set1 (0.5);
	int i = 0;
	for (; i + kWidth <= n; i += kWidth)
	{
		typename Isa::V l, r;
		Isa::deinterleave (Isa::load (frames + 2 * i), Isa::load (frames + 2 * i + kWidth), l, r);
		Isa::store (out + i, Isa::mul (kDifference ? Isa::sub (l, r) : Isa::add (l, r), half));
	}
	for (; i < n; ++i)
		out[i] = (kDifference ? frames[2 * i] - frames[2 * i + 1] : frames[2 * i] + frames[2 * i + 1]) * 0.5;
}

/** (left + right) / 2 of each frame, or (left - right) / 2 when difference: mid or side, as the chain forms them. */
template <class Isa>
void halfSumOrDifference (const double* frames, double* out, int n, bool difference) noexcept
{
	if (difference)
		halfSumOrDifferenceOf<Isa, true> (frames, out, n);
	else
		halfSumOrDifferenceOf<Isa, false> (frames, out, n);
}

} // namespace QuenrilEQ::kernels
