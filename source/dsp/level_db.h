// Level in dB of a detector magnitude, for the band dynamics. The detector
// needs one logarithm per band and sample, which through libm's log10 was the
// largest cost of a dynamic band. This one is a short polynomial; its vector
// form (levelDbVector, vector/detector_kernel.h) performs the very same IEEE
// operations on SSE2, so the per-sample and block paths stay bit-identical.
// Accuracy: within 1e-12 dB of 20 log10(x) for x from 1e-6 up.
#pragma once

#include <cstdint>
#include <cstring>

namespace QuenrilEQ::leveldb {

constexpr double kDbPerNeper = 8.6858896380650365530225783783321;  // 20 / ln 10
constexpr double kLn2 = 0.69314718055994530941723212145818;
constexpr double kSqrt2 = 1.4142135623730950488016887242097;
constexpr std::uint64_t kMantissaMask = 0x000FFFFFFFFFFFFFull;
constexpr std::uint64_t kOneBits = 0x3FF0000000000000ull;
constexpr std::uint64_t kTwoPow52Bits = 0x4330000000000000ull;
constexpr double kTwoPow52 = 4503599627370496.0;
constexpr double kExponentBias = 1023.0;

// ln m = 2 atanh(s), s = (m - 1) / (m + 1): 2 (s + s^3/3 + s^5/5 + ...), |s| <= 0.1716 here,
// so eleven terms leave a remainder below 1e-17.
constexpr double kSeries[] = {2.0,      2.0 / 3,  2.0 / 5,  2.0 / 7,  2.0 / 9, 2.0 / 11,
                              2.0 / 13, 2.0 / 15, 2.0 / 17, 2.0 / 19, 2.0 / 21};
constexpr int kTerms = sizeof (kSeries) / sizeof (kSeries[0]);

/** 20 log10(magnitude) in dB for a positive magnitude (infinity gives a large finite level). */
inline double levelDb (double magnitude) noexcept
{
	std::uint64_t bits;
	std::memcpy (&bits, &magnitude, sizeof bits);
	const std::uint64_t exponentBits = (bits >> 52) | kTwoPow52Bits;
	const std::uint64_t mantissaBits = (bits & kMantissaMask) | kOneBits;
	double e, m;
	std::memcpy (&e, &exponentBits, sizeof e);
	std::memcpy (&m, &mantissaBits, sizeof m);
	e = (e - kTwoPow52) - kExponentBias;
	const bool high = m > kSqrt2;  // fold m into [sqrt(1/2), sqrt(2)]
	m = high ? m * 0.5 : m;
	e = e + (high ? 1.0 : 0.0);
	const double s = (m - 1.0) / (m + 1.0);
	const double z = s * s;
	double p = kSeries[kTerms - 1];
	for (int k = kTerms - 2; k >= 0; --k)
		p = p * z + kSeries[k];
	return (e * kLn2 + s * p) * kDbPerNeper;
}

} // namespace QuenrilEQ::leveldb
