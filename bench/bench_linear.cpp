// Linear-phase engine speed: convolution against real time, and the
// audio-thread rebuild against its 2 ms budget (24 bands, 16384 taps).
//   x_realtime  seconds of 48 kHz audio processed per second of CPU (one channel)
//   CPU time    of BM_EngineRebuild: one rebuild
//   allocs      heap allocations (malloc family, so FFTW's too) inside the timed loop: must be 0
#include "linear_phase_engine.h"
#include "two_stage_convolver.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

// Counts the process's heap allocations while a linear-phase benchmark runs, by wrapping glibc's
// allocator (operator new and FFTW both end up here). Left out of sanitizer builds, which bring
// their own allocator.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QEQ_COUNT_ALLOCATIONS 1
namespace {
std::atomic<bool> countingAllocations {false};
std::atomic<long> allocationCount {0};
void noteAllocation () noexcept
{
	if (countingAllocations.load (std::memory_order_relaxed))
		allocationCount.fetch_add (1, std::memory_order_relaxed);
}
} // namespace
extern "C" {
void* __libc_malloc (std::size_t);
void* __libc_calloc (std::size_t, std::size_t);
void* __libc_realloc (void*, std::size_t);
void* __libc_memalign (std::size_t, std::size_t);
void* malloc (std::size_t n) { noteAllocation (); return __libc_malloc (n); }
void* calloc (std::size_t count, std::size_t n) { noteAllocation (); return __libc_calloc (count, n); }
void* realloc (void* p, std::size_t n) { noteAllocation (); return __libc_realloc (p, n); }
void* memalign (std::size_t alignment, std::size_t n) { noteAllocation (); return __libc_memalign (alignment, n); }
void* aligned_alloc (std::size_t alignment, std::size_t n) { noteAllocation (); return __libc_memalign (alignment, n); }
int posix_memalign (void** p, std::size_t alignment, std::size_t n)
{
	noteAllocation ();
	*p = __libc_memalign (alignment, n);
	return *p != nullptr ? 0 : 12;  // ENOMEM
}
}
#endif

namespace QuenrilEQ {
namespace {

// 24 enabled bands over every shape and slope, as a busy session would have.
std::array<EqBand, kNumBands> busyBands ()
{
	std::array<EqBand, kNumBands> bands {};
	for (int i = 0; i < kNumBands; ++i)
	{
		EqBand& b = bands[static_cast<std::size_t> (i)];
		b.enabled = true;
		b.shape = i % kNumBandShapes;
		b.freq = 25.0 * std::pow (1.3, i);
		b.gain = (i % 7) * 3.0 - 9.0;
		b.q = 0.5 + 0.25 * (i % 5);
		b.slope = i % kNumSlopes;
	}
	return bands;
}

// Counts allocations from construction to destruction of one scope, into a benchmark counter.
class AllocationCounter
{
public:
	explicit AllocationCounter (benchmark::State& s) : state (s)
	{
#ifdef QEQ_COUNT_ALLOCATIONS
		allocationCount = 0;
		countingAllocations = true;
#endif
	}
	~AllocationCounter ()
	{
#ifdef QEQ_COUNT_ALLOCATIONS
		countingAllocations = false;
		state.counters["allocs"] = static_cast<double> (allocationCount.load ());
#endif
	}
	AllocationCounter (const AllocationCounter&) = delete;
	AllocationCounter& operator= (const AllocationCounter&) = delete;

private:
	benchmark::State& state;
};

// Linear mode's convolver over one second of noise in 10 ms host blocks.
void BM_Convolver (benchmark::State& state)
{
	const int taps = static_cast<int> (state.range (0));
	std::mt19937 rng (1);
	std::uniform_real_distribution<double> u (-1, 1);
	std::vector<double> kernel (static_cast<std::size_t> (taps));
	for (double& v : kernel)
		v = u (rng) * 0.01;
	std::vector<float> input (48000), output (48000);
	for (float& v : input)
		v = static_cast<float> (u (rng));
	TwoStageConvolver conv (16384);
	conv.loadKernel (kernel.data (), taps);
	{
		AllocationCounter allocations (state);
		for (auto _ : state)
		{
			for (int start = 0; start < 48000; start += 480)
				conv.process (input.data () + start, output.data () + start, 480);
			benchmark::DoNotOptimize (output.data ());
		}
	}
	// One iteration is one second of audio.
	state.counters["x_realtime"] = benchmark::Counter (static_cast<double> (state.iterations ()), benchmark::Counter::kIsRate);
}
BENCHMARK (BM_Convolver)->Arg (2048)->Arg (16384)->Unit (benchmark::kMillisecond);

void BM_EngineProcessStereo (benchmark::State& state)
{
	LinearPhaseEngine engine;
	engine.setKernelLength (static_cast<int> (state.range (0)));
	engine.update (busyBands ());
	std::vector<float> left (480), right (480);
	for (std::size_t i = 0; i < left.size (); ++i)
		left[i] = right[i] = static_cast<float> (std::sin (0.05 * static_cast<double> (i)));
	{
		AllocationCounter allocations (state);
		for (auto _ : state)
		{
			for (int block = 0; block < 100; ++block)  // one second in 10 ms host blocks
			{
				engine.processBlock (0, left.data (), left.data (), 480);
				engine.processBlock (1, right.data (), right.data (), 480);
			}
			benchmark::DoNotOptimize (left.data ());
		}
	}
	// Both channels: one iteration is one second of stereo audio.
	state.counters["x_realtime_stereo"] = benchmark::Counter (static_cast<double> (state.iterations ()), benchmark::Counter::kIsRate);
}
BENCHMARK (BM_EngineProcessStereo)->Arg (16384)->Unit (benchmark::kMillisecond);

void BM_EngineRebuild (benchmark::State& state)
{
	LinearPhaseEngine engine;
	engine.setKernelLength (static_cast<int> (state.range (0)));
	auto bands = busyBands ();
	engine.update (bands);  // first build; the rest are the crossfading rebuilds automation causes
	int step = 0;
	{
		AllocationCounter allocations (state);
		for (auto _ : state)
		{
			bands[0].gain = (step++ % 10) * 0.5;
			engine.markDirty ();
			engine.update (bands);
		}
	}
}
BENCHMARK (BM_EngineRebuild)->Arg (2048)->Arg (16384)->Unit (benchmark::kMillisecond);

} // namespace
} // namespace QuenrilEQ
