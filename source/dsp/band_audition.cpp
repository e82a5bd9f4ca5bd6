#include "band_audition.h"

#include "band_design.h"

namespace QuenrilEQ {

namespace {
// The knee of the low- and high-pass regions: Butterworth.
constexpr double kRegionQ = 0.7071067811865476;
}

AuditionFilter designAudition (const EqBand& band) noexcept
{
	SectionCoefficients c;
	switch (band.shape)
	{
		case kLowShelf:
		case kLowCut:
			c = designLowPass (band.freq, kRegionQ, band.sampleRate);
			break;
		case kHighShelf:
		case kHighCut:
			c = designHighPass (band.freq, kRegionQ, band.sampleRate);
			break;
		default:
			c = designBandPass (band.freq, band.q, band.sampleRate);
			break;
	}
	AuditionFilter filter;
	for (BiquadSection& s : filter.sections)
		storeNormalised (s, c);
	return filter;
}

} // namespace QuenrilEQ
