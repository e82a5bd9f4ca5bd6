#include "band_design.h"

#include "band_dynamics.h"
#include "biquad_step.h"
#include "cookbook.h"
#include "kernel_table.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

void storeNormalised (BiquadSection& section, const SectionCoefficients& c) noexcept
{
	// One division where five would each take as long: dynamics redesign at every control step.
	const double inverse = 1.0 / c.a0;
	section.b0 = c.b0 * inverse;
	section.b1 = c.b1 * inverse;
	section.b2 = c.b2 * inverse;
	section.a1 = c.a1 * inverse;
	section.a2 = c.a2 * inverse;
}

namespace {
constexpr double kMinFreqHz = 10.0;
constexpr double kMaxFreqRatio = 0.45;  // of the sample rate: keeps the bilinear warp tame
constexpr double kMinQ = 0.01;

SectionDesign normalisedDesign (const SectionCoefficients& c) noexcept
{
	BiquadSection section;
	storeNormalised (section, c);
	return {section.b0, section.b1, section.b2, section.a1, section.a2};
}

/** Writes one design into sections [first, first + count) stepping by stride, in both filter sets. */
void fillSections (EqBand& band, const SectionDesign& d, int first, int count, int stride) noexcept
{
	for (auto& set : band.sections)
	{
		for (int i = 0, k = first; i < count && k < kMaxSections; ++i, k += stride)
		{
			BiquadSection& s = set[static_cast<std::size_t> (k)];
			s.b0 = d.b0;
			s.b1 = d.b1;
			s.b2 = d.b2;
			s.a1 = d.a1;
			s.a2 = d.a2;
		}
	}
}

void fillSections (EqBand& band, const SectionCoefficients& c, int first, int count, int stride) noexcept
{
	fillSections (band, normalisedDesign (c), first, count, stride);
}

double clampDesignFreq (double freqHz, double sampleRateHz) noexcept
{
	double f = freqHz >= kMinFreqHz ? freqHz : kMinFreqHz;  // also maps NaN to the floor
	if (freqHz > kMaxFreqRatio * sampleRateHz)
		f = kMaxFreqRatio * sampleRateHz;
	return f;
}

bool isUsableRate (double sampleRateHz) noexcept
{
	return std::isfinite (sampleRateHz) && sampleRateHz > 0.0;
}
} // namespace

int baseSectionCount (std::int32_t slope) noexcept
{
	constexpr int kCounts[kNumSlopes] = {1, 1, 2, 4, 8};
	return kCounts[std::clamp<std::int32_t> (slope, 0, kNumSlopes - 1)];
}

void designBand (EqBand& band, std::int32_t shape, double freqHz, double gainDb, double q, std::int32_t slope,
                 double sampleRateHz) noexcept
{
	band.shape = shape;
	band.gain = gainDb;
	band.slope = slope;
	band.q = q >= kMinQ ? q : kMinQ;
	if (!isUsableRate (sampleRateHz))
	{
		// Nothing sensible can be designed; pass the audio through rather than run garbage.
		band.numSections = 0;
		band.firstOrder = false;
		return;
	}
	band.sampleRate = sampleRateHz;
	const double f = clampDesignFreq (freqHz, sampleRateHz);
	band.freq = f;

	storeNormalised (band.detector, designBandPass (f, band.q, sampleRateHz));
	updateTimeConstants (band);

	const int sections = baseSectionCount (slope);
	band.firstOrder = false;
	switch (shape)
	{
		case kBell:
		case kLowShelf:
		case kHighShelf:
			band.numSections = sections;
			designGainSections (band, gainDb);
			break;
		case kTiltShelf:
			band.numSections = 2 * sections;
			designGainSections (band, gainDb);
			break;
		case kLowCut:
		case kHighCut:
			if (std::clamp<std::int32_t> (slope, 0, kNumSlopes - 1) == 0)
			{
				constexpr double kPi = 3.14159265358979323846264338327950;
				const double g = std::tan (kPi * f / sampleRateHz);
				band.firstOrder = true;
				band.numSections = 0;
				for (auto& path : band.firstOrderPath)
					path.g = g / (1 + g);
			}
			else
			{
				band.numSections = sections;
				fillSections (band,
				              shape == kLowCut ? designHighPass (f, band.q, sampleRateHz)
				                               : designLowPass (f, band.q, sampleRateHz),
				              0, sections, 1);
			}
			break;
		case kNotch:
			band.numSections = sections;
			fillSections (band, designNotch (f, band.q, sampleRateHz), 0, sections, 1);
			break;
		case kBandPass:
			band.numSections = sections;
			fillSections (band, designBandPass (f, band.q, sampleRateHz), 0, sections, 1);
			break;
		case kAllpass:
			band.numSections = sections;
			fillSections (band, designAllpass (f, band.q, sampleRateHz), 0, sections, 1);
			break;
		default:
			band.numSections = 0;
			break;
	}
}

int designGainSteps (EqBand& band, const double* gainsDb, int count, SectionDesign* out, bool vectorised) noexcept
{
	const int n = std::clamp<std::int32_t> (band.numSections, 0, kMaxSections);
	if (n == 0 || !isGainShape (band.shape) || band.firstOrder || (band.shape == kTiltShelf && n < 2))
		return 0;
	if (band.angleFreq != band.freq || band.angleQ != band.q || band.angleRate != band.sampleRate)
	{
		const CookbookAngle fresh = cookbookAngle (band.freq, band.q, band.sampleRate);
		band.angleCos = fresh.cs;
		band.angleAlpha = fresh.alpha;
		band.angleFreq = band.freq;
		band.angleQ = band.q;
		band.angleRate = band.sampleRate;
	}
	CookbookAngle an;
	an.cs = band.angleCos;
	an.alpha = band.angleAlpha;
	const int kinds = band.shape == kTiltShelf ? 2 : 1;
	if (const auto vectorDesigns = activeKernels ().gainDesigns; vectorised && vectorDesigns != nullptr)
	{
		// Each section's share of the gain, split as below.
		const double share = kinds == 2 ? 0.5 / (n / 2) : 1.0 / n;
		const GainDesignSettings settings {band.shape, share * kAmplitudeExponentPerDb, an.cs, an.alpha};
		constexpr int kSlice = 16;
		for (int first = 0; first < count; first += kSlice)
		{
			const int length = std::min (kSlice, count - first);
			double finite[kSlice];
			for (int k = 0; k < length; ++k)
				finite[k] = std::isfinite (gainsDb[first + k]) ? gainsDb[first + k] : 0.0;
			vectorDesigns (settings, finite, length, out + first * kinds);
		}
		return kinds;
	}
	for (int k = 0; k < count; ++k)
	{
		// A non-finite gain would poison every coefficient; treat it as flat.
		const double g = std::isfinite (gainsDb[k]) ? gainsDb[k] : 0.0;
		switch (band.shape)
		{
			case kBell: out[k] = normalisedDesign (designPeaking (an, g / n)); break;
			case kLowShelf: out[k] = normalisedDesign (designLowShelf (an, g / n)); break;
			case kHighShelf: out[k] = normalisedDesign (designHighShelf (an, g / n)); break;
			default:  // kTiltShelf
			{
				const int pairs = n / 2;
				const double t = g * 0.5 / pairs;
				out[2 * k] = normalisedDesign (designLowShelf (an, -t));
				out[2 * k + 1] = normalisedDesign (designHighShelf (an, t));
				break;
			}
		}
	}
	return kinds;
}

void applyGainDesigns (EqBand& band, const SectionDesign* designs, int kinds, double gainDb) noexcept
{
	const int n = std::clamp<std::int32_t> (band.numSections, 0, kMaxSections);
	if (kinds == 2)
	{
		fillSections (band, designs[0], 0, n / 2, 2);
		fillSections (band, designs[1], 1, n / 2, 2);
	}
	else if (kinds == 1)
		fillSections (band, designs[0], 0, n, 1);
	else
		return;
	band.sectionsGain = gainDb;
}

void designGainSections (EqBand& band, double gainDb) noexcept
{
	SectionDesign designs[2];
	applyGainDesigns (band, designs, designGainSteps (band, &gainDb, 1, designs), gainDb);
}

double processBandSample (EqBand& band, int filterSet, double x) noexcept
{
	const std::size_t set = filterSet == 0 ? 0 : 1;
	if (band.firstOrder)
	{
		FirstOrderPath& path = band.firstOrderPath[set];
		const double v = (x - path.state) * path.g;
		const double lp = v + path.state;
		path.state = lp + v;
		return band.shape == kLowCut ? x - lp : lp;
	}
	const int n = std::clamp<std::int32_t> (band.numSections, 0, kMaxSections);
	for (int i = 0; i < n; ++i)
	{
		BiquadSection& s = band.sections[set][static_cast<std::size_t> (i)];
		x = biquadStep (s, s, x);
	}
	return x;
}

} // namespace QuenrilEQ
