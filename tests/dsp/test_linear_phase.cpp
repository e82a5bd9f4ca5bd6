// The linear-phase kernel against its definition (inverse DFT of the bands'
// magnitude, rotated and windowed, computed directly here) and its spectrum
// against the bands; the engine as the processor drives it.
#include "band_response.h"
#include "linear_phase_engine.h"
#include "linear_phase_kernel.h"

#include "band_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <thread>
#include <vector>

namespace QuenrilEQ {
namespace {

constexpr double kPi = 3.14159265358979323846;

using testing::makeBand;

/** The symmetric Blackman-Harris window. */
double window (int i, int n)
{
	const double x = 2 * kPi * i / (n - 1);
	return 0.35875 - 0.48829 * std::cos (x) + 0.14128 * std::cos (2 * x) - 0.01168 * std::cos (3 * x);
}

std::array<EqBand, kNumBands> smoothBands ()
{
	std::array<EqBand, kNumBands> bands {};
	bands[0] = makeBand (kBell, 1000, 6, 1.0, 1);
	bands[3] = makeBand (kLowShelf, 150, -4, 0.7, 1);
	bands[7] = makeBand (kHighCut, 12000, 0, 0.707, 1);
	bands[11] = makeBand (kTiltShelf, 3000, 3, 0.5, 2);
	bands[20] = makeBand (kLowCut, 30, 0, 0.707, 0);
	return bands;
}

TEST (LinearPhaseKernel, EqualsWindowedInverseDftOfTheCombinedMagnitude)
{
	const auto bands = smoothBands ();
	const int n = 2048;
	const double fs = 44100;
	std::vector<double> m (n / 2 + 1);
	for (int k = 0; k <= n / 2; ++k)
		m[k] = std::abs (combinedResponse (bands, k * fs / n, fs));
	const std::vector<double> h = designKernel (bands, fs, n);
	ASSERT_EQ (static_cast<int> (h.size ()), n);
	for (int i = 0; i < n; ++i)
	{
		// Unnormalised inverse of a real, even spectrum at time (i + n/2) mod n, then 1/n and the window.
		const int t = (i + n / 2) % n;
		double r = m[0] + m[n / 2] * (t % 2 ? -1 : 1);
		for (int k = 1; k < n / 2; ++k)
			r += 2 * m[k] * std::cos (2 * kPi * k * t / n);
		ASSERT_NEAR (h[i], window (i, n) * r / n, 1e-13) << "tap " << i;
	}
	std::array<EqBand, kNumBands> broken {};
	broken[2] = makeBand (kBell, std::nan (""), 6, 1, 1);
	for (double v : designKernel (broken, 48000, 2048))
		ASSERT_TRUE (std::isfinite (v));
	EXPECT_TRUE (designKernel (bands, 48000, 7).empty ());
}

TEST (LinearPhaseKernel, IsSymmetricAndItsSpectrumFollowsTheBands)
{
	const auto bands = smoothBands ();
	const int n = 16384;
	const double fs = 48000;
	const std::vector<double> h = designKernel (bands, fs, n);
	// Linear phase: the impulse under the window is symmetric about n/2 (the symmetric window
	// itself is centred half a sample earlier, so compare unwindowed).
	for (int i = 1; i < n / 2; ++i)
		ASSERT_NEAR (h[n / 2 - i] / window (n / 2 - i, n), h[n / 2 + i] / window (n / 2 + i, n),
		             1e-12 * std::max (1.0, std::fabs (h[n / 2 + i] / window (n / 2 + i, n)))) << i;
	// Its response by direct DFT, the n/2 delay removed: real, and the bands' magnitude within
	// what the window's smoothing leaves.
	for (double f : {60.0, 150.0, 400.0, 1000.0, 2500.0, 6000.0, 11000.0, 16000.0})
	{
		std::complex<double> sum (0, 0);
		for (int i = 0; i < n; ++i)
			sum += h[i] * std::exp (std::complex<double> (0, -2 * kPi * f * (i - n / 2) / fs));
		EXPECT_NEAR (20 * std::log10 (std::abs (sum)), 20 * std::log10 (std::abs (combinedResponse (bands, f, fs))), 0.05) << f;
		EXPECT_NEAR (std::arg (sum), 0.0, 1e-4) << f;
	}
}

TEST (LinearPhaseEngine, PassesThroughUntilBuiltThenDelaysByItsLatency)
{
	LinearPhaseEngine engine;
	const std::pair<int, int> lengths[] = {{16384, 8320}, {3000, 2176}, {2048, 1152}, {1 << 20, 8320}, {-1, 1152}};
	for (const auto& [n, latency] : lengths)  // unsupported lengths round up to a supported one
	{
		engine.setKernelLength (n);
		EXPECT_EQ (engine.latencySamples (), latency) << n;
	}
	std::vector<float> in (4000), out (4000);
	for (std::size_t i = 0; i < in.size (); ++i)
		in[i] = static_cast<float> (std::sin (0.01 * i) + 0.3 * std::cos (0.37 * i));
	engine.processBlock (0, in.data (), out.data (), 500);
	EXPECT_EQ (std::vector<float> (out.begin (), out.begin () + 500), std::vector<float> (in.begin (), in.begin () + 500));

	const std::array<EqBand, kNumBands> none {};
	engine.update (none);
	EXPECT_FALSE (engine.isDirty ());
	engine.setSampleRate (-5);
	engine.setSampleRate (std::nan (""));
	EXPECT_FALSE (engine.isDirty ());
	const int latency = engine.latencySamples ();
	for (int channel : {0, 1})
	{
		std::vector<float> buffer = in;  // in place, odd block sizes
		for (int start = 0; start < 4000; start += 333)
			engine.processBlock (channel, buffer.data () + start, buffer.data () + start, std::min (333, 4000 - start));
		for (int i = 0; i < 4000; ++i)  // all bands off: one windowed tap at the centre
			ASSERT_NEAR (buffer[i], i < latency ? 0.0 : window (1024, 2048) * in[i - latency], 2e-6) << channel << " " << i;
	}
	engine.setSampleRate (96000);
	EXPECT_TRUE (engine.isDirty ());
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
			in[i] = static_cast<float> (amplitude * std::sin (2 * kPi * f * (start + i) / fs));
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
	const double maxStep = 2 * kPi * f / fs * amplitude * std::pow (10, 0.5 / 20) * 1.05;
	for (int i = settled + 1; i < total; ++i)
		ASSERT_LE (std::fabs (out[i] - out[i - 1]), maxStep) << i;
}

TEST (LinearPhaseEngine, InstancesBuiltOnSeveralThreadsAtOnceAgree)
{
	// Instances in one process build their engines concurrently: transform planning is shared and
	// serialised, and each must come out with the same, correct filter.
	const auto bands = smoothBands ();
	std::vector<std::vector<float>> outputs (4);
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back ([&bands, &outputs, t] {
			LinearPhaseEngine engine;
			engine.setKernelLength (4096);
			engine.update (bands);
			std::vector<float> buffer (6000, 0.0f);
			buffer[0] = 1.0f;
			engine.processBlock (0, buffer.data (), buffer.data (), static_cast<int> (buffer.size ()));
			outputs[t] = buffer;
		});
	for (std::thread& t : threads)
		t.join ();
	const std::vector<double> kernel = designKernel (bands, 48000, 4096);
	for (int t = 0; t < 4; ++t)
		for (int i = 0; i < 4096; ++i)
			ASSERT_NEAR (outputs[t][128 + i], kernel[i], 1e-6) << "thread " << t << " tap " << i;
}

} // namespace
} // namespace QuenrilEQ
