// Band records for tests that evaluate responses without the design step:
// only the fields the response evaluation reads are set.
#pragma once

#include "eq_band.h"

namespace QuenrilEQ {
namespace testing {

/** An enabled band with the given shape, frequency (Hz), gain (dB), Q and slope index. */
inline EqBand makeBand (int shape, double freq, double gain, double q, int slope)
{
	EqBand b;
	b.enabled = true;
	b.shape = shape;
	b.freq = freq;
	b.gain = gain;
	b.q = q;
	b.slope = slope;
	return b;
}

} // namespace testing
} // namespace QuenrilEQ
