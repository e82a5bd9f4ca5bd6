// The fast form of processStereoSample. Bands are linear and time-invariant
// between dynamics control steps, so instead of taking each sample through
// all 24 bands the block path takes the whole chunk through one band at a
// time, and splits a band with dynamics at its control steps, where it is
// redesigned (a redesign made at a sample applies from that sample on, as in
// the reference). Stereo bands keep left and right side by side in one
// SSE2 register, so the chunk is held interleaved; neighbouring static stereo
// bands run as one cascade, so that bands of one or two sections still keep
// several recurrences in flight.
#include "band_chain.h"

#include "band_design.h"
#include "band_dynamics.h"
#include "band_runner.h"

#include <algorithm>
#include <emmintrin.h>

namespace QuenrilEQ {

namespace {
constexpr int kChunkFrames = 256;  // 10 KiB of stack in all; bit-exactness does not depend on it

struct ChunkBuffers
{
	alignas (16) double frames[2 * kChunkFrames];  // left, right interleaved
	alignas (16) double mono[kChunkFrames];        // one channel, or mid
	alignas (16) double side[kChunkFrames];
	alignas (16) double sidechain[kChunkFrames];   // scLeft + scRight
	alignas (16) double level[kChunkFrames];       // detector magnitude, then its level in dB
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

/**
 * Runs the band's detector over the chunk and filters it in pieces between control steps. The
 * detector runs in two passes: band-pass with the levels two at a time, then the envelope; the
 * logarithms do not depend on each other, so they overlap with the band-pass recurrence instead
 * of waiting behind the envelope's.
 */
void processDynamicBand (EqBand& band, ChunkBuffers& buf, int numFrames) noexcept
{
	const bool external = band.sidechainSource == 1;
	const std::int32_t channel = band.channel;
	DetectorState d = loadDetector (band);
	double* level = buf.level;
	auto magnitudeAt = [&] (int i) {
		return detectorMagnitude (
		    band, d, detectorInputFor (channel, external, buf.frames[2 * i], buf.frames[2 * i + 1], buf.sidechain[i]));
	};
	int i = 0;
	for (; i + 1 < numFrames; i += 2)
	{
		const double first = magnitudeAt (i);
		const double second = magnitudeAt (i + 1);
		_mm_store_pd (level + i, leveldb::levelDb2 (_mm_set_pd (second, first)));
	}
	if (i < numFrames)
		level[i] = leveldb::levelDb (magnitudeAt (i));

	int pieceStart = 0;
	for (i = 0; i < numFrames; ++i)
	{
		if (!envelopeStep (band, d, level[i]))
			continue;
		// The new gain applies from this frame on: finish the piece with the old sections first.
		filterRange (band, buf, pieceStart, i);
		band.dynamicGain = dynamicGainFor (band, d.envelope);
		designGainSections (band, band.dynamicGain);
		pieceStart = i;
	}
	storeDetector (band, d);
	filterRange (band, buf, pieceStart, numFrames);
}
/** A static stereo band that can share one wavefront cascade with its neighbours. */
bool joinsStereoRun (const EqBand& band) noexcept
{
	return band.channel == kStereo && !band.firstOrder && !dynamicsActive (band);
}

/**
 * Runs the static stereo bands from index first on (skipping disabled ones) as one cascade, up to
 * the first band that cannot join or would overflow it; returns the index to continue from.
 */
int runStereoBands (BandBank& bank, int first, ChunkBuffers& buf, int numFrames) noexcept
{
	EqBand* run[kNumBands];
	int count = 0, sections = 0, b = first;
	for (; b < kNumBands; ++b)
	{
		EqBand& band = bank.bands[static_cast<std::size_t> (b)];
		if (!band.enabled || !isKnownChannel (band.channel))
			continue;
		const int n = std::clamp<std::int32_t> (band.numSections, 0, kMaxSections);
		if (!joinsStereoRun (band) || sections + n > kMaxCascadeSections)
			break;
		run[count++] = &band;
		sections += n;
	}
	runStereoCascade (run, count, buf.frames, numFrames);
	for (int i = 0; i < count; ++i)
		recoverNonFiniteBand (*run[i]);
	return b;
}
} // namespace

void processStereoBlock (BandBank& bank, double* left, double* right, const double* scLeft,
                         const double* scRight, int numSamples) noexcept
{
	if (left == nullptr || right == nullptr || numSamples <= 0)
		return;
	ChunkBuffers buf;
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
			if (joinsStereoRun (band))
			{
				b = runStereoBands (bank, b, buf, n);
				continue;
			}
			if (dynamicsActive (band))
				processDynamicBand (band, buf, n);
			else
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
