// Band designs measured as a listener would: a steady sine through the real
// filter, its level compared with the response computed here from the
// cookbook formulas on the unit circle.
#include "band_design.h"
#include "band_dynamics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace {

constexpr double kPi = 3.14159265358979323846;
using Complex = std::complex<double>;

// ---- independent reference: cookbook polynomials evaluated at z = e^{jw} ----

struct Poly
{
	double b0, b1, b2, a0, a1, a2;
};

Complex evalPoly (const Poly& p, double f, double fs)
{
	const Complex z1 = std::polar (1.0, -2 * kPi * f / fs);
	return (p.b0 + z1 * (p.b1 + z1 * p.b2)) / (p.a0 + z1 * (p.a1 + z1 * p.a2));
}

Poly refSection (int shape, double fc, double q, double gainDb, double fs)
{
	const double w = 2 * kPi * fc / fs;
	const double c = std::cos (w);
	const double al = std::sin (w) / (2 * q);
	const double a = std::pow (10.0, gainDb / 40);
	const double sa = 2 * std::sqrt (a) * al;
	switch (shape)
	{
		case kBell: return {1 + al * a, -2 * c, 1 - al * a, 1 + al / a, -2 * c, 1 - al / a};
		case kLowShelf:
			return {a * ((a + 1) - (a - 1) * c + sa), 2 * a * ((a - 1) - (a + 1) * c), a * ((a + 1) - (a - 1) * c - sa),
			        (a + 1) + (a - 1) * c + sa, -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - sa};
		case kHighShelf:
			return {a * ((a + 1) + (a - 1) * c + sa), -2 * a * ((a - 1) + (a + 1) * c), a * ((a + 1) + (a - 1) * c - sa),
			        (a + 1) - (a - 1) * c + sa, 2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - sa};
		case kLowCut: return {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + al, -2 * c, 1 - al};
		case kHighCut: return {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + al, -2 * c, 1 - al};
		case kNotch: return {1, -2 * c, 1, 1 + al, -2 * c, 1 - al};
		case kBandPass: return {al, 0, -al, 1 + al, -2 * c, 1 - al};
		case kAllpass: return {1 - al, -2 * c, 1 + al, 1 + al, -2 * c, 1 - al};
		default: return {1, 0, 0, 1, 0, 0};
	}
}

/** |H| of the whole band at frequency f, from its settings alone. */
double referenceMagnitude (int shape, double fc, double gainDb, double q, int slope, double fs, double f)
{
	const int counts[] = {1, 1, 2, 4, 8};
	const int n = counts[slope];
	if ((shape == kLowCut || shape == kHighCut) && slope == 0)
	{
		// Trapezoidal one-pole: the bilinear image of 1 / (1 + s / wc).
		const double g = std::tan (kPi * fc / fs);
		const Complex z1 = std::polar (1.0, -2 * kPi * f / fs);
		const Complex lp = g * (1.0 + z1) / ((1 + g) - (1 - g) * z1);
		return std::abs (shape == kLowCut ? 1.0 - lp : lp);
	}
	if (shape == kTiltShelf)
	{
		const double t = gainDb / 2 / n;
		const Complex low = evalPoly (refSection (kLowShelf, fc, q, -t, fs), f, fs);
		const Complex high = evalPoly (refSection (kHighShelf, fc, q, t, fs), f, fs);
		return std::pow (std::abs (low * high), n);
	}
	const double perSection = (shape == kBell || shape == kLowShelf || shape == kHighShelf) ? gainDb / n : 0.0;
	return std::pow (std::abs (evalPoly (refSection (shape, fc, q, perSection, fs), f, fs)), n);
}

// ---- measurement: least-squares fit of a sine and cosine to the settled output ----

double measuredMagnitude (EqBand band, int filterSet, double f, double fs)
{
	const int settle = 8192;
	const int window = 4096;
	const double w = 2 * kPi * f / fs;
	double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
	for (int n = 0; n < settle + window; ++n)
	{
		const double y = processBandSample (band, filterSet, std::sin (w * n));
		if (n < settle)
			continue;
		const double s = std::sin (w * n), c = std::cos (w * n);
		ss += s * s;
		cc += c * c;
		sc += s * c;
		ys += y * s;
		yc += y * c;
	}
	const double det = ss * cc - sc * sc;
	const double a = (ys * cc - yc * sc) / det;
	const double b = (yc * ss - ys * sc) / det;
	return std::hypot (a, b);
}

double toDb (double magnitude)
{
	return 20 * std::log10 (std::max (magnitude, 1e-30));
}

void expectLevelsAgree (double measured, double expected, const std::string& what)
{
	const double m = toDb (measured), e = toDb (expected);
	if (e < -100)
		EXPECT_LT (m, -80) << what << " expected " << e << " dB";
	else
		EXPECT_NEAR (m, e, e < -60 ? 0.1 : 0.005) << what;
}

const char* const kShapeNames[] = {"Bell", "LowShelf", "HighShelf", "LowCut", "HighCut",
                                   "Notch", "BandPass", "TiltShelf", "Allpass"};

TEST (BandDesign, EveryShapeAndSlopeMatchesTheCookbookResponse)
{
	const double q = 0.9, gain = 9.0;
	for (double fs : {44100.0, 48000.0, 96000.0})
	{
		for (double fc : {1000.0, 12000.0})
		{
			for (int shape = 0; shape < kNumBandShapes; ++shape)
			{
				for (int slope = 0; slope < kNumSlopes; ++slope)
				{
					EqBand band;
					designBand (band, shape, fc, gain, q, slope, fs);
					for (double f : {fc / 4, fc / std::sqrt (2.0), fc, fc * 1.3, 0.47 * fs})
					{
						const std::string what = std::string (kShapeNames[shape]) + " slope " + std::to_string (slope)
						                         + " fs " + std::to_string (fs) + " fc " + std::to_string (fc)
						                         + " f " + std::to_string (f);
						const double expected = referenceMagnitude (shape, fc, gain, q, slope, fs, f);
						expectLevelsAgree (measuredMagnitude (band, 0, f, fs), expected, what);
						if (f == fc)  // the other filter set holds the same design
							expectLevelsAgree (measuredMagnitude (band, 1, f, fs), expected, what + " set 1");
					}
				}
			}
		}
	}
}

TEST (BandDesign, FrequencyIsClampedToTheUsableRange)
{
	EqBand band;
	designBand (band, kBell, 22000.0, 6.0, 1.0, 1, 44100.0);
	EXPECT_NEAR (band.freq, 19845.0, 1e-9);
	// The response is that of a bell at 19845 Hz: full gain there.
	EXPECT_NEAR (toDb (measuredMagnitude (band, 0, 19845.0, 44100.0)), 6.0, 0.005);
	designBand (band, kBell, 22000.0, 6.0, 1.0, 1, 48000.0);
	EXPECT_NEAR (band.freq, 21600.0, 1e-9);
	designBand (band, kLowCut, 2.0, 0.0, 1.0, 2, 48000.0);
	EXPECT_EQ (band.freq, 10.0);
	designBand (band, kLowCut, std::nan (""), 0.0, 1.0, 2, 48000.0);
	EXPECT_EQ (band.freq, 10.0);
	designBand (band, kBell, 1000.0, 6.0, -3.0, 1, 48000.0);
	EXPECT_EQ (band.q, 0.01);
}

TEST (BandDesign, TiltShelfReachesHalfTheGainAtEachEndForEverySlope)
{
	for (int slope = 0; slope < kNumSlopes; ++slope)
	{
		EqBand band;
		designBand (band, kTiltShelf, 1000.0, 6.0, 0.707, slope, 48000.0);
		EXPECT_EQ (band.numSections, 2 * baseSectionCount (slope));
		EXPECT_NEAR (toDb (measuredMagnitude (band, 0, 20.0, 48000.0)), -3.0, 0.02) << slope;
		EXPECT_NEAR (toDb (measuredMagnitude (band, 0, 21000.0, 48000.0)), 3.0, 0.02) << slope;
		EXPECT_NEAR (toDb (measuredMagnitude (band, 1, 1000.0, 48000.0)), 0.0, 1e-6) << slope;
	}
}

TEST (BandDesign, FirstOrderCutsAreComplementaryAndIgnoreQ)
{
	EqBand low, high, lowOtherQ;
	designBand (low, kLowCut, 700.0, 0.0, 0.707, 0, 48000.0);
	designBand (high, kHighCut, 700.0, 0.0, 0.707, 0, 48000.0);
	designBand (lowOtherQ, kLowCut, 700.0, 0.0, 12.0, 0, 48000.0);
	EXPECT_TRUE (low.firstOrder);
	std::mt19937 rng (7);
	std::uniform_real_distribution<double> noise (-1.0, 1.0);
	for (int n = 0; n < 5000; ++n)
	{
		const double x = noise (rng);
		const double l = processBandSample (low, 0, x);
		EXPECT_NEAR (l + processBandSample (high, 0, x), x, 1e-14);
		EXPECT_EQ (processBandSample (lowOtherQ, 0, x), l);
	}
	// A 6 dB/oct cut is 3 dB down at its corner.
	EXPECT_NEAR (toDb (measuredMagnitude (low, 0, 700.0, 48000.0)), -3.0103, 0.001);
}

TEST (BandDesign, ZeroGainBellIsAnExactIdentity)
{
	for (int slope = 0; slope < kNumSlopes; ++slope)
	{
		EqBand band;
		designBand (band, kBell, 3000.0, 0.0, 2.5, slope, 44100.0);
		std::mt19937 rng (11);
		std::uniform_real_distribution<double> noise (-1.0, 1.0);
		for (int n = 0; n < 2000; ++n)
		{
			const double x = noise (rng);
			ASSERT_EQ (processBandSample (band, 0, x), x);
		}
	}
}

TEST (BandDesign, SectionStatesResumeWhenTheSlopeShrinksAndGrowsAgain)
{
	EqBand band;
	designBand (band, kLowCut, 500.0, 0.0, 0.707, 4, 48000.0);
	for (int n = 0; n < 300; ++n)
		processBandSample (band, 0, std::sin (0.1 * n));
	const auto held = band.sections[0];
	designBand (band, kLowCut, 500.0, 0.0, 0.707, 1, 48000.0);
	EXPECT_EQ (band.numSections, 1);
	for (int n = 0; n < 300; ++n)
		processBandSample (band, 0, std::cos (0.07 * n));
	designBand (band, kLowCut, 500.0, 0.0, 0.707, 4, 48000.0);
	EXPECT_EQ (band.numSections, 8);
	EXPECT_NE (band.sections[0][0].s1, held[0].s1);  // the remaining section kept running
	for (int i = 1; i < 8; ++i)
	{
		EXPECT_EQ (band.sections[0][i].s1, held[i].s1) << i;
		EXPECT_EQ (band.sections[0][i].s2, held[i].s2) << i;
	}
}

TEST (BandDesign, BadInputGivesAPassThroughOrAFiniteFilter)
{
	for (double fs : {0.0, -48000.0, std::nan (""), HUGE_VAL})
	{
		EqBand band;
		designBand (band, kBell, 1000.0, 6.0, 1.0, 2, fs);
		EXPECT_EQ (processBandSample (band, 0, 0.25), 0.25) << fs;
	}
	EqBand unknownShape;
	designBand (unknownShape, 42, 1000.0, 6.0, 1.0, 2, 48000.0);
	EXPECT_EQ (processBandSample (unknownShape, 1, -0.5), -0.5);

	EqBand odd;
	designBand (odd, kHighShelf, 1000.0, std::nan (""), 1.0, 99, 48000.0);
	EXPECT_EQ (odd.numSections, 8);  // slope clamped to 96 dB/oct
	for (int n = 0; n < 100; ++n)
		ASSERT_TRUE (std::isfinite (processBandSample (odd, 0, std::sin (0.3 * n))));
}

} // namespace
} // namespace QuenrilEQ
