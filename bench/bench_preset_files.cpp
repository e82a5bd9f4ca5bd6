// How long the UI thread is held by preset text handling and by one save of
// the current-state file (which the controller does at most every 200 ms
// while parameters move).
#include "../tests/controller/controller_test_support.h"  // TempHome: controllers save their state under HOME
#include "controller.h"
#include "preset_format.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

double someValue (QuenrilEQ::ParamId id)
{
	return (id % 1000) / 999.0;
}

void BM_FormatPresetText (benchmark::State& state)
{
	for (auto _ : state)
		benchmark::DoNotOptimize (QuenrilEQ::formatPresetText (someValue));
}
BENCHMARK (BM_FormatPresetText)->Unit (benchmark::kMicrosecond);

void BM_ParsePresetText (benchmark::State& state)
{
	const std::string text = QuenrilEQ::formatPresetText (someValue);
	for (auto _ : state)
		benchmark::DoNotOptimize (QuenrilEQ::parsePresetText (text));
}
BENCHMARK (BM_ParsePresetText)->Unit (benchmark::kMicrosecond);

/** One throttled save of the current state, flushed to the disk: the worst
    pause a parameter change can cause on the UI thread. */
void BM_CurrentStateSave (benchmark::State& state)
{
	const QuenrilEQ::testing::TempHome home;
	auto controller = Steinberg::owned (new QuenrilEQ::QuenrilEQController ());
	controller->initialize (nullptr);
	std::int64_t now = 0;
	controller->setClock ([&now] { return now; });
	double value = 0.0;
	for (auto _ : state)
	{
		now += 250'000'000;  // always past the 200 ms window
		value = value > 0.5 ? 0.1 : value + 0.01;
		controller->setParamNormalized (2003, value);
	}
	controller->terminate ();
}
// Wall-clock time: the flush to the disk is waiting, not computing.
BENCHMARK (BM_CurrentStateSave)->Unit (benchmark::kMicrosecond)->UseRealTime ();

} // namespace
