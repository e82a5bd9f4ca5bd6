// The equaliser band record: settings, designed filter sections and the
// running state of one band. Plain data; the design and processing functions
// live beside it (band_design.h, band_chain.h).
#pragma once

#include <array>
#include <cstdint>
#include <limits>

namespace QuenrilEQ {

/** Band shapes, in the order of the "Shape" parameter's list. */
enum BandShape : std::int32_t
{
	kBell = 0,
	kLowShelf = 1,
	kHighShelf = 2,
	kLowCut = 3,
	kHighCut = 4,
	kNotch = 5,
	kBandPass = 6,
	kTiltShelf = 7,
	kAllpass = 8,
};
constexpr std::int32_t kNumBandShapes = 9;

/** Channel targets, in the order of the "Channel" parameter's list. */
enum BandChannel : std::int32_t
{
	kStereo = 0,
	kLeft = 1,
	kRight = 2,
	kMid = 3,
	kSide = 4,
};

constexpr int kNumBands = 24;
constexpr int kMaxSections = 16;  // 96 dB/oct tilt shelf: 8 pairs
constexpr int kNumSlopes = 5;     // 6, 12, 24, 48, 96 dB/oct

/** One second-order section: coefficients already divided by a0, TDF-II state. */
struct BiquadSection
{
	double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
	double s1 = 0, s2 = 0;
};

/** A section's coefficients alone, divided by a0: what a control step gives a dynamic band's sections. */
struct SectionDesign
{
	double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

/** The trapezoidal one-pole used by 6 dB/oct cuts. */
struct FirstOrderPath
{
	double g = 0;      // coefficient G = tan(pi f / fs) / (1 + tan(pi f / fs))
	double state = 0;
};

struct EqBand
{
	bool enabled = false;
	std::int32_t shape = kBell;
	std::int32_t channel = kStereo;
	double sampleRate = 48000.0;  // Hz, rate of the last design
	double freq = 1000.0;         // Hz, after clamping to [10, 0.45 fs]
	double gain = 0.0;            // dB, static gain
	double q = 0.707;             // after its lower bound 0.01
	std::int32_t slope = 0;       // slope index as passed in (0 = 6 dB/oct ... 4 = 96 dB/oct)
	bool firstOrder = false;
	std::int32_t numSections = 0;
	// Filter set 0 carries left, mid or mono; set 1 carries right or side.
	std::array<std::array<BiquadSection, kMaxSections>, 2> sections {};
	std::array<FirstOrderPath, 2> firstOrderPath {};

	bool dynamicsEnabled = false;
	double threshold = -18.0;  // dB
	double ratio = 2.0;
	double attack = 10.0;      // ms
	double release = 150.0;    // ms
	std::int32_t sidechainSource = 0;  // 0 internal, 1 external
	BiquadSection detector {1, 0, 0, 0, 0, 0, 0};
	double envelope = -120.0;     // dB
	double dynamicGain = 0.0;     // dB used by the last dynamic redesign
	// dB the gain sections were last designed with (designGainSections); NaN before the first design.
	double sectionsGain = std::numeric_limits<double>::quiet_NaN ();
	double attackCoef = 0.0;
	double releaseCoef = 0.0;
	std::int32_t controlCounter = 0;
	std::int32_t controlInterval = 48;  // samples between dynamic redesigns

	// The cookbook angle (cos w, alpha) of freq, q and sampleRate, kept by designGainSections so
	// that the dynamics' redesign at every control step needs no sine or cosine. Recomputed
	// whenever one of the three differs from what it was computed for.
	double angleFreq = 0, angleQ = 0, angleRate = 0;
	double angleCos = 1, angleAlpha = 0;
};

/** The processor's bands and the rate they are designed at. */
struct BandBank
{
	double sampleRate = 48000.0;
	std::array<EqBand, kNumBands> bands {};
};

} // namespace QuenrilEQ
