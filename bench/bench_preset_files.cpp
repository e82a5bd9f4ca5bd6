// How long the UI thread is held by preset text handling and by one save of
// the current-state file (which the controller does at most every 200 ms
// while parameters move). Runs with its own temporary HOME.
#include "controller.h"
#include "preset_format.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

/** A throw-away HOME for the benchmark's files, removed afterwards. */
class BenchHome
{
public:
	BenchHome ()
	{
		char pattern[] = "/tmp/qeq-bench-XXXXXX";
		const char* made = mkdtemp (pattern);
		dir = made ? made : "/tmp";
		if (const char* old = std::getenv ("HOME"))
			previous = old;
		setenv ("HOME", dir.c_str (), 1);
	}
	~BenchHome ()
	{
		setenv ("HOME", previous.c_str (), 1);
		std::error_code ignored;
		std::filesystem::remove_all (dir, ignored);
	}

private:
	std::string dir;
	std::string previous;
};

using WallClock = std::chrono::steady_clock;

/** Wall-clock microseconds per iteration since start. */
benchmark::Counter perIteration (WallClock::time_point start)
{
	const double us = std::chrono::duration<double, std::micro> (WallClock::now () - start).count ();
	return benchmark::Counter (us, benchmark::Counter::kAvgIterations);
}

void BM_FormatPresetText (benchmark::State& state)
{
	const auto start = WallClock::now ();
	for (auto _ : state)
	{
		std::string text = QuenrilEQ::formatPresetText ([] (QuenrilEQ::ParamId id) { return (id % 1000) / 999.0; });
		benchmark::DoNotOptimize (text);
	}
	state.counters["us_per_file"] = perIteration (start);
}
BENCHMARK (BM_FormatPresetText);

void BM_ParsePresetText (benchmark::State& state)
{
	const std::string text = QuenrilEQ::formatPresetText ([] (QuenrilEQ::ParamId id) { return (id % 1000) / 999.0; });
	const auto start = WallClock::now ();
	for (auto _ : state)
	{
		auto lines = QuenrilEQ::parsePresetText (text);
		benchmark::DoNotOptimize (lines);
	}
	state.counters["us_per_file"] = perIteration (start);
}
BENCHMARK (BM_ParsePresetText);

/** One throttled save of the current state, flushed to the disk: the worst
    pause a parameter change can cause on the UI thread. */
void BM_CurrentStateSave (benchmark::State& state)
{
	BenchHome home;
	auto* controller = new QuenrilEQ::QuenrilEQController ();
	controller->initialize (nullptr);
	std::int64_t now = 0;
	controller->setClock ([&now] { return now; });
	double value = 0.0;
	const auto start = WallClock::now ();
	for (auto _ : state)
	{
		now += 250'000'000;  // always past the 200 ms window
		value = value > 0.5 ? 0.1 : value + 0.01;
		controller->setParamNormalized (2003, value);
	}
	state.counters["us_per_save"] = perIteration (start);
	controller->terminate ();
	controller->release ();
}
// Wall-clock time: the flush to the disk is waiting, not computing.
BENCHMARK (BM_CurrentStateSave)->Unit (benchmark::kMicrosecond)->UseRealTime ();

} // namespace
