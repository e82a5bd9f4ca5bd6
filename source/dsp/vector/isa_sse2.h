// The baseline instruction set of x86-64: two doubles per register, no fused
// multiply-add. Every operation rounds exactly as the scalar code does, which
// keeps this path bit-identical to the per-sample reference.
// Included only by kernels_sse2.cpp (see kernel_table.h on why).
#pragma once

#include "../level_db.h"

#include <cstdint>
#include <emmintrin.h>

namespace QuenrilEQ::kernels::sse2 {

struct Isa
{
	using V = __m128d;
	using Mask = __m128d;
	static constexpr int kWidth = 2;
	static constexpr bool kFused = false;
	static constexpr const char* kName = "sse2";
	// The cascade's output slot: the highest lanes (shiftIn moves lanes up, the sample enters at the bottom).
	static constexpr bool kOutputInLowLanes = false;

	static V zero () noexcept { return _mm_setzero_pd (); }
	static V set1 (double x) noexcept { return _mm_set1_pd (x); }
	static V load (const double* p) noexcept { return _mm_loadu_pd (p); }
	static void store (double* p, V v) noexcept { _mm_storeu_pd (p, v); }
	/** A register from kWidth doubles (a local array the compiler keeps in registers). */
	static V fromLanes (const double* v) noexcept { return _mm_set_pd (v[1], v[0]); }
	static V add (V a, V b) noexcept { return _mm_add_pd (a, b); }
	static V sub (V a, V b) noexcept { return _mm_sub_pd (a, b); }
	static V mul (V a, V b) noexcept { return _mm_mul_pd (a, b); }
	static V div (V a, V b) noexcept { return _mm_div_pd (a, b); }
	static V abs (V a) noexcept { return _mm_andnot_pd (_mm_set1_pd (-0.0), a); }
	static V max (V a, V b) noexcept { return _mm_max_pd (a, b); }
	/** Left and right samples into (left, right) frames: first holds the first frames, second the rest. */
	static void interleave (V left, V right, V& first, V& second) noexcept
	{
		first = _mm_unpacklo_pd (left, right);
		second = _mm_unpackhi_pd (left, right);
	}
	/** The reverse of interleave. */
	static void deinterleave (V first, V second, V& left, V& right) noexcept
	{
		left = _mm_unpacklo_pd (first, second);
		right = _mm_unpackhi_pd (first, second);
	}
	static Mask within (V x, V lo, V hi) noexcept { return _mm_and_pd (_mm_cmpge_pd (x, lo), _mm_cmple_pd (x, hi)); }
	static V select (Mask m, V ifTrue, V ifFalse) noexcept
	{
		return _mm_or_pd (_mm_and_pd (m, ifTrue), _mm_andnot_pd (m, ifFalse));
	}

	/** The exponent field of each lane as a double (biased, 0..2047) and the mantissa scaled into [1, 2). */
	static void splitExponent (V x, V& biasedExponent, V& mantissa) noexcept
	{
		constexpr std::int64_t kTwoPow52Bits = 0x4330000000000000ll;
		constexpr std::int64_t kMantissaMask = 0x000FFFFFFFFFFFFFll;
		constexpr std::int64_t kOneBits = 0x3FF0000000000000ll;
		const __m128i bits = _mm_castpd_si128 (x);
		// The exponent bits under the bit pattern of 2^52 read as 2^52 + exponent.
		const __m128i e = _mm_or_si128 (_mm_srli_epi64 (bits, 52), _mm_set1_epi64x (kTwoPow52Bits));
		biasedExponent = _mm_sub_pd (_mm_castsi128_pd (e), _mm_set1_pd (4503599627370496.0));
		mantissa = _mm_castsi128_pd (
		    _mm_or_si128 (_mm_and_si128 (bits, _mm_set1_epi64x (kMantissaMask)), _mm_set1_epi64x (kOneBits)));
	}

	/** Per lane, the centre of the mantissa's sixteenth of [1, 2) and its natural logarithm (level_db.h). */
	static void centreOfMantissa (V x, V& centre, V& logOfCentre) noexcept
	{
		using namespace leveldb;
		const __m128i bits = _mm_castpd_si128 (x);
		centre = _mm_castsi128_pd (_mm_or_si128 (_mm_and_si128 (bits, _mm_set1_epi64x (kCentreKeepMask)),
		                                         _mm_set1_epi64x (kCentreBits)));
		const __m128i index = _mm_and_si128 (_mm_srli_epi64 (bits, kCentreIndexShift), _mm_set1_epi64x (kCentreIndexMask));
		const auto low = static_cast<std::uint64_t> (_mm_cvtsi128_si64 (index));
		const auto high = static_cast<std::uint64_t> (_mm_cvtsi128_si64 (_mm_unpackhi_epi64 (index, index)));
		logOfCentre = _mm_set_pd (kLogCentres[high], kLogCentres[low]);
	}

	// A register's lanes hold one section slot per `channels` lanes; the wavefront moves each
	// slot's output one slot up per step, and the newest sample enters the top slot.

	/** Lanes [0, c) from the top of prev, the rest from the bottom of cur. */
	template <int kChannels>
	static V shiftIn (V prev, V cur) noexcept
	{
		if constexpr (kChannels == 2)
			return prev;
		else
			return _mm_shuffle_pd (prev, cur, 0x1);  // {prev[1], cur[0]}
	}

	/** A register whose top slot holds the frame at p (other lanes: any value). */
	template <int kChannels>
	static V loadFrame (const double* p) noexcept
	{
		if constexpr (kChannels == 2)
			return _mm_loadu_pd (p);
		else
			return _mm_load1_pd (p);
	}

	/** Stores the top slot's frame to p. */
	template <int kChannels>
	static void storeFrame (double* p, V v) noexcept
	{
		if constexpr (kChannels == 2)
			_mm_storeu_pd (p, v);
		else
			_mm_storeh_pd (p, v);
	}
};

} // namespace QuenrilEQ::kernels::sse2
