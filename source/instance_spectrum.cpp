#include "instance_spectrum.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

SpectrumAnalyser::SpectrumAnalyser ()
: fft (RealFft::forSize (kWindow)),
  window (kWindow),
  frame (kWindow),
  spectrum (2 * RealFft::spectrumStride (kWindow))
{
	for (int i = 0; i < kWindow; ++i)
		window[static_cast<std::size_t> (i)] = 0.5 - 0.5 * std::cos (2 * kPi * i / kWindow);
}

void SpectrumAnalyser::update (const float* left, const float* right)
{
	for (int i = 0; i < kWindow; ++i)
		frame[static_cast<std::size_t> (i)] = 0.5 * (static_cast<double> (left[i]) + right[i]) * window[static_cast<std::size_t> (i)];
	fft.forward (frame.data (), spectrum.data ());
	const std::size_t bins = kWindow / 2 + 1, stride = RealFft::spectrumStride (kWindow);
	// The Hann window halves a sine's amplitude; |X| = A N / 4 at its bin.
	const double scale = 16.0 / (static_cast<double> (kWindow) * kWindow);
	if (power.empty ())
		power.assign (bins, 0.0);
	for (std::size_t k = 0; k < bins; ++k)
	{
		const double re = spectrum[k], im = spectrum[stride + k];
		const double p = (re * re + im * im) * scale;
		power[k] = p >= power[k] ? p : kFall * power[k] + (1 - kFall) * p;
	}
}

std::vector<double> SpectrumAnalyser::levels (const std::vector<double>& freqHz, double sampleRate) const
{
	std::vector<double> out (freqHz.size (), kFloorDb);
	if (power.empty () || !(sampleRate > 0))
		return out;
	const double binHz = sampleRate / kWindow;
	const double last = static_cast<double> (power.size () - 1);
	for (std::size_t i = 0; i < freqHz.size (); ++i)
	{
		const double below = i > 0 ? std::sqrt (freqHz[i - 1] * freqHz[i]) : freqHz[i];
		const double above = i + 1 < freqHz.size () ? std::sqrt (freqHz[i] * freqHz[i + 1]) : freqHz[i];
		const double a = std::min (below / binHz, last), b = std::min (above / binHz, last);
		double p = 0;
		if (b - a < 1)
		{
			const double m = std::min (freqHz[i] / binHz, last);
			const std::size_t k = static_cast<std::size_t> (m);
			const double t = m - static_cast<double> (k);
			p = power[k] * (1 - t) + power[std::min (k + 1, power.size () - 1)] * t;
		}
		else
		{
			for (auto k = static_cast<std::size_t> (std::ceil (a)); k <= static_cast<std::size_t> (b); ++k)
				p = std::max (p, power[k]);
		}
		out[i] = p > 0 ? std::max (kFloorDb, 10 * std::log10 (p)) : kFloorDb;
	}
	return out;
}

} // namespace QuenrilEQ
