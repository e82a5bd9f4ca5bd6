#include "parameters.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

namespace {
// Registered defaults, written out as the exact doubles hosts and files see;
// recomputing them from the mappings would differ in the last bit for one.
constexpr double kDefaultFreq = 0.558615798817058;
constexpr double kDefaultGain = 0.5;
constexpr double kDefaultQ = 0.4530040738117794;
constexpr double kDefaultThreshold = 0.7;
constexpr double kDefaultRatio = 0.05263157894736842;
constexpr double kDefaultAttack = 0.3705117131325855;
constexpr double kDefaultRelease = 0.5111151359486344;

struct FieldSpec
{
	const char* name;
	ParamKind kind;
	const char* units;
	std::vector<std::string> entries;
};

const std::array<FieldSpec, kFieldsPerBand>& fieldSpecs ()
{
	static const std::array<FieldSpec, kFieldsPerBand> specs {{
	    {"Enabled", ParamKind::Toggle, "", {}},
	    {"Shape", ParamKind::List, "",
	     {"Bell", "Low Shelf", "High Shelf", "Low Cut", "High Cut", "Notch", "Band Pass",
	      "Tilt Shelf", "Allpass"}},
	    {"Freq", ParamKind::Continuous, "Hz", {}},
	    {"Gain", ParamKind::Continuous, "dB", {}},
	    {"Q", ParamKind::Continuous, "", {}},
	    {"Slope", ParamKind::List, "", {"6 dB/oct", "12 dB/oct", "24 dB/oct", "48 dB/oct", "96 dB/oct"}},
	    {"Channel", ParamKind::List, "", {"Stereo", "Left", "Right", "Mid", "Side"}},
	    {"Dynamics Enabled", ParamKind::Toggle, "", {}},
	    {"Threshold", ParamKind::Continuous, "dB", {}},
	    {"Ratio", ParamKind::Continuous, ":1", {}},
	    {"Attack", ParamKind::Continuous, "ms", {}},
	    {"Release", ParamKind::Continuous, "ms", {}},
	    {"Sidechain Source", ParamKind::List, "", {"Internal", "External"}},
	}};
	return specs;
}

int stepCountOf (ParamKind kind, const std::vector<std::string>& entries)
{
	switch (kind)
	{
		case ParamKind::Continuous: return 0;
		case ParamKind::Toggle: return 1;
		case ParamKind::List: return static_cast<int> (entries.size ()) - 1;
	}
	return 0;
}
} // namespace

std::array<ParamId, kNumParameters> allParameterIds ()
{
	std::array<ParamId, kNumParameters> ids {};
	ids[0] = kPhaseModeId;
	ids[1] = kLinearLatencyId;
	for (int i = 0; i < kParamBands; ++i)
		for (int k = 0; k < kFieldsPerBand; ++k)
			ids[2 + kFieldsPerBand * i + k] = bandParamId (i, k);
	return ids;
}

double defaultNormalizedForField (int field)
{
	switch (field)
	{
		case kFieldFreq: return kDefaultFreq;
		case kFieldGain: return kDefaultGain;
		case kFieldQ: return kDefaultQ;
		case kFieldThreshold: return kDefaultThreshold;
		case kFieldRatio: return kDefaultRatio;
		case kFieldAttack: return kDefaultAttack;
		case kFieldRelease: return kDefaultRelease;
		default: return 0.0;
	}
}

const std::vector<ParamSpec>& parameterTable ()
{
	static const std::vector<ParamSpec> table = [] {
		std::vector<ParamSpec> t;
		t.reserve (kNumParameters);
		std::vector<std::string> phase {"Natural", "Linear"};
		std::vector<std::string> latency {"Low", "Medium", "High", "Max"};
		t.push_back ({kPhaseModeId, "Phase Mode", ParamKind::List, "", 1, 0.0, phase});
		t.push_back ({kLinearLatencyId, "Linear Latency", ParamKind::List, "", 3, 0.0, latency});
		for (int i = 0; i < kParamBands; ++i)
		{
			for (int k = 0; k < kFieldsPerBand; ++k)
			{
				const FieldSpec& f = fieldSpecs ()[k];
				t.push_back ({bandParamId (i, k), "Band " + std::to_string (i + 1) + " " + f.name, f.kind,
				              f.units, stepCountOf (f.kind, f.entries), defaultNormalizedForField (k),
				              f.entries});
			}
		}
		return t;
	}();
	return table;
}

double clamp01 (double x)
{
	// NaN decodes as the range start rather than poisoning the filters.
	if (!(x >= 0.0))
		return 0.0;
	return x > 1.0 ? 1.0 : x;
}

double freqFromNormalized (double x) { return 20.0 * std::pow (1100.0, clamp01 (x)); }
double gainFromNormalized (double x) { return 60.0 * clamp01 (x) - 30.0; }
double qFromNormalized (double x) { return 0.025 * std::pow (1600.0, clamp01 (x)); }
double thresholdFromNormalized (double x) { return 60.0 * clamp01 (x) - 60.0; }
double ratioFromNormalized (double x) { return 19.0 * clamp01 (x) + 1.0; }
double attackFromNormalized (double x) { return std::pow (500.0, clamp01 (x)); }
double releaseFromNormalized (double x) { return 10.0 * std::pow (200.0, clamp01 (x)); }

namespace {
double clampTo (double p, double lo, double hi)
{
	if (!(p >= lo))
		return lo;
	return p > hi ? hi : p;
}
} // namespace

double freqToNormalized (double hz) { return std::log (clampTo (hz, 20.0, 22000.0) / 20.0) / std::log (1100.0); }
double gainToNormalized (double db) { return clampTo (db, -30.0, 30.0) / 60.0 + 0.5; }
double qToNormalized (double q) { return std::log (clampTo (q, 0.025, 40.0) / 0.025) / std::log (1600.0); }
double thresholdToNormalized (double db) { return clampTo (db, -60.0, 0.0) / 60.0 + 1.0; }
double ratioToNormalized (double ratio) { return (clampTo (ratio, 1.0, 20.0) - 1.0) / 19.0; }
double attackToNormalized (double ms) { return std::log (clampTo (ms, 1.0, 500.0)) / std::log (500.0); }
double releaseToNormalized (double ms) { return std::log (clampTo (ms, 10.0, 2000.0) / 10.0) / std::log (200.0); }

int listIndex (float v, int stepCount)
{
	const float scaled = v * static_cast<float> (stepCount);
	// NaN and huge values must not reach the float -> int conversion.
	if (!(scaled >= 0.0f))
		return 0;
	if (scaled >= static_cast<float> (stepCount))
		return stepCount;
	return std::clamp (static_cast<int> (std::roundf (scaled)), 0, stepCount);
}

int kernelLengthForIndex (int index)
{
	switch (index)
	{
		case 0: return 2048;
		case 1: return 4096;
		case 2: return 8192;
		case 3: return 16384;
		default: return 4096;
	}
}

} // namespace QuenrilEQ
