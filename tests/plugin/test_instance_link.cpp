// One instance's own view of its audio: processor and controller linked as a
// host connects them, the editor's analysis and audition functions, and the
// process-wide rings beside them.
#include "processor_rig.h"

#include "../controller/controller_test_support.h"
#include "analysis_bindings.h"
#include "controller.h"
#include "eq_bindings.h"
#include "parameters.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

using namespace QuenrilEQ;
using QuenrilEQ::testing::ProcessorRig;
using nlohmann::json;

namespace {

constexpr double kRate = 48000.0, kPi = 3.14159265358979323846;
constexpr int kBlock = 480;
constexpr double kBinHz = kRate / 4096;  // tones on bins of the analyser's window read exactly

Steinberg::Vst::HostApplication& hostContext ()
{
	static auto* const host = new Steinberg::Vst::HostApplication;  // process-wide, never released
	return *host;
}

enum class Connect { kProcessorFirst, kControllerFirst, kNot };

/** A processor and its controller, connected in the given order as a host connects them. */
class LinkedInstance
{
public:
	explicit LinkedInstance (Connect order = Connect::kProcessorFirst)
	: rig (std::make_unique<ProcessorRig> (kRate, kBlock, 2, 2, &hostContext ())), controller (Steinberg::owned (new QuenrilEQController))
	{
		controller->initialize (&hostContext ());
		if (order == Connect::kProcessorFirst)
			rig->processor->connect (controller);
		if (order != Connect::kNot)
			controller->connect (rig->processor);
		if (order == Connect::kControllerFirst)
			rig->processor->connect (controller);
		analysis = std::make_unique<AnalysisBindings> (controller);
	}
	~LinkedInstance ()
	{
		if (rig)
		{
			rig->processor->disconnect (controller);
			controller->disconnect (rig->processor);
		}
		analysis.reset ();
		controller->terminate ();
	}

	/** Runs blocks of tone(t) on both channels (t in seconds); keeps the left output. */
	void play (int blocks, const std::function<double (double)>& tone)
	{
		for (int b = 0; b < blocks; ++b, samples += kBlock)
		{
			for (int s = 0; s < kBlock; ++s)
				rig->buffers.input (0, 0)[s] = rig->buffers.input (0, 1)[s] = static_cast<float> (tone ((samples + s) / kRate));
			rig->run (kBlock);
			output.insert (output.end (), rig->buffers.output (0, 0), rig->buffers.output (0, 0) + kBlock);
		}
	}

	/** Sets a value on both sides, as a host delivers a page's edit. */
	void set (int band, int field, double value)
	{
		controller->setParamNormalized (bandParamId (band, field), value);
		rig->set (bandParamId (band, field), value);
	}

	std::unique_ptr<ProcessorRig> rig;
	Steinberg::IPtr<QuenrilEQController> controller;
	std::unique_ptr<AnalysisBindings> analysis;
	std::vector<float> output;
	long samples = 0;
};
const QuenrilEQ::testing::TempHome home;  // the controllers save their state here

std::function<double (double)> sine (double hz, double amplitude)
{
	return [=] (double t) { return amplitude * std::sin (2 * kPi * hz * t); };
}

/** The strongest level of an analysis spectrum within a bin of hz. */
double levelNear (const json& analysis, const char* spectrum, double hz)
{
	double best = -1e9;
	for (std::size_t i = 0; i < analysis["freqHz"].size (); ++i)
		if (std::fabs (analysis["freqHz"][i].get<double> () - hz) < kBinHz)
			best = std::max (best, analysis[spectrum][i].get<double> ());
	return best;
}

/** Level (dBFS) of hz in the last `count` samples, by correlation; with a Hann window when asked. */
double toneLevel (const std::vector<float>& x, double hz, std::size_t count, bool hann = false)
{
	double re = 0, im = 0, gain = 0;
	for (std::size_t i = 0; i < count; ++i)
	{
		const double w = hann ? 0.5 - 0.5 * std::cos (2 * kPi * i / count) : 1.0, phase = 2 * kPi * hz * i / kRate;
		re += w * x[x.size () - count + i] * std::cos (phase);
		im += w * x[x.size () - count + i] * std::sin (phase);
		gain += w;
	}
	return 20 * std::log10 (2 * std::hypot (re, im) / gain);
}

} // namespace

TEST (InstanceLink, EachEditorSeesItsOwnInstanceWhileTheRingsMixThemAll)
{
	const double low = 9 * kBinHz, high = 427 * kBinHz;  // about 105 Hz and 5 kHz
	LinkedInstance a (Connect::kProcessorFirst), b (Connect::kControllerFirst);  // either side may go first
	ASSERT_TRUE (a.controller->instanceLink () && b.controller->instanceLink ()) << "no link after connecting";
	for (int round = 0; round < 20; ++round)
	{
		a.play (1, sine (low, 0.5));
		b.play (1, sine (high, 0.25));
	}
	const json ofA = a.analysis->Analysis (2048), ofB = b.analysis->Analysis (2048);
	EXPECT_GE (levelNear (ofA, "post", low) - levelNear (ofA, "post", high), 40.0);
	EXPECT_GE (levelNear (ofB, "post", high) - levelNear (ofB, "post", low), 40.0);
	EXPECT_NEAR (levelNear (ofA, "post", low), toneLevel (a.output, low, 4096, true), 0.5);
	EXPECT_NEAR (levelNear (ofB, "pre", high), toneLevel (b.output, high, 4096, true), 0.5);
	EXPECT_LE (ofA["sidechain"][100].get<double> (), -140.0);
	EXPECT_NEAR (ofA["outputPeakDb"].get<double> (), 20 * std::log10 (0.5), 0.1);
	EXPECT_NEAR (ofA["outputRmsDb"].get<double> (), 20 * std::log10 (0.5 / std::sqrt (2.0)), 0.1);

	// The process-wide rings hold both instances' samples.
	const json rings = eqWaveformRaw (4096);
	const std::vector<float> left (rings["left"].begin (), rings["left"].end ());
	EXPECT_GT (toneLevel (left, low, 4096), -20.0);
	EXPECT_GT (toneLevel (left, high, 4096), -26.0);

	// Either side may disconnect first: the capture outlives its processor, and the processor
	// plays on without its editor.
	a.rig->processor->disconnect (a.controller);
	a.rig.reset ();
	EXPECT_TRUE (a.analysis->Analysis (32).is_object ());
	b.controller->disconnect (b.rig->processor);
	b.analysis.reset ();
	b.play (1, sine (high, 0.25));
	EXPECT_NEAR (toneLevel (b.output, high, kBlock), 20 * std::log10 (0.25), 0.1);

	// Without a connection there is no link and no audition.
	LinkedInstance alone (Connect::kNot);
	alone.set (0, kFieldEnabled, 1.0);
	EXPECT_TRUE (alone.analysis->Analysis (64).is_null ());
	EXPECT_FALSE (alone.analysis->Audition (json::array ({0})));
}

TEST (InstanceLink, LiveGainAndAuditionAreWhatTheBandDoes)
{
	// A dynamic bell: its live gain is what it does to a tone burst.
	LinkedInstance x;
	const double centre = 1000.0, away = 125.0;  // three octaves below
	for (const auto& [field, value] : {std::pair {kFieldEnabled, 1.0}, {kFieldFreq, freqToNormalized (centre)}, {kFieldGain, gainToNormalized (9.0)},
	                                   {kFieldQ, qToNormalized (2.0)}, {kFieldDynamicsEnabled, 1.0}, {kFieldThreshold, thresholdToNormalized (-30.0)}})
		x.set (0, field, value);
	x.play (20, sine (centre, 0.001));  // quiet: below threshold
	const json quiet = x.analysis->Analysis (64);
	ASSERT_EQ (quiet["bands"].size (), 1u);
	EXPECT_NEAR (quiet["bands"][0]["gainDb"].get<double> (), 9.0, 0.1);
	x.play (50, sine (centre, 0.5));  // a burst that settles into compression
	const json loud = x.analysis->Analysis (64);
	const double gain = loud["bands"][0]["gainDb"].get<double> ();
	EXPECT_LT (gain, 8.0);
	EXPECT_NEAR (toneLevel (x.output, centre, 480) - 20 * std::log10 (0.5), gain, 0.1);
	EXPECT_GT (loud["bands"][0]["levelDb"].get<double> (), -30.0);

	// Auditioned, the band's region plays alone, without clicks, until the audition lapses.
	const auto both = [&] (double t) { return sine (centre, 0.25) (t) + sine (away, 0.25) (t); };
	const std::size_t normal = x.output.size () + 2 * kBlock;  // past the change of tones
	x.play (20, both);
	const double normalCentre = toneLevel (x.output, centre, 4800), normalAway = toneLevel (x.output, away, 4800);
	const auto latency = x.rig->processor->getLatencySamples ();

	ASSERT_TRUE (x.analysis->Audition (json::array ({0})));
	const std::size_t fadeIn = x.output.size ();
	x.play (20, both);
	EXPECT_NEAR (toneLevel (x.output, centre, 4800), normalCentre, 1.0);
	EXPECT_LE (toneLevel (x.output, away, 4800), normalAway - 30.0);
	EXPECT_EQ (x.rig->processor->getLatencySamples (), latency);
	x.play (110, both);  // not renewed: after a second it fades back by itself
	EXPECT_NEAR (toneLevel (x.output, away, 4800), normalAway, 0.5);

	// No click: across both fades no sample jumps further than the normal output ever does (the
	// crossfade's own slope adds far less than the 10 % allowed; a switch without one jumps by
	// the whole difference between the two signals).
	auto largestStep = [&] (std::size_t from, std::size_t to) {
		float largest = 0;
		for (std::size_t i = from; i < to; ++i)
			largest = std::max (largest, std::fabs (x.output[i] - x.output[i - 1]));
		return largest;
	};
	EXPECT_LT (largestStep (fadeIn, x.output.size ()), 1.1 * largestStep (normal, fadeIn));
	for (const json& refused : {json::array ({1}), json::array ({24}), json::array ({"0"})})  // band 2 is off
		EXPECT_FALSE (x.analysis->Audition (refused)) << refused;

	// The fade lasts 10 ms: a steady level, of which the band's region holds nothing, goes from all
	// to nothing along a raised cosine, which spends 0.87 of its length between 99 % and 1 %.
	const auto steady = [] (double) { return 0.25; };
	x.play (10, steady);
	ASSERT_TRUE (x.analysis->Audition (json::array ({0})));
	const std::size_t from = x.output.size ();
	x.play (3, steady);
	const auto firstBelow = [&] (float level) {
		return std::find_if (x.output.begin () + long (from), x.output.end (), [=] (float y) { return y < level; }) - x.output.begin ();
	};
	EXPECT_NEAR (firstBelow (0.0025f) - firstBelow (0.2475f), 0.87 * 0.010 * kRate, 10.0);
	EXPECT_TRUE (x.analysis->Audition (json::array ({-1})));
}

// Also under ThreadSanitizer: the editor's reads never race the writes.
TEST (InstanceLink, AnEditorPollsWhileAudioRuns)
{
	LinkedInstance x;
	x.set (0, kFieldEnabled, 1.0);
	x.set (0, kFieldDynamicsEnabled, 1.0);
	std::atomic<bool> stop {false};
	std::atomic<int> blocks {0};
	std::thread audio ([&] {
		while (!stop.load ())
		{
			x.play (1, sine (440.0, 0.5));
			++blocks;
		}
	});
	std::uint64_t frames = 0;
	// At least 200 polls, and on until one comes after a whole block, however late a loaded machine
	// gets the audio thread going (ten seconds at most).
	const auto deadline = std::chrono::steady_clock::now () + std::chrono::seconds (10);
	for (int poll = 0; poll < 200 || (blocks.load () < 2 && std::chrono::steady_clock::now () < deadline); ++poll)
	{
		const json result = x.analysis->Analysis (256);
		ASSERT_TRUE (result.is_object ());
		EXPECT_GE (result["frames"].get<std::uint64_t> (), frames);
		frames = result["frames"].get<std::uint64_t> ();
		x.analysis->Audition (json::array ({poll % 3 == 0 ? -1 : 0}));
	}
	stop = true;
	audio.join ();
	EXPECT_GT (frames, 0u);
}
