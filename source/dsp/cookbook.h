// Second-order section designs of the Audio EQ Cookbook, as pure functions.
// Shared by the band designs that run the audio and by the response
// evaluation that draws and linearises them, so both see the same numbers.
// Any thread; no state, no allocation.
#pragma once

#include <cmath>

namespace QuenrilEQ {

/** One second-order design, not yet divided by a0: H(z) = (b0 + b1 z^-1 + b2 z^-2) / (a0 + a1 z^-1 + a2 z^-2). */
struct SectionCoefficients
{
	double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
};

/** The quantities every second-order form starts from. */
struct CookbookAngle
{
	double cs = 1;     // cos w, w = 2 pi f / fs
	double alpha = 0;  // sin w * 0.5 / q
};

/** freqHz and sampleRateHz in Hz, q > 0 (the caller bounds it). */
inline CookbookAngle cookbookAngle (double freqHz, double q, double sampleRateHz) noexcept
{
	constexpr double kTwoPi = 6.283185307179586476925286766559;
	const double w = kTwoPi * freqHz / sampleRateHz;
	// sin and cos of the same angle: the compiler folds them into one sincos.
	const double sn = std::sin (w);
	CookbookAngle angle;
	angle.cs = std::cos (w);
	angle.alpha = sn * (0.5 / q);
	return angle;
}

/** ln A per dB of the gain-bearing forms' amplitude A = 10^(dB / 40): ln 10 / 40. */
constexpr double kAmplitudeExponentPerDb = 2.302585092994045684017991454684364 / 40;

/** Amplitude A = 10^(dB / 40) of the gain-bearing forms. */
inline double cookbookAmplitude (double gainDb) noexcept
{
	// As e^(dB ln 10 / 40): exp costs about half of pow, and dynamic bands take it at every control step.
	return std::exp (gainDb * kAmplitudeExponentPerDb);
}

/** Peaking (bell) section at a precomputed angle (cookbookAngle), gainDb at its centre. */
inline SectionCoefficients designPeaking (const CookbookAngle& an, double gainDb) noexcept
{
	const double a = cookbookAmplitude (gainDb);
	return {1 + an.alpha * a, -2 * an.cs, 1 - an.alpha * a, 1 + an.alpha / a, -2 * an.cs, 1 - an.alpha / a};
}

/** Peaking (bell) section: gainDb at freqHz, bandwidth set by q. */
inline SectionCoefficients designPeaking (double freqHz, double q, double gainDb, double sampleRateHz) noexcept
{
	return designPeaking (cookbookAngle (freqHz, q, sampleRateHz), gainDb);
}

/** Low shelf at a precomputed angle: gainDb below the corner, 0 dB above. */
inline SectionCoefficients designLowShelf (const CookbookAngle& an, double gainDb) noexcept
{
	const double a = cookbookAmplitude (gainDb);
	const double beta = 2 * std::sqrt (a) * an.alpha;
	const double cs = an.cs;
	return {a * ((a + 1) - (a - 1) * cs + beta),
	        2 * a * ((a - 1) - (a + 1) * cs),
	        a * ((a + 1) - (a - 1) * cs - beta),
	        (a + 1) + (a - 1) * cs + beta,
	        -2 * ((a - 1) + (a + 1) * cs),
	        (a + 1) + (a - 1) * cs - beta};
}

/** Low shelf: gainDb below freqHz, 0 dB above; q shapes the knee. */
inline SectionCoefficients designLowShelf (double freqHz, double q, double gainDb, double sampleRateHz) noexcept
{
	return designLowShelf (cookbookAngle (freqHz, q, sampleRateHz), gainDb);
}

/** High shelf at a precomputed angle: gainDb above the corner, 0 dB below. */
inline SectionCoefficients designHighShelf (const CookbookAngle& an, double gainDb) noexcept
{
	const double a = cookbookAmplitude (gainDb);
	const double beta = 2 * std::sqrt (a) * an.alpha;
	const double cs = an.cs;
	return {a * ((a + 1) + (a - 1) * cs + beta),
	        -2 * a * ((a - 1) + (a + 1) * cs),
	        a * ((a + 1) + (a - 1) * cs - beta),
	        (a + 1) - (a - 1) * cs + beta,
	        2 * ((a - 1) - (a + 1) * cs),
	        (a + 1) - (a - 1) * cs - beta};
}

/** High shelf: gainDb above freqHz, 0 dB below; q shapes the knee. */
inline SectionCoefficients designHighShelf (double freqHz, double q, double gainDb, double sampleRateHz) noexcept
{
	return designHighShelf (cookbookAngle (freqHz, q, sampleRateHz), gainDb);
}

/** Second-order high-pass at freqHz (q = 0.707: Butterworth, -3 dB at freqHz). */
inline SectionCoefficients designHighPass (double freqHz, double q, double sampleRateHz) noexcept
{
	const CookbookAngle an = cookbookAngle (freqHz, q, sampleRateHz);
	return {(1 + an.cs) / 2, -(1 + an.cs), (1 + an.cs) / 2, 1 + an.alpha, -2 * an.cs, 1 - an.alpha};
}

/** Second-order low-pass at freqHz. */
inline SectionCoefficients designLowPass (double freqHz, double q, double sampleRateHz) noexcept
{
	const CookbookAngle an = cookbookAngle (freqHz, q, sampleRateHz);
	return {(1 - an.cs) / 2, 1 - an.cs, (1 - an.cs) / 2, 1 + an.alpha, -2 * an.cs, 1 - an.alpha};
}

/** Notch: zero gain at freqHz, width set by q. */
inline SectionCoefficients designNotch (double freqHz, double q, double sampleRateHz) noexcept
{
	const CookbookAngle an = cookbookAngle (freqHz, q, sampleRateHz);
	return {1, -2 * an.cs, 1, 1 + an.alpha, -2 * an.cs, 1 - an.alpha};
}

/** Band-pass with 0 dB peak gain at freqHz. */
inline SectionCoefficients designBandPass (double freqHz, double q, double sampleRateHz) noexcept
{
	const CookbookAngle an = cookbookAngle (freqHz, q, sampleRateHz);
	return {an.alpha, 0, -an.alpha, 1 + an.alpha, -2 * an.cs, 1 - an.alpha};
}

/** All-pass: unity magnitude, phase turns through -180 degrees at freqHz. */
inline SectionCoefficients designAllpass (double freqHz, double q, double sampleRateHz) noexcept
{
	const CookbookAngle an = cookbookAngle (freqHz, q, sampleRateHz);
	return {1 - an.alpha, -2 * an.cs, 1 + an.alpha, 1 + an.alpha, -2 * an.cs, 1 - an.alpha};
}

} // namespace QuenrilEQ
