#include "two_stage_convolver.h"

#include <algorithm>

namespace QuenrilEQ {

TwoStageConvolver::TwoStageConvolver (int maxKernelLength)
    : head (std::min (maxKernelLength, kHeadLength)),
      tail (std::max (maxKernelLength - kHeadLength, 1), kTailBlockSize),
      sum (kDelay)
{
}

void TwoStageConvolver::loadKernel (const double* kernel, int length) noexcept
{
	if (kernel == nullptr)
		length = 0;
	head.loadKernel (kernel, std::min (length, kHeadLength));
	tailInUse = length > kHeadLength;
	tail.loadKernel (tailInUse ? kernel + kHeadLength : nullptr, length - kHeadLength);
}

bool TwoStageConvolver::crossfadeToKernel (const double* kernel, int length) noexcept
{
	if (kernel == nullptr)
		length = 0;
	const bool tailNeeded = length > kHeadLength;
	if (tailNeeded != tailInUse || !head.keepsGoingWith (std::min (length, kHeadLength))
	    || (tailNeeded && !tail.keepsGoingWith (length - kHeadLength)))
	{
		loadKernel (kernel, length);
		return false;
	}
	head.crossfadeToKernel (kernel, std::min (length, kHeadLength));
	if (tailInUse)
		tail.crossfadeToKernel (kernel + kHeadLength, length - kHeadLength);
	return true;
}

double TwoStageConvolver::processSample (double x) noexcept
{
	const double y = head.processSample (x);
	return tailInUse ? y + tail.processSample (x) : y;
}

void TwoStageConvolver::process (const float* in, float* out, int numSamples) noexcept
{
	double* y = sum.data ();
	while (numSamples > 0)
	{
		const int run = std::min (numSamples, kDelay);
		std::fill (y, y + run, 0.0);
		head.processAdding (in, y, run);
		if (tailInUse)
			tail.processAdding (in, y, run);
		for (int i = 0; i < run; ++i)  // both stages have read in: out may overwrite it now
			out[i] = static_cast<float> (y[i]);
		in += run;
		out += run;
		numSamples -= run;
	}
}

} // namespace QuenrilEQ
