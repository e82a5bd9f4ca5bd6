// Band designs against the cookbook formulas evaluated here: the filter as a
// listener hears it (a steady sine through it), the response the editor draws
// (bandResponse) and the squared magnitudes the linear-phase kernel is built
// from, for every shape and slope; then the limits a design keeps to.
#include "band_design.h"
#include "band_response.h"
#include "kernel_table.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <string>

namespace QuenrilEQ {
namespace {

using Complex = std::complex<double>;

// ---- independent reference: cookbook polynomials at z = e^{jw} ----

Complex section (int shape, double fc, double q, double gainDb, double fs, double f)
{
	const double w = 2 * M_PI * fc / fs, c = std::cos (w), al = std::sin (w) / (2 * q);
	const double a = std::pow (10.0, gainDb / 40), sa = 2 * std::sqrt (a) * al;
	std::array<double, 6> p {1, 0, 0, 1, 0, 0};  // b0 b1 b2 a0 a1 a2
	switch (shape)
	{
		case kBell: p = {1 + al * a, -2 * c, 1 - al * a, 1 + al / a, -2 * c, 1 - al / a}; break;
		case kLowShelf:
			p = {a * ((a + 1) - (a - 1) * c + sa), 2 * a * ((a - 1) - (a + 1) * c), a * ((a + 1) - (a - 1) * c - sa),
			     (a + 1) + (a - 1) * c + sa, -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - sa};
			break;
		case kHighShelf:
			p = {a * ((a + 1) + (a - 1) * c + sa), -2 * a * ((a - 1) + (a + 1) * c), a * ((a + 1) + (a - 1) * c - sa),
			     (a + 1) - (a - 1) * c + sa, 2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - sa};
			break;
		case kLowCut: p = {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + al, -2 * c, 1 - al}; break;
		case kHighCut: p = {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + al, -2 * c, 1 - al}; break;
		case kNotch: p = {1, -2 * c, 1, 1 + al, -2 * c, 1 - al}; break;
		case kBandPass: p = {al, 0, -al, 1 + al, -2 * c, 1 - al}; break;
		case kAllpass: p = {1 - al, -2 * c, 1 + al, 1 + al, -2 * c, 1 - al}; break;
	}
	const Complex z1 = std::polar (1.0, -2 * M_PI * f / fs);
	return (p[0] + z1 * (p[1] + z1 * p[2])) / (p[3] + z1 * (p[4] + z1 * p[5]));
}

/** The whole band at f: slope index s is 2^(s-1) identical sections (one for s = 0). */
Complex reference (int shape, double fc, double gainDb, double q, int slope, double fs, double f)
{
	const int n = slope == 0 ? 1 : 1 << (slope - 1);
	if ((shape == kLowCut || shape == kHighCut) && slope == 0)
	{
		// Trapezoidal one-pole: the bilinear image of 1 / (1 + s / wc).
		const double g = std::tan (M_PI * fc / fs);
		const Complex z1 = std::polar (1.0, -2 * M_PI * f / fs);
		const Complex lp = g * (1.0 + z1) / ((1 + g) - (1 - g) * z1);
		return shape == kLowCut ? 1.0 - lp : lp;
	}
	if (shape == kTiltShelf)  // half the gain down below, half up above
		return std::pow (section (kLowShelf, fc, q, -gainDb / 2 / n, fs, f) * section (kHighShelf, fc, q, gainDb / 2 / n, fs, f), n);
	const bool gainShape = shape == kBell || shape == kLowShelf || shape == kHighShelf;
	return std::pow (section (shape, fc, q, gainShape ? gainDb / n : 0.0, fs, f), n);
}

/** |H| of the running filter at f: least-squares fit of a sine and cosine to its settled output. */
double measured (EqBand band, int filterSet, double f, double fs)
{
	const int settle = 8192, window = 4096;
	const double w = 2 * M_PI * f / fs;
	double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
	for (int n = 0; n < settle + window; ++n)
	{
		const double y = processBandSample (band, filterSet, std::sin (w * n));
		const double s = std::sin (w * n), c = std::cos (w * n);
		if (n >= settle)
			ss += s * s, cc += c * c, sc += s * c, ys += y * s, yc += y * c;
	}
	const double det = ss * cc - sc * sc;
	return std::hypot ((ys * cc - yc * sc) / det, (yc * ss - ys * sc) / det);
}

double db (double magnitude) { return 20 * std::log10 (std::max (magnitude, 1e-30)); }

TEST (BandDesign, EveryShapeAndSlopeSoundsAndEvaluatesAsTheCookbookSays)
{
	const double q = 0.9, gain = 9.0;
	for (double fs : {44100.0, 48000.0, 96000.0})
		for (double fc : {1000.0, 12000.0})
			for (int shape = 0; shape < kNumBandShapes; ++shape)
				for (int slope = 0; slope < kNumSlopes; ++slope)
				{
					std::array<EqBand, kNumBands> bands {};
					EqBand& band = bands[4];
					designBand (band, shape, fc, gain, q, slope, fs);
					band.enabled = true;
					const std::array<double, 6> freqs {0.0, fc / 4, fc / std::sqrt (2.0), fc, fc * 1.3, 0.47 * fs};
					std::array<double, 6> cosW, sinW;
					for (std::size_t i = 0; i < freqs.size (); ++i)
						cosW[i] = std::cos (2 * M_PI * freqs[i] / fs), sinW[i] = std::sin (2 * M_PI * freqs[i] / fs);
					std::array<double, 6> squared[std::size (kInstructionSets)];  // by each set this CPU runs
					for (InstructionSet set : kInstructionSets)
						if (useInstructionSet (set))
							combinedSquaredMagnitudes (bands, fs, cosW.data (), sinW.data (), 6, squared[int (set)].data ());
					useInstructionSet (bestInstructionSet ());
					for (std::size_t i = 0; i < freqs.size (); ++i)
					{
						const double f = freqs[i];
						SCOPED_TRACE ("shape " + std::to_string (shape) + " slope " + std::to_string (slope) + " fs " +
						              std::to_string (fs) + " fc " + std::to_string (fc) + " f " + std::to_string (f));
						const Complex expected = reference (shape, fc, gain, q, slope, fs, f);
						const double tolerance = 1e-9 * std::max (1.0, std::abs (expected));
						EXPECT_LT (std::abs (bandResponse (band, f, fs) - expected), tolerance);
						for (InstructionSet set : kInstructionSets)
							if (isSupported (set))
							{
								EXPECT_LT (std::fabs (std::sqrt (squared[int (set)][i]) - std::abs (expected)), tolerance)
								    << instructionSetName (set);
							}
						if (f == 0.0)
							continue;
						const double e = db (std::abs (expected));
						for (int set = 0; set < (f == fc ? 2 : 1); ++set)  // both filter sets hold the design
							if (e < -100)
								EXPECT_LT (db (measured (band, set, f, fs)), -80);
							else
								EXPECT_NEAR (db (measured (band, set, f, fs)), e, e < -60 ? 0.1 : 0.005);
					}
				}
}

TEST (BandDesign, LimitsAndBadInput)
{
	EqBand band;
	designBand (band, kBell, 22000.0, 6.0, 1.0, 1, 44100.0);
	EXPECT_NEAR (db (measured (band, 0, 19845.0, 44100.0)), 6.0, 0.005);  // held at 0.45 of the rate
	designBand (band, kHighShelf, 1000.0, std::nan (""), 1.0, 99, 48000.0);
	EXPECT_EQ (band.numSections, 8);  // slope clamped to 96 dB/oct
	for (int n = 0; n < 100; ++n)
		ASSERT_TRUE (std::isfinite (processBandSample (band, 0, std::sin (0.3 * n))));
	// No usable rate or an unknown shape: pass-through filters, responses of exactly 1.
	for (double fs : {0.0, -48000.0, std::nan (""), HUGE_VAL})
	{
		designBand (band, kBell, 1000.0, 6.0, 1.0, 2, fs);
		band.enabled = true;
		EXPECT_EQ (processBandSample (band, 0, 0.25), 0.25) << fs;
		EXPECT_EQ (bandResponse (band, 1000, fs), Complex (1, 0)) << fs;
	}
	designBand (band, 42, 1000.0, 6.0, 1.0, 2, 48000.0);
	EXPECT_EQ (processBandSample (band, 1, -0.5), -0.5);
	EXPECT_EQ (bandResponse (band, 1000, 48000), Complex (1, 0));
}

} // namespace
} // namespace QuenrilEQ
