// Level spectra of an instance's captured audio for its editor: Hann-windowed
// FFTs of the newest kWindow frames (left and right summed to mono), smoothed
// per bin like a meter (at once up, slowly down), read out at the editor's
// log-spaced frequencies. Full-scale sine = 0 dBFS.
#pragma once

#include "fft.h"

#include <vector>

namespace QuenrilEQ {

class SpectrumAnalyser
{
public:
	static constexpr int kWindow = 4096;
	/** dBFS reported for silence (and anything quieter). */
	static constexpr double kFloorDb = -150.0;
	/** Share of the previous power kept per update where the new one is lower. */
	static constexpr double kFall = 0.7;

	/** Plans its transform (once per process). [UI thread] */
	SpectrumAnalyser ();

	/** Folds kWindow new frames into the smoothed spectrum. [UI thread] */
	void update (const float* left, const float* right);
	/** Level (dBFS) at each frequency (Hz) for audio at sampleRate (Hz): the
	    strongest bin between the midpoints to the neighbouring frequencies, or
	    interpolated where that span is narrower than a bin. Pure. */
	std::vector<double> levels (const std::vector<double>& freqHz, double sampleRate) const;

private:
	const RealFft& fft;
	AlignedBuffer window, frame, spectrum;
	std::vector<double> power;  // smoothed, per bin; empty before the first update
};

} // namespace QuenrilEQ
