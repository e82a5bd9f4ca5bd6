// Band response evaluation: cookbook identities at known points, an
// independent polynomial evaluation, the responses the natural-mode filters
// actually produce, and the fast magnitude path against the complex one.
#include "band_design.h"
#include "band_response.h"

#include "band_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace QuenrilEQ {
namespace {

constexpr double kFs = 48000.0;
constexpr double kPi = 3.14159265358979323846;

using testing::makeBand;

double db (double magnitude) { return 20 * std::log10 (magnitude); }

TEST (BandResponse, DisabledUnknownShapeAndBadRateAreExactlyOne)
{
	EqBand off = makeBand (kBell, 1000, 12, 2, 2);
	off.enabled = false;
	const EqBand unknown = makeBand (9, 1000, 12, 2, 2);
	const EqBand negative = makeBand (-1, 1000, 12, 2, 2);
	const EqBand bell = makeBand (kBell, 1000, 12, 2, 2);
	for (double f : {0.0, 20.0, 999.0, 1000.0, 15000.0, 24000.0})
	{
		EXPECT_EQ (bandResponse (off, f, kFs), std::complex<double> (1, 0));
		EXPECT_EQ (bandResponse (unknown, f, kFs), std::complex<double> (1, 0));
		EXPECT_EQ (bandResponse (negative, f, kFs), std::complex<double> (1, 0));
		EXPECT_EQ (bandResponse (bell, f, 0.0), std::complex<double> (1, 0));
		EXPECT_EQ (bandResponse (bell, f, std::nan ("")), std::complex<double> (1, 0));
	}
	std::array<EqBand, kNumBands> none {};
	EXPECT_EQ (combinedResponse (none, 440, kFs), std::complex<double> (1, 0));
}

TEST (BandResponse, SectionMatchesDirectPolynomialEvaluation)
{
	const SectionCoefficients c {0.3, -0.2, 0.7, 1.1, -0.4, 0.25};
	for (double f : {0.0, 100.0, 3333.0, 12000.0, 23999.0})
	{
		const std::complex<double> z = std::exp (std::complex<double> (0, -2 * kPi * f / kFs));
		const std::complex<double> expected = (c.b0 + c.b1 * z + c.b2 * z * z) / (c.a0 + c.a1 * z + c.a2 * z * z);
		const std::complex<double> got = sectionResponse (c, f, kFs);
		EXPECT_NEAR (got.real (), expected.real (), 1e-13) << f;
		EXPECT_NEAR (got.imag (), expected.imag (), 1e-13) << f;
	}
}

TEST (BandResponse, GainShapesAtZeroDbAreUnityEverywhere)
{
	for (int shape : {kBell, kLowShelf, kHighShelf, kTiltShelf})
		for (int slope = 0; slope < kNumSlopes; ++slope)
		{
			const EqBand b = makeBand (shape, 700, 0, 3, slope);
			for (double f : {0.0, 50.0, 700.0, 5000.0, 24000.0})
				EXPECT_NEAR (std::abs (bandResponse (b, f, kFs)), 1.0, 1e-12) << shape << " " << slope << " " << f;
		}
}

TEST (BandResponse, BellReachesItsGainAtCentreForEverySlope)
{
	for (double gain : {-18.0, 6.0, 24.0})
		for (int slope = 0; slope < kNumSlopes; ++slope)
		{
			const EqBand b = makeBand (kBell, 2500, gain, 1.7, slope);
			EXPECT_NEAR (db (std::abs (bandResponse (b, 2500, kFs))), gain, 1e-9) << gain << " " << slope;
		}
}

TEST (BandResponse, FirstOrderCutsAreComplementaryAndIgnoreQ)
{
	const EqBand low = makeBand (kLowCut, 800, 0, 0.5, 0);
	const EqBand high = makeBand (kHighCut, 800, 0, 0.5, 0);
	const EqBand lowOtherQ = makeBand (kLowCut, 800, 0, 9, 0);
	for (double f : {0.0, 30.0, 800.0, 6000.0, 24000.0})
	{
		const std::complex<double> sum = bandResponse (low, f, kFs) + bandResponse (high, f, kFs);
		EXPECT_NEAR (sum.real (), 1.0, 1e-14);
		EXPECT_NEAR (sum.imag (), 0.0, 1e-14);
		EXPECT_EQ (bandResponse (low, f, kFs), bandResponse (lowOtherQ, f, kFs));
	}
	EXPECT_NEAR (std::abs (bandResponse (low, 0, kFs)), 0.0, 1e-15);
	EXPECT_NEAR (std::abs (bandResponse (low, kFs / 2, kFs)), 1.0, 1e-12);
	EXPECT_NEAR (std::abs (bandResponse (high, 0, kFs)), 1.0, 1e-12);
	EXPECT_NEAR (std::abs (bandResponse (high, kFs / 2, kFs)), 0.0, 1e-12);
	// Bilinear one-pole: -3 dB at the corner.
	EXPECT_NEAR (db (std::abs (bandResponse (high, 800, kFs))), -3.0103, 1e-3);
}

TEST (BandResponse, NotchBandPassAllpassAndSteepCut)
{
	for (int slope = 0; slope < kNumSlopes; ++slope)
	{
		EXPECT_NEAR (std::abs (bandResponse (makeBand (kNotch, 3000, 0, 4, slope), 3000, kFs)), 0.0, 1e-12);
		EXPECT_NEAR (std::abs (bandResponse (makeBand (kBandPass, 3000, 0, 0.3, slope), 3000, kFs)), 1.0, 1e-12);
		const EqBand allpass = makeBand (kAllpass, 3000, 0, 2, slope);
		for (double f : {0.0, 100.0, 2999.0, 3000.0, 20000.0, 24000.0})
			EXPECT_NEAR (std::abs (bandResponse (allpass, f, kFs)), 1.0, 1e-12);
	}
	// Eight identical high-pass sections: one section has magnitude Q at f0.
	const double q = 1.3;
	EXPECT_NEAR (std::abs (bandResponse (makeBand (kLowCut, 1200, 0, q, 4), 1200, kFs)), std::pow (q, 8), 1e-9);
	// Slope indices outside 0..4 act as the nearest end.
	const EqBand below = makeBand (kLowCut, 1200, 0, q, -3), first = makeBand (kLowCut, 1200, 0, q, 0);
	const EqBand above = makeBand (kLowCut, 1200, 0, q, 9), steep = makeBand (kLowCut, 1200, 0, q, 4);
	EXPECT_EQ (bandResponse (below, 500, kFs), bandResponse (first, 500, kFs));
	EXPECT_EQ (bandResponse (above, 500, kFs), bandResponse (steep, 500, kFs));
}

TEST (BandResponse, TiltShelfEndsAtHalfGainEachSide)
{
	for (int slope = 0; slope < kNumSlopes; ++slope)
	{
		const EqBand b = makeBand (kTiltShelf, 1000, 9, 0.7, slope);
		EXPECT_NEAR (db (std::abs (bandResponse (b, 0, kFs))), -4.5, 1e-9) << slope;
		EXPECT_NEAR (db (std::abs (bandResponse (b, kFs / 2, kFs))), 4.5, 1e-9) << slope;
	}
}

// What the natural mode runs: a sine through processBandSample, measured once settled
// by correlating an integer number of periods with cos and sin.
std::complex<double> measuredResponse (EqBand band, double freq)
{
	const int settle = 96000, measure = 4800;  // 4800 samples hold whole periods of multiples of 10 Hz
	const double w = 2 * kPi * freq / kFs;
	std::complex<double> sum (0, 0), ref (0, 0);
	for (int i = 0; i < settle + measure; ++i)
	{
		const double x = std::cos (w * i);
		const double y = processBandSample (band, 0, x);
		if (i >= settle)
		{
			const std::complex<double> e = std::exp (std::complex<double> (0, -w * i));
			sum += y * e;
			ref += x * e;
		}
	}
	return sum / ref;
}

TEST (BandResponse, MatchesTheNaturalModeFiltersAsMeasured)
{
	struct Case { int shape; double freq, gain, q; int slope; };
	const Case cases[] = {
		{kBell, 1000, 9, 1.5, 2},     {kLowShelf, 300, -6, 0.7, 1},  {kHighShelf, 6000, 4, 1.0, 3},
		{kLowCut, 200, 0, 0.9, 0},    {kLowCut, 200, 0, 0.707, 3},   {kHighCut, 5000, 0, 0.707, 0},
		{kHighCut, 5000, 0, 1.2, 2},  {kNotch, 2000, 0, 3, 1},       {kBandPass, 1500, 0, 2, 2},
		{kTiltShelf, 1000, 8, 0.8, 4}, {kAllpass, 700, 0, 1.1, 2},
	};
	for (const Case& c : cases)
	{
		EqBand band;
		designBand (band, c.shape, c.freq, c.gain, c.q, c.slope, kFs);
		band.enabled = true;
		for (double f : {100.0, 650.0, 1500.0, 7000.0})
		{
			const std::complex<double> expected = bandResponse (band, f, kFs);
			const std::complex<double> got = measuredResponse (band, f);
			EXPECT_NEAR (std::abs (got - expected), 0.0, 1e-6 * std::max (1.0, std::abs (expected)))
			    << "shape " << c.shape << " slope " << c.slope << " at " << f << " Hz";
		}
	}
}

// Unit-circle tables of an n-point grid, as the kernel design uses them.
struct Grid
{
	std::vector<double> c, s;
	explicit Grid (int n) : c (n / 2 + 1), s (n / 2 + 1)
	{
		for (int k = 0; k <= n / 2; ++k)
		{
			c[k] = std::cos (2 * kPi * k / n);
			s[k] = std::sin (2 * kPi * k / n);
		}
	}
};

// |band| in extended precision from the band's own section design: the exact value the double
// evaluations round towards.
long double exactMagnitude (const EqBand& band, double fs, int k, int n)
{
	using Kind = BandSectionDesign::Kind;
	using C = std::complex<long double>;
	const BandSectionDesign d = designBandSections (band, fs);
	const C z = std::polar (1.0L, -2 * 3.14159265358979323846264338327950288L * k / n);
	using L = long double;
	auto section = [&z] (const SectionCoefficients& s) {
		return (L (s.b0) + L (s.b1) * z + L (s.b2) * z * z) / (L (s.a0) + L (s.a1) * z + L (s.a2) * z * z);
	};
	const L g = d.g, a = 1 - 2 * g;
	const C low = g * (1.0L + z) / (1.0L - a * z);
	switch (d.kind)
	{
		case Kind::Identity: return 1;
		case Kind::Section: return std::pow (std::abs (section (d.first)), static_cast<long double> (d.power));
		case Kind::SectionPair:
			return std::pow (std::abs (section (d.first) * section (d.second)), static_cast<long double> (d.power));
		case Kind::FirstOrderLowPass: return std::abs (low);
		case Kind::FirstOrderHighPass: return std::abs (1.0L - low);
	}
	return 1;
}

struct FastPathErrors
{
	double vsExact = 0;            // fast magnitude against the extended-precision value
	double vsStraightforward = 0;  // fast against |combinedResponse|, less the latter's own rounding
	int compared = 0;
};

// Over an n-point grid, on bins where every band stays above -60 dB (deeper in a stopband, a cut
// far below its corner or a notch centre, neither double evaluation keeps relative precision).
FastPathErrors fastPathErrors (const std::array<EqBand, kNumBands>& bands, double fs, int n)
{
	const Grid grid (n);
	const int bins = n / 2 + 1;
	std::vector<double> fast (bins);
	combinedSquaredMagnitudes (bands, fs, grid.c.data (), grid.s.data (), bins, fast.data ());
	FastPathErrors e;
	for (int k = 0; k < bins; ++k)
	{
		const double f = k * fs / n;
		double weakest = 1;
		long double exact = 1;
		for (const EqBand& b : bands)
			if (b.enabled)
			{
				weakest = std::min (weakest, std::abs (bandResponse (b, f, fs)));
				exact *= exactMagnitude (b, fs, k, n);
			}
		if (weakest < 1e-3)
			continue;
		const double got = std::sqrt (fast[k]);
		const double straightforward = std::abs (combinedResponse (bands, f, fs));
		// Near DC and Nyquist the straightforward sum b0 + b1 z + b2 z^2 cancels; that much is its error.
		const double ownRounding = static_cast<double> (std::fabs ((straightforward - exact) / exact));
		e.vsExact = std::max (e.vsExact, static_cast<double> (std::fabs ((got - exact) / exact)));
		e.vsStraightforward = std::max (e.vsStraightforward, std::fabs (got - straightforward) / straightforward - ownRounding);
		++e.compared;
	}
	return e;
}

TEST (BandResponse, FastSquaredMagnitudesEqualTheComplexEvaluation)
{
	// Every shape and slope on its own, at corners from near DC to near Nyquist.
	for (int shape = 0; shape < kNumBandShapes; ++shape)
		for (int slope = 0; slope < kNumSlopes; ++slope)
			for (double freq : {20.0, 900.0, 19000.0})
			{
				std::array<EqBand, kNumBands> bands {};
				bands[4] = makeBand (shape, freq, shape % 2 ? 14.0 : -21.0, slope % 2 ? 0.4 : 6.0, slope);
				const FastPathErrors e = fastPathErrors (bands, 48000, 8192);
				EXPECT_LT (e.vsStraightforward, 1e-9) << shape << " " << slope << " " << freq;
				EXPECT_LT (e.vsExact, 1e-9) << shape << " " << slope << " " << freq;
				EXPECT_GT (e.compared, 0);
			}

	// Busy random sessions: 24 bands of the shapes that leave most of the spectrum above -60 dB
	// (the cuts and band-pass, covered one by one above, would leave too few bins to compare).
	std::mt19937 rng (1234);
	const int shapes[] = {kBell, kLowShelf, kHighShelf, kNotch, kTiltShelf, kAllpass};
	std::uniform_int_distribution<int> pick (0, 5), slope (0, 4);
	std::uniform_real_distribution<double> logF (std::log (15.0), std::log (21000.0)), gain (-30, 30),
	    logQ (std::log (0.3), std::log (12.0));
	for (int trial = 0; trial < 12; ++trial)
	{
		std::array<EqBand, kNumBands> bands {};
		for (EqBand& b : bands)
			b = makeBand (shapes[pick (rng)], std::exp (logF (rng)), gain (rng), std::exp (logQ (rng)), slope (rng));
		const int n = trial < 8 ? 2048 : 16384;
		const FastPathErrors e = fastPathErrors (bands, trial % 2 ? 44100.0 : 96000.0, n);
		EXPECT_LT (e.vsStraightforward, 1e-9) << "trial " << trial;
		EXPECT_LT (e.vsExact, 1e-9) << "trial " << trial;
		EXPECT_GT (e.compared, n / 8) << "trial " << trial;
	}
}

} // namespace
} // namespace QuenrilEQ
