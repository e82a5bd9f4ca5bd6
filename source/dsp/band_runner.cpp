#include "band_runner.h"

#include <algorithm>

namespace QuenrilEQ {

namespace {

int activeSections (const EqBand& band) noexcept
{
	return std::clamp<std::int32_t> (band.numSections, 0, kMaxSections);
}

/** One step of the trapezoidal one-pole of 6 dB/oct cuts; high-pass output for a low cut. */
inline double firstOrderStep (double x, double g, double& s, bool lowCut) noexcept
{
	const double v = (x - s) * g;
	const double lp = v + s;
	s = lp + v;
	return lowCut ? x - lp : lp;
}

bool append (BiquadSection** chain, int& count, EqBand& band, int filterSet) noexcept
{
	const int n = activeSections (band);
	if (count + n > kMaxCascadeSections)
		return false;
	auto& set = band.sections[filterSet == 0 ? 0 : 1];
	for (int i = 0; i < n; ++i)
		chain[count++] = &set[static_cast<std::size_t> (i)];
	return true;
}

} // namespace

void runBandMono (EqBand& band, int filterSet, double* samples, int numSamples) noexcept
{
	if (numSamples <= 0)
		return;
	if (band.firstOrder)
	{
		FirstOrderPath& path = band.firstOrderPath[filterSet == 0 ? 0 : 1];
		const bool lowCut = band.shape == kLowCut;
		double s = path.state;
		for (int t = 0; t < numSamples; ++t)
			samples[t] = firstOrderStep (samples[t], path.g, s, lowCut);
		path.state = s;
		return;
	}
	MonoRun run;
	run.add (band, filterSet);
	run.run (samples, numSamples);
}

void runBandStereo (EqBand& band, double* interleaved, int numFrames) noexcept
{
	if (numFrames <= 0)
		return;
	if (band.firstOrder)
	{
		// Both channels in one loop: their two recurrences overlap.
		auto& paths = band.firstOrderPath;
		const bool lowCut = band.shape == kLowCut;
		double sl = paths[0].state, sr = paths[1].state;
		for (int t = 0; t < numFrames; ++t)
		{
			interleaved[2 * t] = firstOrderStep (interleaved[2 * t], paths[0].g, sl, lowCut);
			interleaved[2 * t + 1] = firstOrderStep (interleaved[2 * t + 1], paths[1].g, sr, lowCut);
		}
		paths[0].state = sl;
		paths[1].state = sr;
		return;
	}
	StereoRun run;
	run.add (band);
	run.run (interleaved, numFrames);
}

bool StereoRun::add (EqBand& band, int limit) noexcept
{
	limit = std::min (limit, kMaxCascadeSections);
	if (band.firstOrder)
		return false;
	// In the mid/side domain the first lane carries mid and the second side.
	const bool toLeft = band.channel == kStereo || band.channel == kLeft || band.channel == kMid;
	const bool toRight = band.channel == kStereo || band.channel == kRight || band.channel == kSide;
	const int n = activeSections (band);
	if ((toLeft && leftCount + n > limit) || (toRight && rightCount + n > limit))
		return false;
	if (toLeft)
		append (left, leftCount, band, 0);
	if (toRight)
		append (right, rightCount, band, 1);
	return true;
}

void StereoRun::run (double* interleaved, int numFrames) const noexcept
{
	if (empty () || numFrames <= 0)
		return;
	const KernelTable& kernels = activeKernels ();
	if (leftCount > 0 && rightCount > 0)
	{
		kernels.stereoCascade ({left, leftCount}, {right, rightCount}, interleaved, numFrames);
		return;
	}
	// One channel only: the mono kernel packs several of its sections into a register where the
	// stereo one would leave half the lanes passing through.
	if (leftCount > 0)
		kernels.monoCascade ({left, leftCount}, interleaved, numFrames, 2);
	else
		kernels.monoCascade ({right, rightCount}, interleaved + 1, numFrames, 2);
}

bool MonoRun::add (EqBand& band, int filterSet) noexcept
{
	return !band.firstOrder && append (sections, count, band, filterSet);
}

void MonoRun::run (double* samples, int numSamples) const noexcept
{
	if (empty () || numSamples <= 0)
		return;
	activeKernels ().monoCascade ({sections, count}, samples, numSamples, 1);
}

} // namespace QuenrilEQ
