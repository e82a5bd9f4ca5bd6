// Peak and RMS of everything a meter has seen, in dBFS.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace QuenrilEQ {
namespace render {

class LevelMeter
{
public:
	/** Adds count samples (any channel layout: all samples weigh the same). */
	void add (const float* samples, int64_t count)
	{
		for (int64_t i = 0; i < count; ++i)
		{
			const double x = samples[i];
			peak_ = std::max (peak_, std::fabs (x));
			sumSquares_ += x * x;
		}
		count_ += count;
	}

	/** dBFS of the largest magnitude; -inf for silence or nothing seen. */
	double peakDb () const { return toDb (peak_); }
	/** dBFS of the root mean square over all samples seen. */
	double rmsDb () const { return count_ > 0 ? toDb (std::sqrt (sumSquares_ / static_cast<double> (count_))) : toDb (0); }

private:
	static double toDb (double linear) { return linear > 0 ? 20.0 * std::log10 (linear) : -INFINITY; }

	double peak_ = 0;
	double sumSquares_ = 0;
	int64_t count_ = 0;
};

} // namespace render
} // namespace QuenrilEQ
