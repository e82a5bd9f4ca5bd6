#include "linear_phase_engine.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

LinearPhaseEngine::LinearPhaseEngine ()
    : designers {KernelDesigner (kKernelLengths[0]), KernelDesigner (kKernelLengths[1]),
                 KernelDesigner (kKernelLengths[2]), KernelDesigner (kKernelLengths[3])},
      kernel (kMaxKernelLength),
      left (kMaxKernelLength),
      right (kMaxKernelLength)
{
}

void LinearPhaseEngine::setSampleRate (double hz) noexcept
{
	if (!std::isfinite (hz) || hz <= 0 || hz == rate)
		return;
	rate = hz;
	dirty = true;
}

void LinearPhaseEngine::setKernelLength (int n) noexcept
{
	int supported = kKernelLengths.back ();
	for (int candidate : kKernelLengths)
		if (n <= candidate)
		{
			supported = candidate;
			break;
		}
	if (supported == length)
		return;
	length = supported;
	dirty = true;
}

KernelDesigner& LinearPhaseEngine::designerFor (int n) noexcept
{
	for (KernelDesigner& d : designers)
		if (d.length () == n)
			return d;
	return designers[0];  // unreachable: length only takes supported values
}

void LinearPhaseEngine::update (const std::array<EqBand, kNumBands>& bands) noexcept
{
	if (!dirty)
		return;
	dirty = false;
	designerFor (length).design (bands, rate, kernel.data ());

	for (TwoStageConvolver* c : {&left, &right})
	{
		if (built)
			c->crossfadeToKernel (kernel.data (), length);  // starts from silence itself at another length
		else
			c->loadKernel (kernel.data (), length);
	}
	built = true;
}

void LinearPhaseEngine::processBlock (int channel, const float* in, float* out, int numSamples) noexcept
{
	if (in == nullptr || out == nullptr || numSamples <= 0)
		return;
	if (!built)
	{
		if (in != out)
			std::copy (in, in + numSamples, out);
		return;
	}
	(channel == 0 ? left : right).process (in, out, numSamples);
}

} // namespace QuenrilEQ
