// Natural-mode chain speed: 24 stereo bells at 96 dB/oct (192 sections per
// channel), 48 kHz, 512-sample blocks. Counters: rt_factor = seconds of
// audio processed per second of CPU time; time_per_section = CPU time per stereo
// section and sample.
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {
using namespace QuenrilEQ;

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

BandBank bellBank (bool dynamics, std::int32_t slope = 4)
{
	BandBank bank;
	bank.sampleRate = kRate;
	for (int i = 0; i < kNumBands; ++i)
	{
		EqBand& band = bank.bands[static_cast<std::size_t> (i)];
		band.enabled = true;
		band.channel = kStereo;
		band.dynamicsEnabled = dynamics;
		band.threshold = -40.0;
		band.ratio = 3.0;
		designBand (band, kBell, 30.0 * std::pow (1.3, i), i % 2 ? -6.0 : 6.0, 1.0, slope, kRate);
		resetBandState (band);
	}
	return bank;
}

struct Signal
{
	std::vector<double> left, right;
	Signal () : left (kBlock), right (kBlock)
	{
		std::mt19937 rng (1);
		std::uniform_real_distribution<double> noise (-0.25, 0.25);
		for (int n = 0; n < kBlock; ++n)
		{
			left[static_cast<std::size_t> (n)] = noise (rng);
			right[static_cast<std::size_t> (n)] = noise (rng);
		}
	}
};

void setCounters (benchmark::State& state, int sectionsPerChannel)
{
	const double samples = static_cast<double> (state.iterations ()) * kBlock;
	state.counters["rt_factor"] = benchmark::Counter (samples / kRate, benchmark::Counter::kIsRate);
	// Inverted rate: CPU seconds per stereo section and sample, printed with an SI prefix (n = ns).
	state.counters["time_per_section"] = benchmark::Counter (
	    samples * sectionsPerChannel, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void runBlockBench (benchmark::State& state, BandBank bank)
{
	const Signal input;
	std::vector<double> l (kBlock), r (kBlock);
	int sections = 0;
	for (const EqBand& band : bank.bands)
		sections += band.enabled ? band.numSections : 0;
	for (auto _ : state)
	{
		// Fresh input every block, so the bells' gains do not compound from block to block.
		l = input.left;
		r = input.right;
		processStereoBlock (bank, l.data (), r.data (), nullptr, nullptr, kBlock);
		benchmark::DoNotOptimize (l.data ());
		benchmark::DoNotOptimize (r.data ());
	}
	setCounters (state, sections);
}

void BM_Bells96Block (benchmark::State& state)
{
	runBlockBench (state, bellBank (false));
}

void BM_Bells96DynamicsBlock (benchmark::State& state)
{
	runBlockBench (state, bellBank (true));
}

void BM_Bells12Block (benchmark::State& state)
{
	runBlockBench (state, bellBank (false, 1));
}

/** Every target once per group of five, to show the cost of the mono and mid/side paths. */
void BM_MixedTargets96Block (benchmark::State& state)
{
	BandBank bank = bellBank (false);
	for (int i = 0; i < kNumBands; ++i)
		bank.bands[static_cast<std::size_t> (i)].channel = i % 5;
	runBlockBench (state, bank);
}

/** The per-sample reference, for comparison. */
void BM_Bells96PerSampleReference (benchmark::State& state)
{
	BandBank bank = bellBank (false);
	const Signal input;
	std::vector<double> l (kBlock), r (kBlock);
	for (auto _ : state)
	{
		l = input.left;
		r = input.right;
		for (int n = 0; n < kBlock; ++n)
			processStereoSample (bank, l[static_cast<std::size_t> (n)], r[static_cast<std::size_t> (n)], 0.0, 0.0);
		benchmark::DoNotOptimize (l.data ());
		benchmark::DoNotOptimize (r.data ());
	}
	setCounters (state, kNumBands * 8);
}

void BM_Bells96MonoBlock (benchmark::State& state)
{
	BandBank bank = bellBank (false);
	const Signal input;
	std::vector<double> m (kBlock);
	for (auto _ : state)
	{
		m = input.left;
		processMonoBlock (bank, m.data (), kBlock);
		benchmark::DoNotOptimize (m.data ());
	}
	setCounters (state, kNumBands * 8);
}

BENCHMARK (BM_Bells96Block);
BENCHMARK (BM_Bells96DynamicsBlock);
BENCHMARK (BM_Bells12Block);
BENCHMARK (BM_MixedTargets96Block);
BENCHMARK (BM_Bells96PerSampleReference);
BENCHMARK (BM_Bells96MonoBlock);
} // namespace
