// AVX2 with FMA: four doubles per register, fused multiply-add (one rounding
// where the scalar code has two, so results differ from the reference by
// rounding only). Included only by kernels_avx2.cpp, which is compiled with
// -mavx2 -mfma (see kernel_table.h on why).
#pragma once

#include "../level_db.h"

#include <cstdint>
#include <immintrin.h>

namespace QuenrilEQ::kernels::avx2 {

struct Isa
{
	using V = __m256d;
	using Mask = __m256d;
	static constexpr int kWidth = 4;
	static constexpr bool kFused = true;
	static constexpr const char* kName = "avx2";
	// The cascade's output slot: the lowest lanes, which a store takes without a shuffle (shiftIn moves
	// lanes down, the sample enters at the top).
	static constexpr bool kOutputInLowLanes = true;

	static V zero () noexcept { return _mm256_setzero_pd (); }
	static V set1 (double x) noexcept { return _mm256_set1_pd (x); }
	static V load (const double* p) noexcept { return _mm256_loadu_pd (p); }
	static void store (double* p, V v) noexcept { _mm256_storeu_pd (p, v); }
	static V fromLanes (const double* v) noexcept { return _mm256_set_pd (v[3], v[2], v[1], v[0]); }
	static V add (V a, V b) noexcept { return _mm256_add_pd (a, b); }
	static V sub (V a, V b) noexcept { return _mm256_sub_pd (a, b); }
	static V mul (V a, V b) noexcept { return _mm256_mul_pd (a, b); }
	static V div (V a, V b) noexcept { return _mm256_div_pd (a, b); }
	static V abs (V a) noexcept { return _mm256_andnot_pd (_mm256_set1_pd (-0.0), a); }
	static V max (V a, V b) noexcept { return _mm256_max_pd (a, b); }
	static V min (V a, V b) noexcept { return _mm256_min_pd (a, b); }
	static V sqrt (V a) noexcept { return _mm256_sqrt_pd (a); }
	/** 2^n, for n (-1022 .. 1023) held in the low bits of shifted = n + 1.5 * 2^52. */
	static V powerOfTwo (V shifted) noexcept
	{
		const __m256i biased = _mm256_add_epi64 (_mm256_castpd_si256 (shifted), _mm256_set1_epi64x (1023));
		return _mm256_castsi256_pd (_mm256_slli_epi64 (biased, 52));
	}
	static void interleave (V left, V right, V& first, V& second) noexcept
	{
		const V low = _mm256_unpacklo_pd (left, right), high = _mm256_unpackhi_pd (left, right);  // l0 r0 l2 r2, l1 r1 l3 r3
		first = _mm256_permute2f128_pd (low, high, 0x20);
		second = _mm256_permute2f128_pd (low, high, 0x31);
	}
	static void deinterleave (V first, V second, V& left, V& right) noexcept
	{
		const V even = _mm256_permute2f128_pd (first, second, 0x20), odd = _mm256_permute2f128_pd (first, second, 0x31);
		left = _mm256_unpacklo_pd (even, odd);
		right = _mm256_unpackhi_pd (even, odd);
	}
	/** a * b + c, rounded once. */
	static V mulAdd (V a, V b, V c) noexcept { return _mm256_fmadd_pd (a, b, c); }
	/** c - a * b, rounded once. */
	static V negMulAdd (V a, V b, V c) noexcept { return _mm256_fnmadd_pd (a, b, c); }
	static Mask within (V x, V lo, V hi) noexcept
	{
		return _mm256_and_pd (_mm256_cmp_pd (x, lo, _CMP_GE_OQ), _mm256_cmp_pd (x, hi, _CMP_LE_OQ));
	}
	static V select (Mask m, V ifTrue, V ifFalse) noexcept { return _mm256_blendv_pd (ifFalse, ifTrue, m); }

	static void splitExponent (V x, V& biasedExponent, V& mantissa) noexcept
	{
		constexpr std::int64_t kTwoPow52Bits = 0x4330000000000000ll;
		constexpr std::int64_t kMantissaMask = 0x000FFFFFFFFFFFFFll;
		constexpr std::int64_t kOneBits = 0x3FF0000000000000ll;
		const __m256i bits = _mm256_castpd_si256 (x);
		const __m256i e = _mm256_or_si256 (_mm256_srli_epi64 (bits, 52), _mm256_set1_epi64x (kTwoPow52Bits));
		biasedExponent = _mm256_sub_pd (_mm256_castsi256_pd (e), _mm256_set1_pd (4503599627370496.0));
		mantissa = _mm256_castsi256_pd (
		    _mm256_or_si256 (_mm256_and_si256 (bits, _mm256_set1_epi64x (kMantissaMask)), _mm256_set1_epi64x (kOneBits)));
	}

	/** Per lane, the centre of the mantissa's sixteenth of [1, 2) and its natural logarithm (level_db.h). */
	static void centreOfMantissa (V x, V& centre, V& logOfCentre) noexcept
	{
		using namespace leveldb;
		const __m256i bits = _mm256_castpd_si256 (x);
		centre = _mm256_castsi256_pd (_mm256_or_si256 (
		    _mm256_and_si256 (bits, _mm256_set1_epi64x (static_cast<std::int64_t> (kCentreKeepMask))),
		    _mm256_set1_epi64x (static_cast<std::int64_t> (kCentreBits))));
		const __m256i index = _mm256_and_si256 (_mm256_srli_epi64 (bits, kCentreIndexShift),
		                                        _mm256_set1_epi64x (static_cast<std::int64_t> (kCentreIndexMask)));
		logOfCentre = _mm256_i64gather_pd (kLogCentres, index, 8);
	}

	template <int kChannels>
	static V shiftIn (V prev, V cur) noexcept
	{
		if constexpr (kChannels == 2)
			return _mm256_permute2f128_pd (cur, prev, 0x21);  // {cur[2], cur[3], prev[0], prev[1]}
		else  // {cur[1], cur[2], cur[3], prev[0]}, prev a loadFrame broadcast: the halves' permute
		      // {cur[2], cur[3], prev[0], prev[1]} waits less than a four-lane one, then an in-lane shuffle
			return _mm256_shuffle_pd (cur, _mm256_permute2f128_pd (cur, prev, 0x21), 0x5);
	}

	template <int kChannels>
	static V loadFrame (const double* p) noexcept
	{
		if constexpr (kChannels == 2)
			return _mm256_broadcast_pd (reinterpret_cast<const __m128d*> (p));
		else
			return _mm256_broadcast_sd (p);
	}

	template <int kChannels>
	static void storeFrame (double* p, V v) noexcept
	{
		const __m128d bottom = _mm256_castpd256_pd128 (v);
		if constexpr (kChannels == 2)
			_mm_storeu_pd (p, bottom);
		else
			_mm_store_sd (p, bottom);
	}
};

} // namespace QuenrilEQ::kernels::avx2
