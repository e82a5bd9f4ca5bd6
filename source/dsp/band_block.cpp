// The fast form of processStereoSample. Bands are linear and time-invariant
// between dynamics control steps, so instead of taking each sample through
// all 24 bands the block path takes the whole chunk through one band at a
// time, and splits a band with dynamics at its control steps, where it is
// redesigned (a redesign made at a sample applies from that sample on, as in
// the reference). The chunk is held interleaved, left and right side by side;
// neighbouring static bands on Stereo, Left and Right (and, on the FMA kernels,
// on Mid and Side) run as one wavefront cascade (band_runner.h), so that bands
// of one or two sections still keep several recurrences in flight.
#include "band_chain.h"

#include "band_design.h"
#include "band_dynamics.h"
#include "band_runner.h"

#include <algorithm>

namespace QuenrilEQ {

namespace {
constexpr int kChunkFrames = 256;  // about 12 KiB of stack in all; results do not depend on it

struct ChunkBuffers
{
	alignas (64) double frames[2 * kChunkFrames];  // left, right interleaved
	alignas (64) double mono[kChunkFrames];        // one channel, or mid
	alignas (64) double side[kChunkFrames];
	alignas (64) double sidechain[kChunkFrames];   // scLeft + scRight
	alignas (64) double detector[kChunkFrames];    // detector input
	double envelopeAt[kChunkFrames];               // envelope at each control step
	int stepAt[kChunkFrames];                      // frame of each control step
};

/** Filters frames [begin, end) of the chunk through the band on its channel target. */
void filterRange (EqBand& band, ChunkBuffers& buf, int begin, int end) noexcept
{
	const int n = end - begin;
	if (n <= 0)
		return;
	double* frames = buf.frames + 2 * begin;
	switch (band.channel)
	{
		case kStereo: runBandStereo (band, frames, n); break;
		case kLeft:
		case kRight:
		{
			const int channel = band.channel == kLeft ? 0 : 1;
			for (int i = 0; i < n; ++i)
				buf.mono[i] = frames[2 * i + channel];
			runBandMono (band, channel, buf.mono, n);
			for (int i = 0; i < n; ++i)
				frames[2 * i + channel] = buf.mono[i];
			break;
		}
		case kMid:
		case kSide:
		{
			for (int i = 0; i < n; ++i)
			{
				const double l = frames[2 * i];
				const double r = frames[2 * i + 1];
				buf.mono[i] = (l + r) * 0.5;
				buf.side[i] = (l - r) * 0.5;
			}
			if (band.channel == kMid)
				runBandMono (band, 0, buf.mono, n);
			else
				runBandMono (band, 1, buf.side, n);
			for (int i = 0; i < n; ++i)
			{
				frames[2 * i] = buf.mono[i] + buf.side[i];
				frames[2 * i + 1] = buf.mono[i] - buf.side[i];
			}
			break;
		}
		default: break;
	}
}

/** detectorInputFor over the chunk, with the target's choice made once. */
void detectorInputs (const EqBand& band, const ChunkBuffers& buf, double* out, int n) noexcept
{
	const double* f = buf.frames;
	const double* sc = buf.sidechain;
	if (band.sidechainSource == 1)
	{
		for (int i = 0; i < n; ++i)
			out[i] = sc[i] * 0.5;  // every target halves the side-chain sum
		return;
	}
	switch (band.channel)
	{
		case kLeft: for (int i = 0; i < n; ++i) out[i] = f[2 * i]; break;
		case kRight: for (int i = 0; i < n; ++i) out[i] = f[2 * i + 1]; break;
		case kSide: for (int i = 0; i < n; ++i) out[i] = (f[2 * i] - f[2 * i + 1]) * 0.5; break;
		default: for (int i = 0; i < n; ++i) out[i] = (f[2 * i] + f[2 * i + 1]) * 0.5; break;
	}
}

/** What the switching kernel needs to redesign a dynamic band at its k-th control step. */
struct ControlSteps
{
	EqBand* band;
	const double* envelopeAt;
};

void redesignAtStep (void* context, int k) noexcept
{
	const ControlSteps& steps = *static_cast<const ControlSteps*> (context);
	EqBand& band = *steps.band;
	band.dynamicGain = dynamicGainFor (band, steps.envelopeAt[k]);
	designGainSections (band, band.dynamicGain);
}

/** Filters the chunk in pieces between control steps, redesigning at each: the plain way. */
void filterInPieces (EqBand& band, ChunkBuffers& buf, int begin, int end, const int* stepAt, const double* envelopeAt,
                     int steps) noexcept
{
	int pieceStart = begin;
	for (int k = 0; k < steps; ++k)
	{
		// The new gain applies from this frame on: finish the piece with the old sections first.
		filterRange (band, buf, pieceStart, stepAt[k]);
		band.dynamicGain = dynamicGainFor (band, envelopeAt[k]);
		designGainSections (band, band.dynamicGain);
		pieceStart = stepAt[k];
	}
	filterRange (band, buf, pieceStart, end);
}

/** Where a run of bands works: on left and right, or on mid and side. */
enum class RunDomain
{
	kLeftRight,
	kMidSide,
};

/** A static band that can share one wavefront cascade with its neighbours in the domain. */
bool joinsRun (const EqBand& band, RunDomain domain) noexcept
{
	if (band.firstOrder || dynamicsActive (band))
		return false;
	if (domain == RunDomain::kMidSide)
		return band.channel == kMid || band.channel == kSide;
	return band.channel == kStereo || band.channel == kLeft || band.channel == kRight;
}

void toMidSide (double* f, int numFrames) noexcept
{
	for (int i = 0; i < numFrames; ++i)
	{
		const double l = f[2 * i], r = f[2 * i + 1];
		f[2 * i] = (l + r) * 0.5;
		f[2 * i + 1] = (l - r) * 0.5;
	}
}

void fromMidSide (double* f, int numFrames) noexcept
{
	for (int i = 0; i < numFrames; ++i)
	{
		const double m = f[2 * i], s = f[2 * i + 1];
		f[2 * i] = m + s;
		f[2 * i + 1] = m - s;
	}
}

/**
 * Filters the chunk through the dynamic band bank.bands[b] with the switching kernel, which
 * changes the band's design inside one wavefront instead of stopping it at every control step.
 * The static Stereo, Left and Right bands that follow a Stereo, Left or Right band ride in the
 * same wavefront while they fit (their designs do not change, so every step gathers the same
 * coefficients for them), when its control steps are far enough apart for the kernel. Mid and Side work on the chunk converted to mid and side in place
 * (the reference's own conversion, so it rounds alike). Returns the index to continue from.
 */
int filterSwitching (BandBank& bank, int b, ChunkBuffers& buf, int numFrames, int steps) noexcept
{
	EqBand& band = bank.bands[static_cast<std::size_t> (b)];
	bool midSide = band.channel == kMid || band.channel == kSide;
	double* f = buf.frames;
	StereoRun run;
	run.add (band, kMaxSections);
	// Followers only where the kernel surely takes the steps, so the plain way below never has any.
	const bool takeFollowers = !midSide && band.controlInterval >= kSwitchingStepSpacing;
	EqBand* followers[kNumBands];
	int count = 0, next = b + 1;
	for (; takeFollowers && next < kNumBands; ++next)
	{
		EqBand& follower = bank.bands[static_cast<std::size_t> (next)];
		if (!follower.enabled || !isKnownChannel (follower.channel))
			continue;
		if (!joinsRun (follower, RunDomain::kLeftRight) || !run.add (follower, kMaxSections))
			break;
		followers[count++] = &follower;
	}
	if (midSide)
		toMidSide (f, numFrames);
	const SectionChain chains[2] = {run.leftChain (), run.rightChain ()};
	const bool stereo = chains[0].count > 0 && chains[1].count > 0;
	const int lane = chains[0].count > 0 ? 0 : 1;

	// At most eight steps per kernel call: the kernel gathers every design of a call up front.
	constexpr int kStepsPerCall = 8;
	for (int k = 0, begin = 0; begin < numFrames;)
	{
		const int calls = std::min (kStepsPerCall, steps - k);
		const int end = k + calls < steps ? buf.stepAt[k + calls] : numFrames;
		int at[kStepsPerCall];
		for (int i = 0; i < calls; ++i)
			at[i] = buf.stepAt[k + i] - begin;
		ControlSteps context {&band, buf.envelopeAt + k};
		double* data = stereo ? f + 2 * begin : f + 2 * begin + lane;
		if (!activeKernels ().switchingCascade (stereo ? chains : chains + lane, stereo ? 2 : 1, data, end - begin, 2, at,
		                                        calls, &redesignAtStep, &context))
		{
			// Steps too close together: the plain way, band by band, from here on.
			if (midSide)
				fromMidSide (f, numFrames);
			filterInPieces (band, buf, begin, numFrames, buf.stepAt + k, buf.envelopeAt + k, steps - k);
			midSide = false;
			break;
		}
		k += calls;
		begin = end;
	}
	if (midSide)
		fromMidSide (f, numFrames);
	for (int i = 0; i < count; ++i)
		recoverNonFiniteBand (*followers[i]);
	return next;
}

/**
 * Runs the dynamic band bank.bands[b]'s detector over the chunk (one kernel pass: band-pass,
 * levels, envelope), then filters the chunk, its design changing at each control step; returns
 * the index to continue from.
 */
int processDynamicBand (BandBank& bank, int b, ChunkBuffers& buf, int numFrames) noexcept
{
	EqBand& band = bank.bands[static_cast<std::size_t> (b)];
	detectorInputs (band, buf, buf.detector, numFrames);
	DetectorState d = loadDetector (band);
	const int steps = activeKernels ().detectorPass (detectorSettings (band), d, buf.detector, numFrames,
	                                                 buf.stepAt, buf.envelopeAt);
	storeDetector (band, d);
	return filterSwitching (bank, b, buf, numFrames, steps);
}

/**
 * Runs the static bands of the domain from index first on (skipping disabled ones), as many
 * cascades as their sections need, up to the first band that cannot join; returns the index to
 * continue from. A mid/side stretch converts the chunk once, where the per-sample chain converts
 * around every band: the same mathematics, rounded differently, so only the FMA kernels (which
 * agree with the reference to rounding anyway) take it.
 */
int runBands (BandBank& bank, int first, ChunkBuffers& buf, int numFrames, RunDomain domain) noexcept
{
	double* f = buf.frames;
	if (domain == RunDomain::kMidSide)
		toMidSide (f, numFrames);
	int b = first;
	bool more = true;
	while (more)
	{
		EqBand* members[kNumBands];
		StereoRun run;
		int count = 0;
		more = false;
		for (; b < kNumBands; ++b)
		{
			EqBand& band = bank.bands[static_cast<std::size_t> (b)];
			if (!band.enabled || !isKnownChannel (band.channel))
				continue;
			if (!joinsRun (band, domain))
				break;
			if (!run.add (band))
			{
				more = true;  // full: this band opens the next cascade
				break;
			}
			members[count++] = &band;
		}
		run.run (f, numFrames);
		for (int i = 0; i < count; ++i)
			recoverNonFiniteBand (*members[i]);
	}
	if (domain == RunDomain::kMidSide)
		fromMidSide (f, numFrames);
	return b;
}
} // namespace

void processStereoBlock (BandBank& bank, double* left, double* right, const double* scLeft,
                         const double* scRight, int numSamples) noexcept
{
	if (left == nullptr || right == nullptr || numSamples <= 0)
		return;
	ChunkBuffers buf;
	const bool midSideRuns = activeKernels ().set != InstructionSet::kSse2;
	for (int offset = 0; offset < numSamples; offset += kChunkFrames)
	{
		const int n = std::min (kChunkFrames, numSamples - offset);
		for (int i = 0; i < n; ++i)
		{
			buf.frames[2 * i] = left[offset + i];
			buf.frames[2 * i + 1] = right[offset + i];
			buf.sidechain[i] = (scLeft != nullptr ? scLeft[offset + i] : 0.0)
			                   + (scRight != nullptr ? scRight[offset + i] : 0.0);
		}
		for (int b = 0; b < kNumBands;)
		{
			EqBand& band = bank.bands[static_cast<std::size_t> (b)];
			if (!band.enabled || !isKnownChannel (band.channel))
			{
				++b;
				continue;
			}
			if (joinsRun (band, RunDomain::kLeftRight))
			{
				b = runBands (bank, b, buf, n, RunDomain::kLeftRight);
				continue;
			}
			if (midSideRuns && joinsRun (band, RunDomain::kMidSide))
			{
				b = runBands (bank, b, buf, n, RunDomain::kMidSide);
				continue;
			}
			if (dynamicsActive (band))
			{
				const int next = processDynamicBand (bank, b, buf, n);
				recoverNonFiniteBand (band);
				b = next;
				continue;
			}
			filterRange (band, buf, 0, n);
			recoverNonFiniteBand (band);
			++b;
		}
		for (int i = 0; i < n; ++i)
		{
			left[offset + i] = buf.frames[2 * i];
			right[offset + i] = buf.frames[2 * i + 1];
		}
	}
}

} // namespace QuenrilEQ
