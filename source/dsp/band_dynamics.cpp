#include "band_dynamics.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

double dynamicGainFor (const EqBand& band, double envelopeDb) noexcept
{
	const double over = std::max (envelopeDb - band.threshold, 0.0);
	// A ratio below 1 (or NaN) would expand; the control law is defined from 1:1 up.
	const double ratio = band.ratio >= 1.0 ? band.ratio : 1.0;
	const double reduction = over - over / ratio;
	const double g = band.gain;
	return g >= 0 ? std::max (g - reduction, 0.0) : std::min (g + reduction, 0.0);
}

void updateDynamics (EqBand& band, double detectorInput) noexcept
{
	if (!dynamicsActive (band))
		return;
	DetectorState d = loadDetector (band);
	const bool controlStep = detectorStep (band, d, detectorInput);
	storeDetector (band, d);
	if (!controlStep)
		return;
	setDynamicGain (band, dynamicGainFor (band, band.envelope));
}

void updateTimeConstants (EqBand& band) noexcept
{
	const double fs = band.sampleRate;
	if (!(fs > 0) || !std::isfinite (fs))
		return;  // keep the last usable constants
	band.attackCoef = std::exp (-1.0 / (band.attack * 0.001 * fs));
	band.releaseCoef = std::exp (-1.0 / (band.release * 0.001 * fs));
	// std::round rounds halves away from zero; cap far above any real rate so the cast stays defined.
	const double perMs = std::min (std::round (fs * 0.001), 1.0e6);
	band.controlInterval = std::max<std::int32_t> (static_cast<std::int32_t> (perMs), 1);
}

void resetBandState (EqBand& band) noexcept
{
	for (auto& set : band.sections)
	{
		for (auto& s : set)
		{
			s.s1 = 0;
			s.s2 = 0;
		}
	}
	for (auto& path : band.firstOrderPath)
		path.state = 0;
	band.detector.s1 = 0;
	band.detector.s2 = 0;
	band.envelope = -120.0;
	band.dynamicGain = band.gain;
}

bool recoverNonFiniteBand (EqBand& band) noexcept
{
	// Running sums: NaN or infinity anywhere makes them non-finite (inf - inf gives NaN). Four of
	// them, so that the additions overlap instead of each waiting for the one before.
	double sums[4] = {band.detector.s1 + band.detector.s2, band.envelope + band.dynamicGain,
	                  band.firstOrderPath[0].state, band.firstOrderPath[1].state};
	// Only the active sections run: the others keep the finite states they had when they last ran
	// (every band that runs is recovered after it), so they need no look.
	static_assert (kMaxSections % 2 == 0, "the sections are summed in pairs");
	const std::size_t active = static_cast<std::size_t> (std::clamp<std::int32_t> (band.numSections, 0, kMaxSections));
	for (const auto& set : band.sections)
	{
		for (std::size_t i = 0; i < active; i += 2)
		{
			sums[0] += set[i].s1;
			sums[1] += set[i].s2;
			sums[2] += set[i + 1].s1;
			sums[3] += set[i + 1].s2;
		}
	}
	if (std::isfinite ((sums[0] + sums[1]) + (sums[2] + sums[3])))
		return false;
	resetBandState (band);
	designGainSections (band, band.dynamicGain);
	return true;
}

} // namespace QuenrilEQ
