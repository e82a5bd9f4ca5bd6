// The fast form of processStereoSample. Bands are linear and time-invariant
// between dynamics control steps, so instead of taking each sample through
// all 24 bands the block path takes the whole chunk through one band at a
// time (a band with dynamics: dynamic_block.cpp). The chunk is held
// interleaved, left and right side by side; neighbouring static bands on
// Stereo, Left and Right (and, on the FMA kernels, on Mid and Side) run as
// one wavefront cascade (band_runner.h), so that bands of one or two sections
// still keep several recurrences in flight.
#include "band_chain.h"

#include "band_dynamics.h"
#include "band_runner.h"
#include "block_parts.h"

#include <algorithm>

namespace QuenrilEQ {

namespace block {

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

} // namespace block

namespace {
using namespace block;

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
	const KernelTable& kernels = activeKernels ();
	const bool midSideRuns = kernels.set != InstructionSet::kSse2;
	for (int offset = 0; offset < numSamples; offset += kChunkFrames)
	{
		const int n = std::min (kChunkFrames, numSamples - offset);
		kernels.interleave (left + offset, right + offset, buf.frames, n);
		buf.scLeft = scLeft != nullptr ? scLeft + offset : nullptr;
		buf.scRight = scRight != nullptr ? scRight + offset : nullptr;
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
		kernels.deinterleave (buf.frames, left + offset, right + offset, n);
	}
}

} // namespace QuenrilEQ
