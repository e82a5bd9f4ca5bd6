// Finite inputs and in-range settings can still ask for more than a 32-bit
// sample holds: a few resonant 96 dB/oct cuts stacked on the same frequency
// amplify a sine there by hundreds of dB per band. The host must still get
// finite samples, saturated at the ends of the float range.
#include "processor_rig.h"

#include "parameters.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using namespace QuenrilEQ;
using QuenrilEQ::testing::ProcessorRig;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHz = 76.0;

/** Bands 0..count-1: Low Cut at kHz, the largest Q (40) and slope (96 dB/oct). */
void stackResonantCuts (ProcessorRig& rig, int count)
{
	for (int b = 0; b < count; ++b)
	{
		rig.set (bandParamId (b, kFieldEnabled), 1.0);
		rig.set (bandParamId (b, kFieldShape), 3.0 / 8.0);
		rig.set (bandParamId (b, kFieldFreq), std::log (kHz / 20.0) / std::log (1100.0));
		rig.set (bandParamId (b, kFieldQ), 1.0);
		rig.set (bandParamId (b, kFieldSlope), 1.0);
	}
}

/** Runs a full-scale sine at kHz through every input channel for about two
    seconds; returns the largest |output| seen, or NaN once a sample was not finite. */
float peakOverSeconds (ProcessorRig& rig, int channels)
{
	float peak = 0.0f;
	long phase = 0;
	for (int block = 0; block < 96; ++block)
	{
		for (int s = 0; s < 1024; ++s, ++phase)
			for (int c = 0; c < channels; ++c)
				rig.buffers.input (0, c)[s] = static_cast<float> (std::sin (2 * kPi * kHz * phase / 48000.0));
		rig.run (1024);
		for (int c = 0; c < channels; ++c)
			for (int s = 0; s < 1024; ++s)
			{
				const float v = rig.buffers.output (0, c)[s];
				if (!std::isfinite (v))
					return std::nanf ("");
				peak = std::max (peak, std::fabs (v));
			}
	}
	return peak;
}

} // namespace

TEST (ProcessorOutputRange, OverloadSaturatesInsteadOfInfinity)
{
	struct Case
	{
		const char* name;
		int channels;
		bool linear;
		int bands;
	};
	// The linear kernel spreads the resonances over its length, so it needs every band.
	for (const Case& c : {Case {"natural stereo", 2, false, 6}, Case {"natural mono", 1, false, 6},
	                      Case {"linear stereo", 2, true, kParamBands}})
	{
		ProcessorRig rig (48000.0, 1024, c.channels);
		stackResonantCuts (rig, c.bands);
		if (c.linear)
			rig.set (kPhaseModeId, 1.0);
		const float peak = peakOverSeconds (rig, c.channels);
		EXPECT_FALSE (std::isnan (peak)) << c.name << ": a sample was infinite or NaN";
		// Saturated, not silenced: the overload is still audible as such.
		EXPECT_EQ (peak, FLT_MAX) << c.name;
	}
}
