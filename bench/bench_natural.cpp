// Natural-mode chain speed, 48 kHz, 512-sample blocks, once per instruction
// set this CPU runs (name suffix /sse2, /avx2, /avx512). Counters:
//   rt_factor                 seconds of audio processed per second of CPU time
//   time_per_section          CPU time per stereo section and sample (a band section on both channels)
//   time_per_channel_section  CPU time per section, channel and sample: a Left, Right, Mid or Side
//                             band filters one channel, a Stereo band two
#include "band_chain.h"
#include "band_design.h"
#include "band_dynamics.h"
#include "kernel_table.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {
using namespace QuenrilEQ;

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

/** 24 bells at the given slope, alternately +6 and -6 dB, spread from 30 Hz up. */
BandBank bellBank (bool dynamics, std::int32_t slope = 4, std::int32_t channel = kStereo)
{
	BandBank bank;
	bank.sampleRate = kRate;
	for (int i = 0; i < kNumBands; ++i)
	{
		EqBand& band = bank.bands[static_cast<std::size_t> (i)];
		band.enabled = true;
		band.channel = channel;
		band.dynamicsEnabled = dynamics;
		band.threshold = -40.0;
		band.ratio = 3.0;
		designBand (band, kBell, 30.0 * std::pow (1.3, i), i % 2 ? -6.0 : 6.0, 1.0, slope, kRate);
		resetBandState (band);
	}
	return bank;
}

/** What a mix engineer typically leaves on: five bands of 12 to 24 dB/oct, one of them dynamic. */
BandBank typicalPreset ()
{
	BandBank bank;
	bank.sampleRate = kRate;
	struct Setting
	{
		std::int32_t shape;
		double freq, gain, q;
		std::int32_t slope;
		bool dynamic;
	};
	const Setting settings[] = {{kLowCut, 40.0, 0.0, 0.707, 2, false},   {kLowShelf, 120.0, 2.5, 0.7, 1, false},
	                            {kBell, 350.0, -3.0, 1.4, 1, false},     {kBell, 3500.0, 4.0, 2.0, 1, true},
	                            {kHighShelf, 10000.0, 2.0, 0.7, 2, false}};
	for (int i = 0; i < 5; ++i)
	{
		const Setting& s = settings[i];
		EqBand& band = bank.bands[static_cast<std::size_t> (2 * i)];
		band.enabled = true;
		band.dynamicsEnabled = s.dynamic;
		band.threshold = -30.0;
		band.ratio = 2.0;
		band.attack = 5.0;
		band.release = 80.0;
		designBand (band, s.shape, s.freq, s.gain, s.q, s.slope, kRate);
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

/** Stereo sections (a section on both channels) and channel-sections of the enabled bands. */
void setCounters (benchmark::State& state, const BandBank& bank, bool oneChannel)
{
	double stereoSections = 0, channelSections = 0;
	for (const EqBand& band : bank.bands)
	{
		if (!band.enabled)
			continue;
		const double n = band.firstOrder ? 1 : band.numSections;
		stereoSections += n;
		channelSections += oneChannel || band.channel != kStereo ? n : 2 * n;
	}
	const double samples = static_cast<double> (state.iterations ()) * kBlock;
	using C = benchmark::Counter;
	state.counters["rt_factor"] = C (samples / kRate, C::kIsRate);
	// Inverted rates: CPU seconds per section and sample, printed with an SI prefix (n = ns).
	state.counters["time_per_section"] = C (samples * stereoSections, C::kIsRate | C::kInvert);
	state.counters["time_per_channel_section"] = C (samples * channelSections, C::kIsRate | C::kInvert);
}

/** Stereo through processStereoBlock, or the left signal alone through processMonoBlock. */
void runBlockBench (benchmark::State& state, BandBank bank, bool mono = false)
{
	const Signal input;
	std::vector<double> l (kBlock), r (kBlock);
	for (auto _ : state)
	{
		// Fresh input every block, so the bells' gains do not compound from block to block.
		l = input.left;
		if (mono)
			processMonoBlock (bank, l.data (), kBlock);
		else
		{
			r = input.right;
			processStereoBlock (bank, l.data (), r.data (), nullptr, nullptr, kBlock);
		}
		benchmark::DoNotOptimize (l.data ());
		benchmark::DoNotOptimize (r.data ());
	}
	setCounters (state, bank, mono);
}

/** Every target once per group of five, as a busy session might have them. */
BandBank mixedTargets ()
{
	BandBank bank = bellBank (false);
	for (int i = 0; i < kNumBands; ++i)
		bank.bands[static_cast<std::size_t> (i)].channel = i % 5;
	return bank;
}

/** Registers each case once per instruction set this CPU runs; the set is forced while it runs. */
int registerPerInstructionSet ()
{
	const std::pair<const char*, std::function<void (benchmark::State&)>> cases[] = {
	    {"BM_Bells96Block", [] (benchmark::State& s) { runBlockBench (s, bellBank (false)); }},
	    {"BM_Bells96DynamicsBlock", [] (benchmark::State& s) { runBlockBench (s, bellBank (true)); }},
	    {"BM_Bells12Block", [] (benchmark::State& s) { runBlockBench (s, bellBank (false, 1)); }},
	    {"BM_TypicalPresetBlock", [] (benchmark::State& s) { runBlockBench (s, typicalPreset ()); }},
	    {"BM_MixedTargets96Block", [] (benchmark::State& s) { runBlockBench (s, mixedTargets ()); }},
	    {"BM_Left96Block", [] (benchmark::State& s) { runBlockBench (s, bellBank (false, 4, kLeft)); }},
	    {"BM_Mid96Block", [] (benchmark::State& s) { runBlockBench (s, bellBank (false, 4, kMid)); }},
	    {"BM_Side96Block", [] (benchmark::State& s) { runBlockBench (s, bellBank (false, 4, kSide)); }},
	    {"BM_Bells96MonoBlock", [] (benchmark::State& s) { runBlockBench (s, bellBank (false), true); }},
	};
	for (InstructionSet set : kInstructionSets)
	{
		if (!isSupported (set))
			continue;
		for (const auto& [name, body] : cases)
			benchmark::RegisterBenchmark ((std::string (name) + "/" + instructionSetName (set)).c_str (),
			                              [set, body = body] (benchmark::State& s) {
				                              useInstructionSet (set);
				                              body (s);
				                              useInstructionSet (bestInstructionSet ());
			                              });
	}
	return 0;
}
const int registered = registerPerInstructionSet ();
} // namespace
