// Auditioning (soloing) a band: the output narrowed to the band's own region
// of the spectrum, so the user hears what the band acts on.
//  - Bell, Notch, Band Pass, All-pass and Tilt Shelf: a band-pass around the
//    band's frequency (its pivot, for the tilt) with the band's Q;
//  - Low Shelf and Low Cut: a low-pass at the band's frequency (the region the
//    shelf lifts or lowers, the region the cut removes);
//  - High Shelf and High Cut: a high-pass at the band's frequency.
// Each is two identical second-order sections (fourth order, 0 dB in the
// pass region), steep enough that three octaves away lies 40 dB or more down.
#pragma once

#include "biquad_step.h"
#include "eq_band.h"

#include <array>

namespace QuenrilEQ {

struct AuditionFilter
{
	std::array<BiquadSection, 2> sections {};
};

/** The audition filter of a designed band (its clamped frequency and Q, at
    the band's design rate), with zero state. Pure. */
AuditionFilter designAudition (const EqBand& band) noexcept;

/** One sample through the filter's sections, in place on their state. [audio thread] */
inline double runAudition (std::array<BiquadSection, 2>& sections, const AuditionFilter& design, double x) noexcept
{
	for (std::size_t i = 0; i < sections.size (); ++i)
		x = biquadStep (design.sections[i], sections[i], x);
	return x;
}

} // namespace QuenrilEQ
