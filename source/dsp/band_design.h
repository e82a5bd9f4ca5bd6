// Turns a band's settings into the filters the natural mode runs: a cascade
// of cookbook sections (identical, or low/high shelf pairs for the tilt) or a
// one-pole path for 6 dB/oct cuts. Designing never clears filter states, so a
// band can be redesigned while audio runs through it without clicks from
// zeroed memory.
#pragma once

#include "cookbook.h"
#include "eq_band.h"

#include <cstdint>

namespace QuenrilEQ {

/** Stores a design divided by its a0 as the section's coefficients; the state stays. Pure. */
void storeNormalised (BiquadSection& section, const SectionCoefficients& c) noexcept;

/** Sections per channel for a slope index (clamped to 0..4): 6 and 12 dB/oct 1, 24 -> 2, 48 -> 4, 96 -> 8. Any thread. */
int baseSectionCount (std::int32_t slope) noexcept;

/**
 * Stores the settings and designs the band's sections (or first-order path), its
 * detector band-pass and its dynamics time constants.
 * shape: a BandShape (other values give an empty cascade that passes audio unchanged);
 * freqHz: clamped to [10, 0.45 sampleRateHz]; gainDb: static gain in dB; q: bounded below by 0.01;
 * slope: index 0..4 (6 to 96 dB/oct), clamped; sampleRateHz: design rate in Hz (a rate that is
 * not a positive finite number also gives an empty cascade).
 * [audio thread or any thread that owns the band] No allocation.
 */
void designBand (EqBand& band, std::int32_t shape, double freqHz, double gainDb, double q, std::int32_t slope,
                 double sampleRateHz) noexcept;

/**
 * Redesigns the gain-bearing shapes (Bell, Low Shelf, High Shelf, Tilt Shelf) for gainDb, the total
 * gain of the cascade in dB, split evenly over its sections; keeps freq, q, rate and section count.
 * Other shapes are left as they are. Called by designBand and by the dynamics at every control step.
 * [audio thread] One exp per distinct section design, and one sin/cos when freq, q or the rate changed
 * since the last call (the angle is kept in the band); no allocation.
 */
void designGainSections (EqBand& band, double gainDb) noexcept;

/**
 * The designs designGainSections gives the band's sections for each of count gains, kinds per
 * gain at out[k * kinds]: 1 (every section alike), or 2 for the tilt shelf (its low shelf for the
 * even sections, then its high shelf for the odd ones). Returns kinds: 0 for a band whose sections
 * no gain moves, which writes nothing. Keeps the band's angle up to date, as designGainSections.
 * vectorised: made by the kernels in use where they have a vector form, equal to rounding.
 * [audio thread] No allocation.
 */
int designGainSteps (EqBand& band, const double* gainsDb, int count, SectionDesign* out,
                     bool vectorised = false) noexcept;

/** Gives the band's sections one gain's designs from designGainSteps, as designGainSections does for gainDb. */
void applyGainDesigns (EqBand& band, const SectionDesign* designs, int kinds, double gainDb) noexcept;

/**
 * Runs one sample through the band's active sections (or first-order path) of filter set 0
 * (left, mid, mono) or 1 (right, side). Ignores the enabled flag. [audio thread]
 */
double processBandSample (EqBand& band, int filterSet, double x) noexcept;

/** True for the shapes whose gain the dynamics can move. */
constexpr bool isGainShape (std::int32_t shape) noexcept
{
	return shape == kBell || shape == kLowShelf || shape == kHighShelf || shape == kTiltShelf;
}

} // namespace QuenrilEQ
