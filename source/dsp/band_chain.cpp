#include "band_chain.h"

#include "band_design.h"
#include "band_dynamics.h"
#include "band_runner.h"

namespace QuenrilEQ {

void processStereoSample (BandBank& bank, double& left, double& right, double scLeft, double scRight) noexcept
{
	const double sidechainSum = scLeft + scRight;
	for (EqBand& band : bank.bands)
	{
		if (!band.enabled || !isKnownChannel (band.channel))
			continue;
		if (band.dynamicsEnabled)
			updateDynamics (band,
			                detectorInputFor (band.channel, band.sidechainSource == 1, left, right, sidechainSum));
		switch (band.channel)
		{
			case kStereo:
				left = processBandSample (band, 0, left);
				right = processBandSample (band, 1, right);
				break;
			case kLeft: left = processBandSample (band, 0, left); break;
			case kRight: right = processBandSample (band, 1, right); break;
			case kMid:
			{
				const double mid = (left + right) * 0.5;
				const double side = (left - right) * 0.5;
				const double m = processBandSample (band, 0, mid);
				left = m + side;
				right = m - side;
				break;
			}
			case kSide:
			{
				const double mid = (left + right) * 0.5;
				const double side = (left - right) * 0.5;
				const double s = processBandSample (band, 1, side);
				left = mid + s;
				right = mid - s;
				break;
			}
			default: break;
		}
	}
}

void processMonoBlock (BandBank& bank, double* samples, int numSamples) noexcept
{
	if (samples == nullptr || numSamples <= 0)
		return;
	// Neighbouring bands with sections run as one wavefront; a first-order band runs on its own.
	EqBand* members[kNumBands];
	int count = 0;
	MonoRun run;
	auto flush = [&] {
		run.run (samples, numSamples);
		for (int i = 0; i < count; ++i)
			recoverNonFiniteBand (*members[i]);
		run = MonoRun ();
		count = 0;
	};
	for (EqBand& band : bank.bands)
	{
		if (!band.enabled)
			continue;
		if (!run.add (band, 0))
		{
			flush ();
			if (!run.add (band, 0))
			{
				runBandMono (band, 0, samples, numSamples);  // first-order
				recoverNonFiniteBand (band);
				continue;
			}
		}
		members[count++] = &band;
	}
	flush ();
}

} // namespace QuenrilEQ
