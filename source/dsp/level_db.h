// Level in dB of a detector magnitude, for the band dynamics. The detector
// needs one logarithm per band and sample, which through libm's log10 was the
// largest cost of a dynamic band. This one is a sixteen-entry table and a short
// polynomial; its vector form (levelDbVector, vector/detector_kernel.h)
// performs the very same IEEE operations on SSE2, so the per-sample and block
// paths stay bit-identical. Accuracy: within 1e-12 dB of 20 log10(x) for x
// from 1e-6 up.
#pragma once

#include <cstdint>
#include <cstring>

namespace QuenrilEQ::leveldb {

constexpr double kDbPerNeper = 8.6858896380650365530225783783321;  // 20 / ln 10
constexpr double kLn2 = 0.69314718055994530941723212145818;
constexpr std::uint64_t kMantissaMask = 0x000FFFFFFFFFFFFFull;
constexpr std::uint64_t kOneBits = 0x3FF0000000000000ull;
constexpr std::uint64_t kTwoPow52Bits = 0x4330000000000000ull;
constexpr double kTwoPow52 = 4503599627370496.0;
constexpr double kExponentBias = 1023.0;

// The mantissa m in [1, 2) is taken relative to the centre c of its sixteenth of that range (its
// top four bits, then half a step): ln m = ln c + 2 atanh(s), s = (m - c) / (m + c), |s| < 1/64.
constexpr int kCentreIndexShift = 48;
constexpr std::uint64_t kCentreIndexMask = 15;
constexpr std::uint64_t kCentreKeepMask = 0x000F000000000000ull;  // the top four mantissa bits
constexpr std::uint64_t kCentreBits = 0x3FF0800000000000ull;      // 1.0 and half a step
// ln c for the sixteen centres 1 + (i + 1/2) / 16, correctly rounded.
constexpr double kLogCentres[16] = {
    0x1.f829b0e783300p-6, 0x1.6f0d28ae56b4cp-4, 0x1.29552f81ff523p-3, 0x1.9525a9cf456b4p-3,
    0x1.fb9186d5e3e2bp-3, 0x1.2e8e2bae11d31p-2, 0x1.5d1bdbf5809cap-2, 0x1.89a3386c1425bp-2,
    0x1.b44f77bcc8f63p-2, 0x1.dd46a04c1c4a1p-2, 0x1.02552a5a5d0ffp-1, 0x1.154c3d2f4d5eap-1,
    0x1.2795e1289b11bp-1, 0x1.393e0d3562a1ap-1, 0x1.4a4f85db03ebbp-1, 0x1.5ad404c359f2dp-1};

// 2 atanh(s) / s = 2 (1 + s^2/3 + s^4/5 + s^6/7 + ...); with |s| < 1/64 four terms leave a
// remainder below 1e-17.
constexpr double kSeries[] = {2.0, 2.0 / 3, 2.0 / 5, 2.0 / 7};
constexpr int kTerms = sizeof (kSeries) / sizeof (kSeries[0]);

/** 20 log10(magnitude) in dB for a positive magnitude (infinity gives a large finite level). */
inline double levelDb (double magnitude) noexcept
{
	std::uint64_t bits;
	std::memcpy (&bits, &magnitude, sizeof bits);
	const std::uint64_t exponentBits = (bits >> 52) | kTwoPow52Bits;
	const std::uint64_t mantissaBits = (bits & kMantissaMask) | kOneBits;
	const std::uint64_t centreBits = (bits & kCentreKeepMask) | kCentreBits;
	double e, m, c;
	std::memcpy (&e, &exponentBits, sizeof e);
	std::memcpy (&m, &mantissaBits, sizeof m);
	std::memcpy (&c, &centreBits, sizeof c);
	e = (e - kTwoPow52) - kExponentBias;
	const double logCentre = kLogCentres[(bits >> kCentreIndexShift) & kCentreIndexMask];
	const double s = (m - c) / (m + c);
	const double z = s * s;
	double p = kSeries[kTerms - 1];
	for (int k = kTerms - 2; k >= 0; --k)
		p = p * z + kSeries[k];
	return (e * kLn2 + (s * p + logCentre)) * kDbPerNeper;
}

} // namespace QuenrilEQ::leveldb
