#include "linear_phase_kernel.h"

#include "band_response.h"

#include <cmath>
#include <stdexcept>

namespace QuenrilEQ {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

int checkedLength (int n)
{
	if (n < 4 || n % 2 != 0)
		throw std::invalid_argument ("kernel length must be even and at least 4");
	return n;
}

} // namespace

double blackmanHarris (int i, int n) noexcept
{
	if (n < 2)
		return 1;
	const double x = i * kTwoPi * (1.0 / (n - 1));
	return 0.35875 - 0.48829 * std::cos (x) + 0.14128 * std::cos (2 * x) - 0.01168 * std::cos (3 * x);
}

KernelDesigner::KernelDesigner (int length)
    : n (checkedLength (length)),
      fft (RealFft::forSize (length)),
      cosW (alignedCount (static_cast<std::size_t> (length / 2 + 1))),
      sinW (alignedCount (static_cast<std::size_t> (length / 2 + 1))),
      window (static_cast<std::size_t> (length)),
      spectrum (2 * RealFft::spectrumStride (length)),
      impulse (static_cast<std::size_t> (length)),
      magnitudes (alignedCount (static_cast<std::size_t> (length / 2 + 1)))
{
	// Bin k sits at f = k fs / n, so its angle 2 pi f / fs does not depend on the rate.
	for (int k = 0; k <= n / 2; ++k)
	{
		const double w = kTwoPi * k / n;
		cosW[k] = std::cos (w);
		sinW[k] = std::sin (w);
	}
	// The 1/n of the unnormalised inverse transform is folded into the window.
	for (int i = 0; i < n; ++i)
		window[i] = blackmanHarris (i, n) * (1.0 / n);
}

void KernelDesigner::design (const std::array<EqBand, kNumBands>& bands, double sampleRateHz, double* kernel) noexcept
{
	const int bins = n / 2 + 1;
	double* m = magnitudes.data ();
	combinedSquaredMagnitudes (bands, sampleRateHz, cosW.data (), sinW.data (), bins, m);
	for (int k = 0; k < bins; ++k)
	{
		const double mag = std::sqrt (m[k]);
		m[k] = std::isfinite (mag) ? mag : 1.0;
	}

	// Zero-phase target: real, even spectrum. Its unnormalised inverse is the impulse response
	// centred on index 0; the design's result only depends on the real parts.
	double* re = spectrum.data ();
	double* im = re + RealFft::spectrumStride (n);
	for (int k = 0; k < bins; ++k)
	{
		re[k] = m[k];
		im[k] = 0;
	}
	fft.backward (spectrum.data (), impulse.data ());

	// Rotate by n/2 so the peak lands mid-kernel: causal, with a delay of n/2 samples.
	const int half = n / 2;
	const double* r = impulse.data ();
	const double* w = window.data ();
	for (int i = 0; i < half; ++i)
		kernel[i] = w[i] * r[i + half];
	for (int i = half; i < n; ++i)
		kernel[i] = w[i] * r[i - half];
}

std::vector<double> designKernel (const std::array<EqBand, kNumBands>& bands, double sampleRateHz, int n)
{
	if (n < 4 || n % 2 != 0)
		return {};
	KernelDesigner designer (n);
	std::vector<double> kernel (static_cast<std::size_t> (n));
	designer.design (bands, sampleRateHz, kernel.data ());
	return kernel;
}

} // namespace QuenrilEQ
