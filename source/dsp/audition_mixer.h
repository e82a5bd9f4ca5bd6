// Band audition on the processor's output: crossfades from the normal output
// to the auditioned band's region (band_audition.h) and back, so starting,
// switching and ending never click. A request lasts only while it is renewed:
// an editor that vanished cannot leave the track soloed.
#pragma once

#include "band_audition.h"
#include "eq_band.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace QuenrilEQ {

class AuditionMixer
{
public:
	/** Length of a crossfade (raised cosine). */
	static constexpr double kFadeSeconds = 0.01;
	/** A request not renewed for this long ends by itself. */
	static constexpr double kRenewalSeconds = 1.0;

	/** Auditions a band (0-based), or ends with -1; the same band again renews
	    the request. Lock-free. [any thread] */
	void request (int band) noexcept
	{
		requested.store (band, std::memory_order_relaxed);
		serial.fetch_add (1, std::memory_order_release);
	}

	/** Applies the audition to a block of output in place (right may be null
	    for one channel); returns whether it changed anything. Costs nothing
	    while no audition runs or fades. sampleRate in Hz. [audio thread] */
	bool process (const BandBank& bank, float* left, float* right, int n, double sampleRate) noexcept;

	/** The band heard now, or -1. [audio thread] */
	int auditioned () const noexcept { return mix > 0.0 ? current : -1; }

private:
	std::atomic<int> requested {-1};
	std::atomic<std::uint32_t> serial {0};
	// [audio thread only]
	std::uint32_t seenSerial = 0;
	double sinceRenewal = 0;  // samples
	int current = -1;         // the band whose filter runs
	double mix = 0;           // 0 normal .. 1 auditioned, before shaping
	AuditionFilter design;
	std::array<std::array<BiquadSection, 2>, 2> state {};  // per channel
};

} // namespace QuenrilEQ
