// The fast squared-magnitude path the linear-phase kernel design uses, against
// the band's own sections evaluated in extended precision.
#include "band_response.h"

#include "band_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace QuenrilEQ {
namespace {

using testing::makeBand;

/** |band| at bin k of an n-point grid in long double, from the band's own section design. */
long double exactMagnitude (const EqBand& band, double fs, int k, int n)
{
	using Kind = BandSectionDesign::Kind;
	using L = long double;
	using C = std::complex<L>;
	const BandSectionDesign d = designBandSections (band, fs);
	const C z = std::polar (1.0L, -2 * 3.14159265358979323846264338327950288L * k / n);
	auto section = [&z] (const SectionCoefficients& s) {
		return (L (s.b0) + L (s.b1) * z + L (s.b2) * z * z) / (L (s.a0) + L (s.a1) * z + L (s.a2) * z * z);
	};
	const C low = L (d.g) * (1.0L + z) / (1.0L - (1 - 2 * L (d.g)) * z);
	switch (d.kind)
	{
		case Kind::Identity: return 1;
		case Kind::Section: return std::pow (std::abs (section (d.first)), L (d.power));
		case Kind::SectionPair: return std::pow (std::abs (section (d.first) * section (d.second)), L (d.power));
		case Kind::FirstOrderLowPass: return std::abs (low);
		case Kind::FirstOrderHighPass: return std::abs (1.0L - low);
	}
	return 1;
}

/**
 * The fast path on an n-point grid within 1e-9 of the exact value, at bins where every band is
 * above -60 dB (below, no double evaluation keeps relative precision). Returns the bins compared.
 */
int expectFastPathExact (const std::array<EqBand, kNumBands>& bands, double fs, int n)
{
	const int bins = n / 2 + 1;
	std::vector<double> c (bins), s (bins), fast (bins);
	for (int k = 0; k < bins; ++k)
		c[k] = std::cos (2 * M_PI * k / n), s[k] = std::sin (2 * M_PI * k / n);
	combinedSquaredMagnitudes (bands, fs, c.data (), s.data (), bins, fast.data ());
	int compared = 0;
	for (int k = 0; k < bins; ++k)
	{
		double weakest = 1;
		long double exact = 1;
		for (const EqBand& b : bands)
			if (b.enabled)
				weakest = std::min (weakest, std::abs (bandResponse (b, k * fs / n, fs))), exact *= exactMagnitude (b, fs, k, n);
		if (weakest < 1e-3)
			continue;
		EXPECT_LT (std::fabs ((std::sqrt (fast[k]) - exact) / exact), 1e-9) << "bin " << k;
		++compared;
	}
	return compared;
}

TEST (BandResponse, FastSquaredMagnitudesAreExact)
{
	// Every shape and slope alone, with corners from near DC to near Nyquist.
	for (int shape = 0; shape < kNumBandShapes; ++shape)
		for (int slope = 0; slope < kNumSlopes; ++slope)
			for (double freq : {20.0, 900.0, 19000.0})
			{
				SCOPED_TRACE (::testing::Message () << shape << " " << slope << " " << freq);
				std::array<EqBand, kNumBands> bands {};
				bands[4] = makeBand (shape, freq, shape % 2 ? 14.0 : -21.0, slope % 2 ? 0.4 : 6.0, slope);
				EXPECT_GT (expectFastPathExact (bands, 48000, 8192), 0);
			}
	// Busy sessions of the shapes that leave most of the spectrum above -60 dB.
	std::mt19937 rng (1234);
	const int shapes[] = {kBell, kLowShelf, kHighShelf, kNotch, kTiltShelf, kAllpass};
	std::uniform_real_distribution<double> u (0, 1);
	for (int trial = 0; trial < 8; ++trial)
	{
		std::array<EqBand, kNumBands> bands {};
		for (EqBand& b : bands)
			b = makeBand (shapes[rng () % 6], 15 * std::pow (1400.0, u (rng)), 60 * u (rng) - 30, 0.3 * std::pow (40.0, u (rng)), rng () % 5);
		EXPECT_GT (expectFastPathExact (bands, trial % 2 ? 44100.0 : 96000.0, 4096), 512) << "trial " << trial;
	}
}

} // namespace
} // namespace QuenrilEQ
