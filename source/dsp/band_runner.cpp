#include "band_runner.h"

#include "cascade_kernels.h"

#include <algorithm>
#include <emmintrin.h>

namespace QuenrilEQ {

namespace {
using kernels::SectionRegs;
using kernels::StereoFrame;

int activeSections (const EqBand& band) noexcept
{
	return std::clamp<std::int32_t> (band.numSections, 0, kMaxSections);
}

// Lane 0 carries filter set 0, lane 1 set 1 (_mm_set_pd takes the high lane first).
StereoFrame pair (double set0, double set1) noexcept
{
	return {_mm_set_pd (set1, set0)};
}

double lane (StereoFrame v, int index) noexcept
{
	alignas (16) double lanes[2];
	_mm_store_pd (lanes, v.v);
	return lanes[index];
}
} // namespace

void runBandMono (EqBand& band, int filterSet, double* samples, int numSamples) noexcept
{
	if (numSamples <= 0)
		return;
	const std::size_t set = filterSet == 0 ? 0 : 1;
	if (band.firstOrder)
	{
		FirstOrderPath& path = band.firstOrderPath[set];
		if (band.shape == kLowCut)
			kernels::runFirstOrder<double, true> (path.g, path.state, samples, numSamples);
		else
			kernels::runFirstOrder<double, false> (path.g, path.state, samples, numSamples);
		return;
	}
	const int n = activeSections (band);
	if (n == 0)
		return;
	SectionRegs<double> regs[kMaxSections];
	auto& sections = band.sections[set];
	for (int i = 0; i < n; ++i)
	{
		const BiquadSection& s = sections[static_cast<std::size_t> (i)];
		regs[i] = {s.b0, s.b1, s.b2, s.a1, s.a2, s.s1, s.s2};
	}
	kernels::runCascade (regs, n, samples, numSamples);
	for (int i = 0; i < n; ++i)
	{
		BiquadSection& s = sections[static_cast<std::size_t> (i)];
		s.s1 = regs[i].s1;
		s.s2 = regs[i].s2;
	}
}

void runBandStereo (EqBand& band, double* interleaved, int numFrames) noexcept
{
	if (numFrames <= 0)
		return;
	if (band.firstOrder)
	{
		auto& paths = band.firstOrderPath;
		const StereoFrame g = pair (paths[0].g, paths[1].g);
		StereoFrame state = pair (paths[0].state, paths[1].state);
		if (band.shape == kLowCut)
			kernels::runFirstOrder<StereoFrame, true> (g, state, interleaved, numFrames);
		else
			kernels::runFirstOrder<StereoFrame, false> (g, state, interleaved, numFrames);
		paths[0].state = lane (state, 0);
		paths[1].state = lane (state, 1);
		return;
	}
	EqBand* const one[] = {&band};
	runStereoCascade (one, 1, interleaved, numFrames);
}

void runStereoCascade (EqBand* const* bands, int numBands, double* interleaved, int numFrames) noexcept
{
	if (numFrames <= 0)
		return;
	SectionRegs<StereoFrame> regs[kMaxCascadeSections];
	int total = 0;
	for (int b = 0; b < numBands; ++b)
	{
		const int n = activeSections (*bands[b]);
		if (bands[b]->firstOrder || total + n > kMaxCascadeSections)
			return;  // outside the contract: leave the audio alone rather than run half a chain
		total += n;
	}
	int k = 0;
	for (int b = 0; b < numBands; ++b)
	{
		auto& set0 = bands[b]->sections[0];
		auto& set1 = bands[b]->sections[1];
		for (int i = 0, n = activeSections (*bands[b]); i < n; ++i, ++k)
		{
			const BiquadSection& l = set0[static_cast<std::size_t> (i)];
			const BiquadSection& r = set1[static_cast<std::size_t> (i)];
			regs[k] = {pair (l.b0, r.b0), pair (l.b1, r.b1), pair (l.b2, r.b2), pair (l.a1, r.a1),
			           pair (l.a2, r.a2), pair (l.s1, r.s1), pair (l.s2, r.s2)};
		}
	}
	kernels::runCascade (regs, total, interleaved, numFrames);
	k = 0;
	for (int b = 0; b < numBands; ++b)
	{
		auto& set0 = bands[b]->sections[0];
		auto& set1 = bands[b]->sections[1];
		for (int i = 0, n = activeSections (*bands[b]); i < n; ++i, ++k)
		{
			set0[static_cast<std::size_t> (i)].s1 = lane (regs[k].s1, 0);
			set0[static_cast<std::size_t> (i)].s2 = lane (regs[k].s2, 0);
			set1[static_cast<std::size_t> (i)].s1 = lane (regs[k].s1, 1);
			set1[static_cast<std::size_t> (i)].s2 = lane (regs[k].s2, 1);
		}
	}
}

} // namespace QuenrilEQ
