// Runs bands' filters (their active sections or first-order path) over a
// buffer with the coefficients they hold now, through the kernels chosen for
// this CPU (kernel_table.h). The building blocks of the block paths; the
// bands' states are read once and written back once per call.
#pragma once

#include "eq_band.h"
#include "kernel_table.h"

namespace QuenrilEQ {

/** One channel, in place: samples[0, numSamples) through filter set filterSet (0 or 1). [audio thread] */
void runBandMono (EqBand& band, int filterSet, double* samples, int numSamples) noexcept;

/**
 * Both channels, in place: interleaved holds numFrames (left, right) pairs; left runs through
 * filter set 0, right through set 1. [audio thread]
 */
void runBandStereo (EqBand& band, double* interleaved, int numFrames) noexcept;

/**
 * Several bands in a row on interleaved stereo frames as one wavefront, so that short bands
 * overlap each other instead of each waiting out its own recurrence. A Stereo band adds its set 0
 * to the left chain and its set 1 to the right chain, a Left band only the former, a Right band
 * only the latter: bands on different channels commute, so each channel still sees its own
 * sections in band order. On frames held as (mid, side), Mid and Side bands join the same way.
 * None may use the first-order path. [audio thread]
 */
class StereoRun
{
public:
	/** Adds the band unless a chain would exceed `limit` sections; false then. */
	bool add (EqBand& band, int limit = kMaxCascadeSections) noexcept;
	bool empty () const noexcept { return leftCount == 0 && rightCount == 0; }
	void run (double* interleaved, int numFrames) const noexcept;
	SectionChain leftChain () const noexcept { return {left, leftCount}; }
	SectionChain rightChain () const noexcept { return {right, rightCount}; }

private:
	BiquadSection* left[kMaxCascadeSections];
	BiquadSection* right[kMaxCascadeSections];
	int leftCount = 0, rightCount = 0;
};

/** Several bands in a row on one channel, each through the same filter set, as one wavefront. */
class MonoRun
{
public:
	/** Adds the band's filter set (first-order bands cannot join); false when it does not fit. */
	bool add (EqBand& band, int filterSet) noexcept;
	bool empty () const noexcept { return count == 0; }
	void run (double* samples, int numSamples) const noexcept;

private:
	BiquadSection* sections[kMaxCascadeSections];
	int count = 0;
};

} // namespace QuenrilEQ
