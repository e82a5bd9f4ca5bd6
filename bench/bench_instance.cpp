// What the editor's live view costs. Capture: the audio thread's writes of one
// 512-frame stereo block (input, output and side-chain, then the bands), to be
// set against the natural worst case (BM_Bells96Block, same block). Analysis:
// one "getInstanceAnalysis" at 512 points on a linked instance, JSON included.
#include "analysis_bindings.h"
#include "../tests/controller/controller_test_support.h"  // TempHome: controllers save their state under HOME
#include "controller.h"
#include "instance_capture.h"
#include "processor.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {
using namespace QuenrilEQ;

constexpr int kBlock = 512;

void BM_CaptureBlock512 (benchmark::State& state)
{
	InstanceCapture capture;
	BandBank bank;
	std::vector<float> left (kBlock), right (kBlock);
	for (int i = 0; i < kBlock; ++i)
		left[static_cast<std::size_t> (i)] = right[static_cast<std::size_t> (i)] = static_cast<float> (std::sin (i * 0.1));
	for (auto _ : state)
	{
		capture.write (InstanceCapture::kPre, left.data (), right.data (), kBlock);
		capture.write (InstanceCapture::kSidechain, left.data (), right.data (), kBlock);
		capture.write (InstanceCapture::kPost, left.data (), right.data (), kBlock);
		capture.publish (kBlock);
		capture.publishBands (bank);
		benchmark::ClobberMemory ();
	}
}
BENCHMARK (BM_CaptureBlock512);

void BM_InstanceAnalysis512 (benchmark::State& state)
{
	const QuenrilEQ::testing::TempHome home;
	Steinberg::Vst::HostApplication host;
	Steinberg::IPtr<QuenrilEQProcessor> processor = Steinberg::owned (new QuenrilEQProcessor);
	Steinberg::IPtr<QuenrilEQController> controller = Steinberg::owned (new QuenrilEQController);
	processor->initialize (&host);
	controller->initialize (&host);
	processor->connect (controller);
	controller->connect (processor);
	for (int b = 0; b < kNumBands; ++b)
	{
		controller->setParamNormalized (bandParamId (b, kFieldEnabled), 1.0);
		controller->setParamNormalized (bandParamId (b, kFieldDynamicsEnabled), 1.0);
	}
	AnalysisBindings analysis (controller);
	std::uint64_t frames = 0;
	for (auto _ : state)
	{
		// Audio arrives between two polls, so every call does the full work.
		state.PauseTiming ();
		std::vector<float> noise (InstanceCapture::kFrames / 4);
		for (std::size_t i = 0; i < noise.size (); ++i)
			noise[i] = static_cast<float> (std::sin (0.37 * static_cast<double> (++frames)));
		// Written directly: the capture is what the processor would fill.
		auto link = controller->instanceLink ();
		link->capture.write (InstanceCapture::kPre, noise.data (), noise.data (), static_cast<int> (noise.size ()));
		link->capture.write (InstanceCapture::kPost, noise.data (), noise.data (), static_cast<int> (noise.size ()));
		link->capture.publish (static_cast<int> (noise.size ()));
		state.ResumeTiming ();
		benchmark::DoNotOptimize (analysis.Analysis (512));
	}
	processor->disconnect (controller);
	controller->disconnect (processor);
	controller->terminate ();
	processor->terminate ();
}
BENCHMARK (BM_InstanceAnalysis512)->Unit (benchmark::kMillisecond);

} // namespace
