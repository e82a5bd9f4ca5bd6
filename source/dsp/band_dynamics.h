// Band dynamics: a band-pass detector follows the level around the band's
// frequency, a dB-domain envelope smooths it, and once per control interval
// (one millisecond) the band's gain is pulled toward 0 dB by a compressor-style
// reduction and its sections are redesigned.
#pragma once

#include "band_design.h"
#include "eq_band.h"
#include "kernel_table.h"
#include "level_db.h"

#include <cmath>
#include <cstdint>

namespace QuenrilEQ {

/** True when the band's dynamics take part: switched on and a shape whose gain can move. */
inline bool dynamicsActive (const EqBand& band) noexcept
{
	return band.dynamicsEnabled && isGainShape (band.shape);
}

inline DetectorState loadDetector (const EqBand& band) noexcept
{
	return {band.detector.s1, band.detector.s2, band.envelope, band.controlCounter};
}

/** The detector settings the block path hands to the detector kernel. */
inline DetectorSettings detectorSettings (const EqBand& band) noexcept
{
	const BiquadSection& c = band.detector;
	return {c.b0, c.b1, c.b2, c.a1, c.a2, band.attackCoef, band.releaseCoef, band.controlInterval};
}

inline void storeDetector (EqBand& band, const DetectorState& d) noexcept
{
	band.detector.s1 = d.s1;
	band.detector.s2 = d.s2;
	band.envelope = d.envelope;
	band.controlCounter = d.counter;
}

/**
 * Detector band-pass for input x; returns |y| raised to the -120 dB floor (a NaN reads as the floor
 * rather than spreading into the envelope). [audio thread]
 */
inline double detectorMagnitude (const EqBand& band, DetectorState& d, double x) noexcept
{
	constexpr double kLevelFloor = 0.000001;  // -120 dB
	const BiquadSection& c = band.detector;
	const double y = c.b0 * x + d.s1;
	d.s1 = c.b1 * x - c.a1 * y + d.s2;
	d.s2 = c.b2 * x - c.a2 * y;
	const double magnitude = std::fabs (y);
	return magnitude > kLevelFloor ? magnitude : kLevelFloor;
}

/**
 * Envelope step toward levelDb (dB), attack when rising, release when falling. Returns true when a
 * control step is due (the caller then sets the dynamic gain and redesigns). [audio thread]
 */
inline bool envelopeStep (const EqBand& band, DetectorState& d, double levelDb) noexcept
{
	// Both candidates first, then the choice: keeps the comparison off the envelope's recurrence.
	const double gap = d.envelope - levelDb;
	const double attacked = levelDb + band.attackCoef * gap;
	const double released = levelDb + band.releaseCoef * gap;
	d.envelope = levelDb > d.envelope ? attacked : released;
	if (++d.counter < band.controlInterval)
		return false;
	d.counter = 0;
	return true;
}

/**
 * One whole detector step for input x: band-pass, level in dB, envelope. Returns true when a
 * control step is due. The SSE2 detector kernel performs the same operations, so the block path
 * agrees with this one bit for bit on that instruction set. [audio thread]
 */
inline bool detectorStep (const EqBand& band, DetectorState& d, double x) noexcept
{
	return envelopeStep (band, d, leveldb::levelDb (detectorMagnitude (band, d, x)));
}

/**
 * The gain in dB that a control step gives for envelopeDb: the static gain shrunk toward 0 dB by
 * the reduction above threshold, never crossing 0 dB. Pure. [any thread]
 */
double dynamicGainFor (const EqBand& band, double envelopeDb) noexcept;

/**
 * Sets the band's dynamic gain, redesigning its gain sections unless they already hold that gain's
 * design (most control steps below the threshold change nothing). [audio thread]
 */
inline void setDynamicGain (EqBand& band, double gainDb) noexcept
{
	band.dynamicGain = gainDb;
	if (gainDb != band.sectionsGain)  // a NaN always redesigns, which maps it to flat
		designGainSections (band, gainDb);
}

/**
 * One dynamics step with detector input x (linear sample value); at a control step sets
 * dynamicGain and redesigns the band's gain sections. Does nothing unless dynamicsActive.
 * [audio thread] No allocation.
 */
void updateDynamics (EqBand& band, double detectorInput) noexcept;

/**
 * Recomputes attackCoef and releaseCoef (per-sample smoothing factors from attack and release in ms)
 * and controlInterval (samples per millisecond, at least 1) from the band's sample rate.
 * [thread that designs the band]
 */
void updateTimeConstants (EqBand& band) noexcept;

/**
 * Clears all running state: section and first-order states of both filter sets, detector states,
 * envelope (-120 dB); dynamicGain becomes the static gain. Keeps coefficients, settings and the
 * control counter. [thread that owns the band]
 */
void resetBandState (EqBand& band) noexcept;

/**
 * If any running state of the band is NaN or infinite (left by a non-finite input), clears it
 * and redesigns the gain sections with the static gain, so the band does not stay silent or
 * NaN once finite audio returns. Returns true when it had to. Cheap: meant once per block.
 * [audio thread]
 */
bool recoverNonFiniteBand (EqBand& band) noexcept;

} // namespace QuenrilEQ
