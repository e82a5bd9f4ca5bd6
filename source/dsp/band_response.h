// Frequency response of the bands as the natural mode builds them: the same
// cookbook sections, evaluated on the unit circle. Draws the editor's curves
// and is the target of the linear-phase kernel, so both match what the
// biquad cascades do. Reads a band's static settings only (enabled, shape,
// freq, gain, q, slope); the dynamics' momentary gain never enters.
//
// Pure functions: no state, no allocation, no locks; any thread may call.
#pragma once

#include "cookbook.h"
#include "eq_band.h"

#include <array>
#include <complex>
#include <cstdint>

namespace QuenrilEQ {

/** Response of one section at freqHz for sampleRateHz (both Hz): (b0 + b1 z^-1 + b2 z^-2) / (a0 + a1 z^-1 + a2 z^-2). */
std::complex<double> sectionResponse (const SectionCoefficients& c, double freqHz, double sampleRateHz) noexcept;

/**
 * Complex response of one band at freqHz, with its filter designed and evaluated at sampleRateHz
 * (the record's own sampleRate is not read). A disabled band, a shape outside 0..8 or a sample rate
 * that is not a positive finite number gives exactly 1.
 */
std::complex<double> bandResponse (const EqBand& band, double freqHz, double sampleRateHz) noexcept;

/** Product of bandResponse over the 24 bands, in band order, starting from 1. */
std::complex<double> combinedResponse (const std::array<EqBand, kNumBands>& bands, double freqHz,
                                       double sampleRateHz) noexcept;

/** What one band evaluates to, designed once and evaluated at many frequencies. */
struct BandSectionDesign
{
	enum class Kind : std::int32_t
	{
		Identity,            // disabled or unknown shape: exactly 1
		Section,             // one section raised to `power`
		SectionPair,         // first * second (tilt: low shelf * high shelf) raised to `power`
		FirstOrderLowPass,   // 6 dB/oct High Cut: g (1 + z^-1) / (1 - (1 - 2g) z^-1)
		FirstOrderHighPass,  // 6 dB/oct Low Cut: exactly 1 minus the low-pass
	};
	Kind kind = Kind::Identity;
	int power = 1;  // identical sections in the cascade: 1, 2, 4 or 8
	SectionCoefficients first;
	SectionCoefficients second;
	double g = 0;  // one-pole coefficient tan(pi f0 / fs) / (1 + tan(pi f0 / fs))
};

/** Designs a band's sections once, at sampleRateHz (Hz). Same validity rules as bandResponse. */
BandSectionDesign designBandSections (const EqBand& band, double sampleRateHz) noexcept;

/** Complex response of a prepared design at freqHz for sampleRateHz (Hz). */
std::complex<double> evaluateBandSections (const BandSectionDesign& design, double freqHz,
                                           double sampleRateHz) noexcept;

/**
 * Squared magnitude of the 24 bands' combined response at bins angles w_k (radians per sample),
 * given as cosW[k] = cos w_k and sinW[k] = sin w_k, k = 0 .. bins-1; written to squaredMagnitude[k].
 * Equals |combinedResponse|^2 up to rounding, and rounds less than it near DC and Nyquist, where
 * the complex sums cancel. Each band is designed once, the unit delay of a bin is shared by all
 * bands and only magnitudes are formed, so a 16384-point kernel design stays well inside its
 * audio-thread budget. [any thread] No allocation. Arrays must not overlap.
 */
void combinedSquaredMagnitudes (const std::array<EqBand, kNumBands>& bands, double sampleRateHz,
                                const double* cosW, const double* sinW, int bins,
                                double* squaredMagnitude) noexcept;

} // namespace QuenrilEQ
