// The one definition of the plug-in's host-visible parameters: identifiers,
// titles, kinds, defaults and the normalised <-> plain mappings. Shared by
// the processor, the controller, the preset files and the display bindings.
// Plain C++: no SDK types.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace QuenrilEQ {

using ParamId = std::uint32_t;

constexpr ParamId kPhaseModeId = 1002;
constexpr ParamId kLinearLatencyId = 1003;
constexpr ParamId kFirstBandId = 2000;
constexpr int kBandIdStride = 16;   // ids per band block; offsets 13..15 are unused
constexpr int kFieldsPerBand = 13;
constexpr int kNumParameters = 2 + 24 * kFieldsPerBand;  // 314
constexpr int kParamBands = 24;

/** Field offsets within a band's block of identifiers. */
enum BandField : int
{
	kFieldEnabled = 0,
	kFieldShape = 1,
	kFieldFreq = 2,
	kFieldGain = 3,
	kFieldQ = 4,
	kFieldSlope = 5,
	kFieldChannel = 6,
	kFieldDynamicsEnabled = 7,
	kFieldThreshold = 8,
	kFieldRatio = 9,
	kFieldAttack = 10,
	kFieldRelease = 11,
	kFieldSidechainSource = 12,
};

constexpr ParamId bandParamId (int bandIndex, int field)
{
	return kFirstBandId + static_cast<ParamId> (kBandIdStride * bandIndex + field);
}

/** Splits a band parameter id; false for ids that are no band parameter (also offsets 13..15). */
constexpr bool decodeBandParamId (ParamId id, int& bandIndex, int& field)
{
	if (id < kFirstBandId)
		return false;
	const ParamId r = id - kFirstBandId;
	if (r / kBandIdStride >= static_cast<ParamId> (kParamBands) || r % kBandIdStride >= kFieldsPerBand)
		return false;
	bandIndex = static_cast<int> (r / kBandIdStride);
	field = static_cast<int> (r % kBandIdStride);
	return true;
}

/** Every parameter id in registration (and state stream) order. */
std::array<ParamId, kNumParameters> allParameterIds ();

//------------------------------------------------------------------------
// Parameter table
enum class ParamKind { Continuous, Toggle, List };

struct ParamSpec
{
	ParamId id;
	std::string title;               // "Band 3 Freq"
	ParamKind kind;
	std::string units;               // empty for toggles, Q and lists
	int stepCount;                   // 0 continuous, 1 toggle, entries - 1 for lists
	double defaultNormalized;        // exact registered value
	std::vector<std::string> entries;  // list entries, in index order
};

/** The 314 parameters in registration order. */
const std::vector<ParamSpec>& parameterTable ();

/** Default normalised value of a band field (exact 64-bit constants). */
double defaultNormalizedForField (int field);

//------------------------------------------------------------------------
// Normalised -> plain, as the audio code decodes. Continuous inputs are
// clamped to [0, 1] in double first.
double clamp01 (double x);
double freqFromNormalized (double x);       // Hz, 20 .. 22000, logarithmic
double gainFromNormalized (double x);       // dB, -30 .. +30
double qFromNormalized (double x);          // 0.025 .. 40, logarithmic
double thresholdFromNormalized (double x);  // dB, -60 .. 0
double ratioFromNormalized (double x);      // 1 .. 20
double attackFromNormalized (double x);     // ms, 1 .. 500, logarithmic
double releaseFromNormalized (double x);    // ms, 10 .. 2000, logarithmic

// Plain -> normalised; the plain value is clamped to its range first.
double freqToNormalized (double hz);
double gainToNormalized (double db);
double qToNormalized (double q);
double thresholdToNormalized (double db);
double ratioToNormalized (double ratio);
double attackToNormalized (double ms);
double releaseToNormalized (double ms);

/** Toggle as the processor decodes it: on at 0.5 and above. */
constexpr bool toggleOn (float v) { return v >= 0.5f; }

/** List index as the processor decodes it: round half away from zero in float, clamped. */
int listIndex (float v, int stepCount);

/** Linear-phase kernel length for a "Linear Latency" index: 2048 .. 16384 (4096 otherwise). */
int kernelLengthForIndex (int index);

} // namespace QuenrilEQ
