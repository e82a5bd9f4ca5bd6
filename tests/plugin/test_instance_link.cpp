// One instance's own view of its audio: processor and controller linked as a
// host connects them, the editor's analysis and audition functions, and the
// process-wide rings beside them.
#include "processor_rig.h"

#include "../controller/controller_test_support.h"
#include "analysis_bindings.h"
#include "controller.h"
#include "eq_bindings.h"
#include "parameters.h"
#include "waveform_ring.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>
#include <memory>
#include <vector>

using namespace QuenrilEQ;
using QuenrilEQ::testing::ProcessorRig;
using nlohmann::json;

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;
constexpr double kPi = 3.14159265358979323846;
// Tones centred on bins of the analyser's window, so their level is exact.
constexpr double kBinHz = kRate / 4096;

class LinkedInstance
{
public:
	LinkedInstance ()
	: rig (kRate, kBlock, 2, 2, &host ()), controller (Steinberg::owned (new QuenrilEQController)), analysis (controller)
	{
		controller->initialize (&host ());
		rig.processor->connect (controller);
		controller->connect (rig.processor);
	}
	~LinkedInstance ()
	{
		rig.processor->disconnect (controller);
		controller->disconnect (rig.processor);
		controller->terminate ();
	}

	/** Runs blocks of `tone(t)` (seconds) on both channels; keeps the output. */
	void play (int blocks, const std::function<double (double)>& tone)
	{
		for (int b = 0; b < blocks; ++b, samples += kBlock)
		{
			for (int s = 0; s < kBlock; ++s)
				for (int c = 0; c < 2; ++c)
				{
					rig.buffers.input (0, c)[s] = static_cast<float> (tone ((samples + s) / kRate));
					rig.buffers.input (1, c)[s] = 0.0f;
				}
			rig.run (kBlock);
			output.insert (output.end (), rig.buffers.output (0, 0), rig.buffers.output (0, 0) + kBlock);
		}
	}

	/** Sets a value on both sides, as a host delivers a page's edit. */
	void set (ParamId id, double value)
	{
		controller->setParamNormalized (id, value);
		rig.set (id, value);
	}

	/** The host context of every instance here, made on first use. */
	static Steinberg::Vst::HostApplication& host ()
	{
		static Steinberg::Vst::HostApplication* const made = new Steinberg::Vst::HostApplication;  // process-wide
		return *made;
	}
	ProcessorRig rig;
	Steinberg::IPtr<QuenrilEQController> controller;
	AnalysisBindings analysis;
	std::vector<float> output;
	long samples = 0;
};
const QuenrilEQ::testing::TempHome home;  // the controllers save their state here

std::function<double (double)> sine (double hz, double amplitude)
{
	return [=] (double t) { return amplitude * std::sin (2 * kPi * hz * t); };
}

/** The strongest level of a spectrum within a bin's width of hz. */
double levelNear (const json& analysis, const char* spectrum, double hz)
{
	double best = -1e9;
	for (std::size_t i = 0; i < analysis["freqHz"].size (); ++i)
		if (std::fabs (analysis["freqHz"][i].get<double> () - hz) < kBinHz)
			best = std::max (best, analysis[spectrum][i].get<double> ());
	return best;
}

/** Level (dBFS) of a tone at a bin centre in the newest 4096 samples, by a
    direct Hann-windowed DFT. */
double dftLevel (const std::vector<float>& x, double hz)
{
	const std::size_t n = 4096, from = x.size () - n;
	double re = 0, im = 0;
	for (std::size_t i = 0; i < n; ++i)
	{
		const double w = 0.5 - 0.5 * std::cos (2 * kPi * static_cast<double> (i) / n);
		const double phase = 2 * kPi * hz * static_cast<double> (i) / kRate;
		re += w * x[from + i] * std::cos (phase);
		im -= w * x[from + i] * std::sin (phase);
	}
	return 20 * std::log10 (4 * std::hypot (re, im) / n);
}

/** Level (dB) of hz in the last `count` samples, by correlation. */
double toneLevel (const std::vector<float>& x, double hz, std::size_t count)
{
	double re = 0, im = 0;
	for (std::size_t i = x.size () - count; i < x.size (); ++i)
	{
		re += x[i] * std::cos (2 * kPi * hz * static_cast<double> (i) / kRate);
		im += x[i] * std::sin (2 * kPi * hz * static_cast<double> (i) / kRate);
	}
	return 20 * std::log10 (2 * std::hypot (re, im) / static_cast<double> (count));
}

} // namespace

TEST (InstanceLink, EachEditorSeesItsOwnInstanceWhileTheRingsMixThemAll)
{
	const double low = 9 * kBinHz, high = 427 * kBinHz;  // about 105 Hz and 5 kHz
	LinkedInstance a, b;
	ASSERT_NE (a.controller->instanceLink (), nullptr) << "no link after connecting";
	for (int round = 0; round < 20; ++round)
	{
		a.play (1, sine (low, 0.5));
		b.play (1, sine (high, 0.25));
	}
	const json ofA = a.analysis.Analysis (2048), ofB = b.analysis.Analysis (2048);
	EXPECT_GE (levelNear (ofA, "post", low) - levelNear (ofA, "post", high), 40.0);
	EXPECT_GE (levelNear (ofB, "post", high) - levelNear (ofB, "post", low), 40.0);
	EXPECT_NEAR (levelNear (ofA, "post", low), dftLevel (a.output, low), 0.5);
	EXPECT_NEAR (levelNear (ofB, "pre", high), dftLevel (b.output, high), 0.5);
	EXPECT_LE (ofA["sidechain"][100].get<double> (), -140.0);
	EXPECT_NEAR (ofA["outputPeakDb"].get<double> (), 20 * std::log10 (0.5), 0.1);
	EXPECT_NEAR (ofA["outputRmsDb"].get<double> (), 20 * std::log10 (0.5 / std::sqrt (2.0)), 0.1);

	// The process-wide rings hold both instances' samples, as they always did.
	const json rings = eqWaveformRaw (4096);
	std::vector<float> left (rings["left"].begin (), rings["left"].end ());
	EXPECT_GT (toneLevel (left, low, 4096), -20.0);
	EXPECT_GT (toneLevel (left, high, 4096), -26.0);
}

TEST (InstanceLink, LiveGainIsWhatTheBandDoesToAToneBurst)
{
	LinkedInstance x;
	const double hz = 1000.0;
	x.set (bandParamId (0, kFieldEnabled), 1.0);
	x.set (bandParamId (0, kFieldFreq), freqToNormalized (hz));
	x.set (bandParamId (0, kFieldGain), gainToNormalized (9.0));
	x.set (bandParamId (0, kFieldDynamicsEnabled), 1.0);
	x.set (bandParamId (0, kFieldThreshold), thresholdToNormalized (-30.0));
	x.play (20, sine (hz, 0.001));  // quiet: below threshold
	json quiet = x.analysis.Analysis (64);
	ASSERT_EQ (quiet["bands"].size (), 1u);
	EXPECT_NEAR (quiet["bands"][0]["gainDb"].get<double> (), 9.0, 0.1);

	x.play (50, sine (hz, 0.5));  // a burst that settles into compression
	const json loud = x.analysis.Analysis (64);
	const double gain = loud["bands"][0]["gainDb"].get<double> ();
	EXPECT_LT (gain, 8.0);
	EXPECT_NEAR (toneLevel (x.output, hz, 480) - 20 * std::log10 (0.5), gain, 0.1);
	EXPECT_GT (loud["bands"][0]["levelDb"].get<double> (), -30.0);
}

TEST (InstanceLink, AuditionSolosTheBandsRegionWithoutClicksAndEndsByItself)
{
	LinkedInstance x;
	const double centre = 1000.0, away = 125.0;  // three octaves below
	x.set (bandParamId (0, kFieldEnabled), 1.0);
	x.set (bandParamId (0, kFieldFreq), freqToNormalized (centre));
	x.set (bandParamId (0, kFieldGain), gainToNormalized (6.0));
	x.set (bandParamId (0, kFieldQ), qToNormalized (2.0));
	const auto both = [&] (double t) { return sine (centre, 0.25) (t) + sine (away, 0.25) (t); };
	x.play (20, both);
	const double normalCentre = toneLevel (x.output, centre, 4800), normalAway = toneLevel (x.output, away, 4800);
	const Steinberg::uint32 latency = x.rig.processor->getLatencySamples ();

	ASSERT_TRUE (x.analysis.Audition (json::array ({0})));
	const std::size_t fadeIn = x.output.size ();
	x.play (20, both);
	EXPECT_NEAR (toneLevel (x.output, centre, 4800), normalCentre, 1.0);
	EXPECT_LE (toneLevel (x.output, away, 4800), normalAway - 30.0);
	EXPECT_EQ (x.rig.processor->getLatencySamples (), latency);

	// Not renewed: after a second it fades back by itself.
	x.play (110, both);
	EXPECT_NEAR (toneLevel (x.output, away, 4800), normalAway, 0.5);

	// No click: across both fades no sample jumps further than the normal
	// output ever does from one sample to the next (the crossfade's own slope
	// adds far less than the 10 % allowed; a switch without it jumps by the
	// whole difference between the two signals).
	auto largestStep = [&] (std::size_t from, std::size_t to) {
		double largest = 0;
		for (std::size_t i = from; i < to; ++i)
			largest = std::max (largest, static_cast<double> (std::fabs (x.output[i] - x.output[i - 1])));
		return largest;
	};
	EXPECT_LT (largestStep (fadeIn, x.output.size ()), 1.1 * largestStep (kBlock, fadeIn));

	EXPECT_FALSE (x.analysis.Audition (json::array ({1}))) << "band 2 is disabled";
	EXPECT_FALSE (x.analysis.Audition (json::array ({24})));
	EXPECT_FALSE (x.analysis.Audition (json::array ({"0"})));
	EXPECT_TRUE (x.analysis.Audition (json::array ({-1})));
}

TEST (InstanceLink, EitherSideMayGoFirst)
{
	for (bool processorFirst : {true, false})
	{
		auto rig = std::make_unique<ProcessorRig> (kRate, kBlock, 2, 2, &LinkedInstance::host ());
		Steinberg::IPtr<QuenrilEQController> controller = Steinberg::owned (new QuenrilEQController);
		controller->initialize (&LinkedInstance::host ());
		rig->processor->connect (controller);
		controller->connect (rig->processor);
		auto analysis = std::make_unique<AnalysisBindings> (controller);
		rig->run (kBlock);
		if (processorFirst)
		{
			rig->processor->disconnect (controller);
			rig.reset ();
			EXPECT_TRUE (analysis->Analysis (32).is_object ()) << "the capture outlives its processor";
			controller->disconnect (nullptr);
			controller->terminate ();
			controller = nullptr;
		}
		else
		{
			controller->disconnect (rig->processor);
			controller->terminate ();
			analysis.reset ();
			controller = nullptr;
			rig->run (kBlock);
			rig.reset ();
		}
	}
}

TEST (InstanceLink, WithoutAConnectionThereIsNoLinkAndNoAudition)
{
	ProcessorRig rig (kRate, kBlock, 2, 2, &LinkedInstance::host ());
	Steinberg::IPtr<QuenrilEQController> controller = Steinberg::owned (new QuenrilEQController);
	controller->initialize (&LinkedInstance::host ());
	AnalysisBindings analysis (controller);
	EXPECT_TRUE (analysis.Analysis (64).is_null ());
	controller->setParamNormalized (bandParamId (0, kFieldEnabled), 1.0);
	EXPECT_FALSE (analysis.Audition (json::array ({0})));
	controller->terminate ();
}

// Run under ThreadSanitizer too: the editor's reads never race the writes.
TEST (InstanceLink, AnEditorPollsWhileAudioRuns)
{
	LinkedInstance x;
	x.set (bandParamId (0, kFieldEnabled), 1.0);
	x.set (bandParamId (0, kFieldDynamicsEnabled), 1.0);
	std::atomic<bool> stop {false};
	std::thread audio ([&] {
		while (!stop.load ())
			x.play (1, sine (440.0, 0.5));
	});
	std::uint64_t frames = 0;
	for (int poll = 0; poll < 200; ++poll)
	{
		const json result = x.analysis.Analysis (256);
		ASSERT_TRUE (result.is_object ());
		EXPECT_GE (result["frames"].get<std::uint64_t> (), frames);
		frames = result["frames"].get<std::uint64_t> ();
		x.analysis.Audition (json::array ({poll % 3 == 0 ? -1 : 0}));
	}
	stop = true;
	audio.join ();
	EXPECT_GT (frames, 0u);
}
