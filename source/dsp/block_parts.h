// The chunk the natural-mode block path works on, and the pieces of it that
// the static runs (band_block.cpp) and the dynamic bands (dynamic_block.cpp)
// share. Internal to those two files.
#pragma once

#include "band_chain.h"
#include "eq_band.h"

#include <cstdint>

namespace QuenrilEQ::block {

constexpr int kChunkFrames = kBlockChunkFrames;  // about 26 KiB of stack in all; results do not depend on it

struct ChunkBuffers
{
	alignas (64) double frames[2 * kChunkFrames];  // left, right interleaved
	alignas (64) double mono[kChunkFrames];        // one channel, or mid
	alignas (64) double side[kChunkFrames];
	const double* scLeft = nullptr;                // the chunk's side-chain (null: silence); only
	const double* scRight = nullptr;               // bands detecting it read it
	alignas (64) double detector[kChunkFrames];    // detector input
	double envelopeAt[kChunkFrames];               // envelope at each control step
	int stepAt[kChunkFrames];                      // frame of each control step
};

/** Filters frames [begin, end) of the chunk through the band on its channel target. */
void filterRange (EqBand& band, ChunkBuffers& buf, int begin, int end) noexcept;

/** Where a run of bands works: on left and right, or on mid and side. */
enum class RunDomain
{
	kLeftRight,
	kMidSide,
};

/** A static band that can share one wavefront cascade with its neighbours in the domain. */
bool joinsRun (const EqBand& band, RunDomain domain) noexcept;

/** Frames (left, right) to (mid, side) in place, as the per-sample chain forms them, and back. */
void toMidSide (double* frames, int numFrames) noexcept;
void fromMidSide (double* frames, int numFrames) noexcept;

/**
 * Runs the dynamic band bank.bands[b] over the chunk (detector, then its filters with the design
 * changing at each control step), with the static bands after it that can share its wavefront;
 * returns the index to continue from. [audio thread] No allocation.
 */
int processDynamicBand (BandBank& bank, int b, ChunkBuffers& buf, int numFrames) noexcept;

} // namespace QuenrilEQ::block
