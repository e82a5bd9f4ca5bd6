// The linear-phase kernel against its definition (inverse DFT of the bands'
// magnitude, rotated and windowed, computed directly here), its own spectrum
// against the bands, and the engine as the processor drives it.
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

TEST (LinearPhaseKernel, AllBandsOffIsOneWindowedTapAtTheCentre)
{
	const std::array<EqBand, kNumBands> none {};
	for (int n : kKernelLengths)
	{
		const std::vector<double> h = designKernel (none, 48000, n);
		ASSERT_EQ (static_cast<int> (h.size ()), n);
		for (int i = 0; i < n; ++i)
			ASSERT_NEAR (h[i], i == n / 2 ? window (n / 2, n) : 0.0, 1e-14) << n << " tap " << i;
	}
	EXPECT_NEAR (designKernel (none, 48000, 2048)[1024], 0.9999986, 1e-7);
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
	for (int i = 0; i < n; ++i)
	{
		// Unnormalised inverse of a real, even spectrum, at time (i + n/2) mod n, then 1/n and the window.
		const int t = (i + n / 2) % n;
		double r = m[0] + m[n / 2] * (t % 2 ? -1 : 1);
		for (int k = 1; k < n / 2; ++k)
			r += 2 * m[k] * std::cos (2 * kPi * k * t / n);
		ASSERT_NEAR (h[i], window (i, n) * r / n, 1e-13) << "tap " << i;
	}
}

TEST (LinearPhaseKernel, IsSymmetricAndItsSpectrumFollowsTheBands)
{
	const auto bands = smoothBands ();
	const int n = 16384;
	const double fs = 48000;
	const std::vector<double> h = designKernel (bands, fs, n);
	// Linear phase: the impulse under the window is symmetric about n/2 (tap 0 has no partner). The
	// symmetric window itself is centred half a sample earlier, at (n-1)/2, so compare unwindowed.
	for (int i = 1; i < n / 2; ++i)
	{
		const double before = h[n / 2 - i] / window (n / 2 - i, n);
		const double after = h[n / 2 + i] / window (n / 2 + i, n);
		ASSERT_NEAR (before, after, 1e-12 * std::max (1.0, std::fabs (after))) << i;
	}

	// The kernel's own response, by direct DFT, with its n/2 delay removed: real (no phase left) and
	// equal to the bands' magnitude within what the window's smoothing leaves (0.05 dB here).
	for (double f : {60.0, 150.0, 400.0, 1000.0, 2500.0, 6000.0, 11000.0, 16000.0})
	{
		std::complex<double> sum (0, 0);
		for (int i = 0; i < n; ++i)
			sum += h[i] * std::exp (std::complex<double> (0, -2 * kPi * f * (i - n / 2) / fs));
		const double target = std::abs (combinedResponse (bands, f, fs));
		EXPECT_NEAR (20 * std::log10 (std::abs (sum)), 20 * std::log10 (target), 0.05) << f << " Hz";
		EXPECT_NEAR (std::arg (sum), 0.0, 1e-4) << f << " Hz";  // radians: a pure n/2 delay
	}
}

TEST (LinearPhaseKernel, BrokenRecordsGiveAFiniteKernel)
{
	std::array<EqBand, kNumBands> bands {};
	bands[2] = makeBand (kBell, std::nan (""), 6, 1, 1);
	const std::vector<double> h = designKernel (bands, 48000, 2048);
	for (double v : h)
		ASSERT_TRUE (std::isfinite (v));
	EXPECT_TRUE (designKernel (bands, 48000, 7).empty ());
}

//------------------------------------------------------------------------
TEST (LinearPhaseEngine, PassesThroughUntilBuiltThenDelaysByItsLatency)
{
	LinearPhaseEngine engine;
	EXPECT_TRUE (engine.isDirty ());
	EXPECT_FALSE (engine.hasConvolvers ());
	EXPECT_EQ (engine.latencySamples (), 1152);

	std::vector<float> in (4000), out (4000);
	for (std::size_t i = 0; i < in.size (); ++i)
		in[i] = static_cast<float> (std::sin (0.01 * i) + 0.3 * std::cos (0.37 * i));
	engine.processBlock (0, in.data (), out.data (), 500);
	for (int i = 0; i < 500; ++i)
		ASSERT_EQ (out[i], in[i]);

	const std::array<EqBand, kNumBands> none {};
	engine.update (none);
	EXPECT_TRUE (engine.hasConvolvers ());
	EXPECT_FALSE (engine.isDirty ());
	const int latency = engine.latencySamples ();
	const double tap = window (1024, 2048);
	for (int channel : {0, 1})
	{
		std::vector<float> buffer = in;  // in place, odd block sizes
		for (int start = 0; start < 4000; start += 333)
			engine.processBlock (channel, buffer.data () + start, buffer.data () + start, std::min (333, 4000 - start));
		for (int i = 0; i < 4000; ++i)
		{
			const double expected = i < latency ? 0.0 : tap * in[i - latency];
			ASSERT_NEAR (buffer[i], expected, 2e-6) << "channel " << channel << " sample " << i;
		}
	}
}

TEST (LinearPhaseEngine, LengthRateAndDirtyRules)
{
	LinearPhaseEngine engine;
	const std::array<EqBand, kNumBands> none {};
	engine.update (none);
	ASSERT_FALSE (engine.isDirty ());

	engine.setKernelLength (2048);
	engine.setSampleRate (48000);
	engine.setSampleRate (-5);
	engine.setSampleRate (std::nan (""));
	EXPECT_FALSE (engine.isDirty ());
	EXPECT_EQ (engine.sampleRate (), 48000);

	const std::pair<int, int> lengths[] = {{16384, 8320}, {8192, 4224}, {4096, 2176}, {2048, 1152}};
	for (const auto& [n, latency] : lengths)
	{
		engine.setKernelLength (n);
		EXPECT_EQ (engine.latencySamples (), latency);
	}
	EXPECT_TRUE (engine.isDirty ());
	engine.update (none);
	engine.setKernelLength (3000);
	EXPECT_EQ (engine.kernelLength (), 4096);
	engine.setKernelLength (1 << 20);
	EXPECT_EQ (engine.kernelLength (), 16384);
	engine.setKernelLength (-1);
	EXPECT_EQ (engine.kernelLength (), 2048);

	engine.update (none);
	engine.setSampleRate (96000);
	EXPECT_TRUE (engine.isDirty ());
	EXPECT_EQ (engine.sampleRate (), 96000);
}

TEST (LinearPhaseEngine, RebuildsEveryTwentyMillisecondsWithoutGapsOrClicks)
{
	// A steady 1 kHz sine while a bell on it moves by up to 0.5 dB every 20 ms, the processor's
	// rebuild period, in host blocks that do not line up with the convolver's.
	LinearPhaseEngine engine;
	std::array<EqBand, kNumBands> bands {};
	bands[0] = makeBand (kBell, 1000, 0, 1.0, 1);
	bands[5] = makeBand (kHighCut, 9000, 0, 0.707, 1);
	const double fs = 48000, f = 1000, amplitude = 0.5;
	const int block = 480, total = 48000, period = 960;
	std::vector<float> out (total);
	int sinceRebuild = 0, step = 0;
	for (int start = 0; start < total; start += block)
	{
		sinceRebuild += block;
		if (sinceRebuild >= period)
		{
			sinceRebuild = 0;
			bands[0].gain = 0.5 * std::sin (0.7 * step++);  // dB
			engine.markDirty ();
			engine.update (bands);
		}
		std::vector<float> in (block);
		for (int i = 0; i < block; ++i)
			in[i] = static_cast<float> (amplitude * std::sin (2 * kPi * f * (start + i) / fs));
		engine.processBlock (0, in.data (), out.data () + start, block);
	}

	const int settled = 960 + engine.latencySamples () + engine.kernelLength ();
	std::vector<double> rms;
	for (int b = settled / 128 + 1; (b + 1) * 128 <= total; ++b)
	{
		double sum = 0;
		for (int i = b * 128; i < (b + 1) * 128; ++i)
			sum += out[i] * out[i];
		rms.push_back (std::sqrt (sum / 128));
	}
	ASSERT_GT (rms.size (), 200u);
	for (std::size_t b = 1; b < rms.size (); ++b)
		ASSERT_NEAR (20 * std::log10 (rms[b] / rms[b - 1]), 0.0, 1.0) << "block " << b;
	// No sample jumps beyond the steepest slope of the loudest sine the bell can make (+0.5 dB).
	const double maxStep = 2 * kPi * f / fs * amplitude * std::pow (10, 0.5 / 20) * 1.05;
	for (int i = settled + 1; i < total; ++i)
		ASSERT_LE (std::fabs (out[i] - out[i - 1]), maxStep) << i;
}

TEST (LinearPhaseEngine, InstancesBuiltOnSeveralThreadsAtOnceAgree)
{
	// Plug-in instances in one process construct their engines concurrently: transform planning
	// is shared and serialised, and every instance must come out with the same, correct filter.
	const auto bands = smoothBands ();
	constexpr int kThreads = 4;
	std::vector<std::vector<float>> outputs (kThreads);
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; ++t)
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
	for (int t = 0; t < kThreads; ++t)
		for (int i = 0; i < 4096; ++i)
			ASSERT_NEAR (outputs[t][128 + i], kernel[i], 1e-6)
			    << "thread " << t << " tap " << i;
}

} // namespace
} // namespace QuenrilEQ
