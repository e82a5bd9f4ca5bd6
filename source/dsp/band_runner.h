// Runs one band's filters (its active sections or first-order path) over a
// buffer with the coefficients it holds now. The building blocks of the block
// paths; the band's states are read once and written back once per call.
#pragma once

#include "eq_band.h"

namespace QuenrilEQ {

/** One channel, in place: samples[0, numSamples) through filter set filterSet (0 or 1). [audio thread] */
void runBandMono (EqBand& band, int filterSet, double* samples, int numSamples) noexcept;

/**
 * Both channels, in place: interleaved holds numFrames (left, right) pairs and must be 16-byte
 * aligned; left runs through filter set 0, right through set 1. [audio thread]
 */
void runBandStereo (EqBand& band, double* interleaved, int numFrames) noexcept;

/** Most sections runStereoCascade takes in one call (keeps its register image on the stack small). */
constexpr int kMaxCascadeSections = 32;

/**
 * Several stereo bands in a row as one cascade, in place: their sections (none may use the
 * first-order path; at most kMaxCascadeSections in all) run as a single wavefront, so short bands
 * overlap each other instead of each waiting out its own recurrence. Same numbers as running
 * runBandStereo band after band. [audio thread]
 */
void runStereoCascade (EqBand* const* bands, int numBands, double* interleaved, int numFrames) noexcept;

} // namespace QuenrilEQ
