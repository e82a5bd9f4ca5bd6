// AVX-512 (foundation set) with FMA: eight doubles per register. Included
// only by kernels_avx512.cpp, which is compiled with -mavx512f -mfma (see
// kernel_table.h on why).
#pragma once

#include "../level_db.h"

#include <cstdint>
#include <immintrin.h>

namespace QuenrilEQ::kernels::avx512 {

struct Isa
{
	using V = __m512d;
	using Mask = __mmask8;
	static constexpr int kWidth = 8;
	static constexpr bool kFused = true;
	static constexpr const char* kName = "avx512";
	// The cascade's output slot: the highest lanes (shiftIn moves lanes up, the sample enters at the bottom).
	static constexpr bool kOutputInLowLanes = false;

	static V zero () noexcept { return _mm512_setzero_pd (); }
	static V set1 (double x) noexcept { return _mm512_set1_pd (x); }
	static V load (const double* p) noexcept { return _mm512_loadu_pd (p); }
	static void store (double* p, V v) noexcept { _mm512_storeu_pd (p, v); }
	static V fromLanes (const double* v) noexcept
	{
		return _mm512_set_pd (v[7], v[6], v[5], v[4], v[3], v[2], v[1], v[0]);
	}
	static V add (V a, V b) noexcept { return _mm512_add_pd (a, b); }
	static V sub (V a, V b) noexcept { return _mm512_sub_pd (a, b); }
	static V mul (V a, V b) noexcept { return _mm512_mul_pd (a, b); }
	static V div (V a, V b) noexcept { return _mm512_div_pd (a, b); }
	static V abs (V a) noexcept { return _mm512_abs_pd (a); }
	static V max (V a, V b) noexcept { return _mm512_max_pd (a, b); }
	static V min (V a, V b) noexcept { return _mm512_min_pd (a, b); }
	static V sqrt (V a) noexcept { return _mm512_sqrt_pd (a); }
	/** 2^n, for n (-1022 .. 1023) held in the low bits of shifted = n + 1.5 * 2^52. */
	static V powerOfTwo (V shifted) noexcept
	{
		const __m512i biased = _mm512_add_epi64 (_mm512_castpd_si512 (shifted), _mm512_set1_epi64 (1023));
		return _mm512_castsi512_pd (_mm512_slli_epi64 (biased, 52));
	}
	static void interleave (V left, V right, V& first, V& second) noexcept
	{
		first = _mm512_permutex2var_pd (left, _mm512_set_epi64 (11, 3, 10, 2, 9, 1, 8, 0), right);
		second = _mm512_permutex2var_pd (left, _mm512_set_epi64 (15, 7, 14, 6, 13, 5, 12, 4), right);
	}
	static void deinterleave (V first, V second, V& left, V& right) noexcept
	{
		left = _mm512_permutex2var_pd (first, _mm512_set_epi64 (14, 12, 10, 8, 6, 4, 2, 0), second);
		right = _mm512_permutex2var_pd (first, _mm512_set_epi64 (15, 13, 11, 9, 7, 5, 3, 1), second);
	}
	static V mulAdd (V a, V b, V c) noexcept { return _mm512_fmadd_pd (a, b, c); }
	static V negMulAdd (V a, V b, V c) noexcept { return _mm512_fnmadd_pd (a, b, c); }
	static Mask within (V x, V lo, V hi) noexcept
	{
		return _mm512_cmp_pd_mask (x, lo, _CMP_GE_OQ) & _mm512_cmp_pd_mask (x, hi, _CMP_LE_OQ);
	}
	static V select (Mask m, V ifTrue, V ifFalse) noexcept { return _mm512_mask_blend_pd (m, ifFalse, ifTrue); }

	static void splitExponent (V x, V& biasedExponent, V& mantissa) noexcept
	{
		constexpr std::int64_t kTwoPow52Bits = 0x4330000000000000ll;
		constexpr std::int64_t kMantissaMask = 0x000FFFFFFFFFFFFFll;
		constexpr std::int64_t kOneBits = 0x3FF0000000000000ll;
		const __m512i bits = _mm512_castpd_si512 (x);
		const __m512i e = _mm512_or_si512 (_mm512_srli_epi64 (bits, 52), _mm512_set1_epi64 (kTwoPow52Bits));
		biasedExponent = _mm512_sub_pd (_mm512_castsi512_pd (e), _mm512_set1_pd (4503599627370496.0));
		mantissa = _mm512_castsi512_pd (
		    _mm512_or_si512 (_mm512_and_si512 (bits, _mm512_set1_epi64 (kMantissaMask)), _mm512_set1_epi64 (kOneBits)));
	}

	/** Per lane, the centre of the mantissa's sixteenth of [1, 2) and its natural logarithm (level_db.h). */
	static void centreOfMantissa (V x, V& centre, V& logOfCentre) noexcept
	{
		using namespace leveldb;
		const __m512i bits = _mm512_castpd_si512 (x);
		centre = _mm512_castsi512_pd (_mm512_or_si512 (
		    _mm512_and_si512 (bits, _mm512_set1_epi64 (static_cast<std::int64_t> (kCentreKeepMask))),
		    _mm512_set1_epi64 (static_cast<std::int64_t> (kCentreBits))));
		// The sixteen logarithms fill two registers; a two-register permute picks by the low four index bits.
		const __m512i index = _mm512_srli_epi64 (bits, kCentreIndexShift);
		logOfCentre = _mm512_permutex2var_pd (_mm512_loadu_pd (kLogCentres), index, _mm512_loadu_pd (kLogCentres + 8));
	}

	template <int kChannels>
	static V shiftIn (V prev, V cur) noexcept
	{
		// valignq: lanes {prev[8 - c] .. prev[7], cur[0] .. cur[7 - c]}.
		const __m512i p = _mm512_castpd_si512 (prev), c = _mm512_castpd_si512 (cur);
		return _mm512_castsi512_pd (_mm512_alignr_epi64 (c, p, 8 - kChannels));
	}

	template <int kChannels>
	static V loadFrame (const double* p) noexcept
	{
		if constexpr (kChannels == 2)
			return _mm512_castps_pd (_mm512_broadcast_f32x4 (_mm_castpd_ps (_mm_loadu_pd (p))));
		else
			return _mm512_set1_pd (*p);
	}

	template <int kChannels>
	static void storeFrame (double* p, V v) noexcept
	{
		const __m128d top = _mm_castps_pd (_mm512_extractf32x4_ps (_mm512_castpd_ps (v), 3));
		if constexpr (kChannels == 2)
			_mm_storeu_pd (p, top);
		else
			_mm_storeh_pd (p, top);
	}
};

} // namespace QuenrilEQ::kernels::avx512
