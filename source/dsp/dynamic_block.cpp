// A band with dynamics in the block path: its detector runs over the chunk in
// one kernel pass, then the band filters the chunk with its design changing at
// every control step, where it is redesigned (a redesign made at a sample
// applies from that sample on, as in the reference).
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"
#include "band_runner.h"
#include "block_parts.h"

#include <algorithm>

namespace QuenrilEQ::block {

namespace {

/** detectorInputFor over the chunk, with the target's choice made once. */
void detectorInputs (const EqBand& band, const ChunkBuffers& buf, double* out, int n) noexcept
{
	const double* f = buf.frames;
	if (band.sidechainSource == 1)
	{
		// Every target halves the side-chain sum; a missing channel counts as silence, as in the reference.
		const double* l = buf.scLeft;
		const double* r = buf.scRight;
		for (int i = 0; i < n; ++i)
			out[i] = ((l != nullptr ? l[i] : 0.0) + (r != nullptr ? r[i] : 0.0)) * 0.5;
		return;
	}
	switch (band.channel)
	{
		case kLeft: for (int i = 0; i < n; ++i) out[i] = f[2 * i]; break;
		case kRight: for (int i = 0; i < n; ++i) out[i] = f[2 * i + 1]; break;
		default: activeKernels ().halfSumOrDifference (f, out, n, band.channel == kSide); break;  // Stereo, Mid, Side
	}
}

/** Filters the chunk in pieces between control steps, redesigning at each: the plain way. */
void filterInPieces (EqBand& band, ChunkBuffers& buf, int begin, int end, const int* stepAt, const double* gainAt,
                     int steps) noexcept
{
	int pieceStart = begin;
	for (int k = 0; k < steps; ++k)
	{
		// The new gain applies from this frame on: finish the piece with the old sections first.
		filterRange (band, buf, pieceStart, stepAt[k]);
		setDynamicGain (band, gainAt[k]);
		pieceStart = stepAt[k];
	}
	filterRange (band, buf, pieceStart, end);
}

/**
 * Filters the chunk through the dynamic band bank.bands[b] with the switching kernel, which
 * changes the band's design inside one wavefront instead of stopping it at every control step.
 * The static Stereo, Left and Right bands that follow a Stereo, Left or Right band ride in the
 * same wavefront while they fit, when its control steps are far enough apart for the kernel
 * (their designs do not change, so every step gathers the same coefficients for them). Mid and
 * Side work on the chunk converted to mid and side in place (the reference's own conversion, so
 * it rounds alike). Returns the index to continue from.
 */
int filterSwitching (BandBank& bank, int b, ChunkBuffers& buf, int numFrames, int steps) noexcept
{
	EqBand& band = bank.bands[static_cast<std::size_t> (b)];
	// A control step that leaves the gain where it was changes no coefficient: only the others
	// switch designs, which also leaves the kernel's steps further apart. The kept steps' gains
	// take the envelopes' place.
	double* gainAt = buf.envelopeAt;
	double lastGain = band.dynamicGain;
	double designed = band.sectionsGain;  // the gain the sections hold from each kept step on
	int changes = 0;
	for (int k = 0; k < steps; ++k)
	{
		lastGain = dynamicGainFor (band, buf.envelopeAt[k]);
		if (lastGain == designed)
			continue;
		buf.stepAt[changes] = buf.stepAt[k];
		gainAt[changes] = lastGain;
		++changes;
		designed = lastGain;
	}
	steps = changes;
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

	for (int k = 0, begin = 0; begin < numFrames;)
	{
		const int stepsNow = std::min (kMaxSwitchingSteps, steps - k);
		const int end = k + stepsNow < steps ? buf.stepAt[k + stepsNow] : numFrames;
		int at[kMaxSwitchingSteps];
		for (int i = 0; i < stepsNow; ++i)
			at[i] = buf.stepAt[k + i] - begin;
		SectionDesign designs[2 * kMaxSwitchingSteps];
		const SwitchingDesigns switching {{band.sections[0].data (), band.sections[1].data ()},
		                                  designGainSteps (band, gainAt + k, stepsNow, designs, true), designs};
		double* data = stereo ? f + 2 * begin : f + 2 * begin + lane;
		if (!activeKernels ().switchingCascade (stereo ? chains : chains + lane, stereo ? 2 : 1, data, end - begin, 2, at,
		                                        stepsNow, switching))
		{
			// Steps too close together: the plain way, band by band, from here on.
			if (midSide)
				fromMidSide (f, numFrames);
			filterInPieces (band, buf, begin, numFrames, buf.stepAt + k, gainAt + k, steps - k);
			midSide = false;
			break;
		}
		if (stepsNow > 0)
			applyGainDesigns (band, designs + (stepsNow - 1) * switching.kinds, switching.kinds, gainAt[k + stepsNow - 1]);
		k += stepsNow;
		begin = end;
	}
	if (midSide)
		fromMidSide (f, numFrames);
	band.dynamicGain = lastGain;
	for (int i = 0; i < count; ++i)
		recoverNonFiniteBand (*followers[i]);
	return next;
}

} // namespace

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

} // namespace QuenrilEQ::block
