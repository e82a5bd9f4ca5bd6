// The linear-phase kernel against its definition (inverse DFT of the bands'
// magnitude, rotated and windowed, computed directly here); the engine as the
// processor drives it, rebuilding while audio runs.
#include "band_response.h"
#include "linear_phase_engine.h"
#include "linear_phase_kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

namespace QuenrilEQ {
namespace {


/** An enabled band with only the fields the response reads set. */
EqBand makeBand (int shape, double freq, double gain, double q, int slope)
{
	EqBand b;
	b.enabled = true;
	b.shape = shape, b.freq = freq, b.gain = gain, b.q = q, b.slope = slope;
	return b;
}

TEST (LinearPhaseKernel, EqualsWindowedInverseDftOfTheCombinedMagnitude)
{
	std::array<EqBand, kNumBands> bands {};
	bands[0] = makeBand (kBell, 1000, 6, 1.0, 1);
	bands[3] = makeBand (kLowShelf, 150, -4, 0.7, 1);
	bands[7] = makeBand (kHighCut, 12000, 0, 0.707, 1);
	bands[11] = makeBand (kTiltShelf, 3000, 3, 0.5, 2);
	bands[20] = makeBand (kLowCut, 30, 0, 0.707, 0);
	const int n = 2048;
	const double fs = 44100;
	std::vector<double> m (n / 2 + 1);
	for (int k = 0; k <= n / 2; ++k)
		m[k] = std::abs (combinedResponse (bands, k * fs / n, fs));
	const std::vector<double> h = designKernel (bands, fs, n);
	ASSERT_EQ (static_cast<int> (h.size ()), n);
	for (int i = 0; i < n; ++i)
	{
		// Unnormalised inverse of a real, even spectrum at time (i + n/2) mod n, then 1/n and the
		// symmetric Blackman-Harris window.
		const int t = (i + n / 2) % n;
		double r = m[0] + m[n / 2] * (t % 2 ? -1 : 1);
		for (int k = 1; k < n / 2; ++k)
			r += 2 * m[k] * std::cos (2 * M_PI * k * t / n);
		const double x = 2 * M_PI * i / (n - 1);
		const double window = 0.35875 - 0.48829 * std::cos (x) + 0.14128 * std::cos (2 * x) - 0.01168 * std::cos (3 * x);
		ASSERT_NEAR (h[i], window * r / n, 1e-13) << "tap " << i;
	}
	std::array<EqBand, kNumBands> broken {};
	broken[2] = makeBand (kBell, std::nan (""), 6, 1, 1);
	for (double v : designKernel (broken, 48000, 2048))
		ASSERT_TRUE (std::isfinite (v));
	EXPECT_TRUE (designKernel (bands, 48000, 7).empty ());
}

TEST (LinearPhaseEngine, RebuildsEveryTwentyMillisecondsWithoutGapsOrClicks)
{
	// A steady 1 kHz sine while a bell on it moves by up to 0.5 dB every 20 ms (the processor's
	// rebuild period), in host blocks that do not line up with the convolver's.
	LinearPhaseEngine engine;
	std::array<EqBand, kNumBands> bands {};
	bands[0] = makeBand (kBell, 1000, 0, 1.0, 1);
	bands[5] = makeBand (kHighCut, 9000, 0, 0.707, 1);
	const double fs = 48000, f = 1000, amplitude = 0.5;
	const int block = 480, total = 48000;
	std::vector<float> out (total), in (block);
	for (int start = 0, step = 0; start < total; start += block)
	{
		if (start % 960 == 0)
		{
			bands[0].gain = 0.5 * std::sin (0.7 * step++);
			engine.markDirty ();
			engine.update (bands);
		}
		for (int i = 0; i < block; ++i)
			in[i] = static_cast<float> (amplitude * std::sin (2 * M_PI * f * (start + i) / fs));
		engine.processBlock (0, in.data (), out.data () + start, block);
	}
	const int settled = 960 + engine.latencySamples () + engine.kernelLength ();
	double previous = 0;
	for (int b = settled / 128 + 1; (b + 1) * 128 <= total; ++b)
	{
		double sum = 0;
		for (int i = b * 128; i < (b + 1) * 128; ++i)
			sum += out[i] * out[i];
		ASSERT_TRUE (previous == 0 || std::fabs (10 * std::log10 (sum / previous)) <= 1.0) << "block " << b;
		previous = sum;
	}
	// No sample jumps beyond the steepest slope of the loudest sine the bell can make.
	const double maxStep = 2 * M_PI * f / fs * amplitude * std::pow (10, 0.5 / 20) * 1.05;
	for (int i = settled + 1; i < total; ++i)
		ASSERT_LE (std::fabs (out[i] - out[i - 1]), maxStep) << i;
}

} // namespace
} // namespace QuenrilEQ
