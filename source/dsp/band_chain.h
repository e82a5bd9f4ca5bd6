// The natural-mode chain: the 24 bands in order, each on its channel target
// (stereo, left, right, mid or side), with its dynamics stepped before it
// filters. One reference that works sample by sample and block paths that
// produce the same numbers faster.
#pragma once

#include "eq_band.h"

#include <cstdint>

namespace QuenrilEQ {

/**
 * The detector input of a band for one stereo sample: linear value from the band's own input
 * (left, right: the signal as the previous band left it) or from the side-chain sum
 * sidechainSum = scLeft + scRight when external. Stereo, Mid and Side use halved sums; Left and
 * Right the channel itself. Pure. [any thread]
 */
inline double detectorInputFor (std::int32_t channel, bool external, double left, double right,
                                double sidechainSum) noexcept
{
	switch (channel)
	{
		case kLeft: return external ? sidechainSum * 0.5 : left;
		case kRight: return external ? sidechainSum * 0.5 : right;
		case kSide: return (external ? sidechainSum : left - right) * 0.5;
		default: return (external ? sidechainSum : left + right) * 0.5;  // Stereo, Mid
	}
}

/** True for the channel targets the chain knows; a band with any other target is skipped. */
constexpr bool isKnownChannel (std::int32_t channel) noexcept
{
	return channel >= kStereo && channel <= kSide;
}

/**
 * The reference chain for one stereo sample: every enabled band in order, dynamics step first,
 * then the band filters its target. left, right: in and out; scLeft, scRight: side-chain samples
 * (0 without a side-chain). Does no non-finite recovery; see recoverNonFiniteBand.
 * [audio thread] No allocation.
 */
void processStereoSample (BandBank& bank, double& left, double& right, double scLeft, double scRight) noexcept;

/**
 * Frames the block paths work through at a time; a caller that cuts its blocks itself does best
 * with this size (every chunk costs the cascades one wavefront ramp-up and -down).
 */
constexpr int kBlockChunkFrames = 512;

/**
 * The block form of processStereoSample: left, right in place, numSamples samples; scLeft and
 * scRight may each be null (silence). Results equal the per-sample reference bit for bit.
 * Runs band by band over the block (splitting at dynamics control steps) and, once per band
 * and block, clears a band whose state has become NaN or infinite.
 * [audio thread] No allocation (about 26 KiB of stack).
 */
void processStereoBlock (BandBank& bank, double* left, double* right, const double* scLeft,
                         const double* scRight, int numSamples) noexcept;

/**
 * One channel in place: every enabled band on filter set 0, without channel routing or dynamics.
 * Clears a band whose state has become non-finite, once per block. [audio thread] No allocation.
 */
void processMonoBlock (BandBank& bank, double* samples, int numSamples) noexcept;

} // namespace QuenrilEQ
