// quenrileq-render end to end: generated signals, parameter options, latency
// compensation, channel handling and every kind of bad input.
#include "render_tool_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>

using namespace QuenrilEQ::testing;

namespace {

// Third-party bundles with behaviour known well enough to compute against:
// ZaMaximX2 at its defaults is a pure 480-sample delay; ZamEQ2 is mono, unity
// gain at its defaults, with "Master Gain" (ID 13) mapping 0..1 to -12..+12 dB.
const std::string kMaxim = "/usr/lib/vst3/ZaMaximX2.vst3";
const std::string kEq = "/usr/lib/vst3/ZamEQ2.vst3";
const std::string kComp = "/usr/lib/vst3/ZamComp.vst3";
constexpr long kMaximDelay = 480;
const double kSineRms = 0.5 / std::sqrt (2.0);

double sineAt (long n, double hz) { return 0.5 * std::sin (2.0 * M_PI * hz * static_cast<double> (n) / 48000.0); }
double decibels (double ratio) { return 20.0 * std::log10 (ratio); }

class RenderTool : public ::testing::Test
{
protected:
	void SetUp () override
	{
		if (!fileExists (kMaxim) || !fileExists (kEq) || !fileExists (kComp))
			GTEST_SKIP () << "zam-plugins is not installed";
		folder = scratchFolder (::testing::UnitTest::GetInstance ()->current_test_info ()->name ());
	}
	std::string folder;
};

TEST_F (RenderTool, GeneratesASineAndCompensatesLatency)
{
	const std::string aligned = folder + "aligned.wav", delayed = folder + "delayed.wav";
	auto run = runTool ({"--plugin", kMaxim, "--compensate-latency", "--generate", "sine:997", "--seconds", "0.25", aligned});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_NE (run.out.find ("latency: 480 samples"), std::string::npos) << run.out;
	EXPECT_NE (run.out.find ("real-time factor: "), std::string::npos);
	EXPECT_NE (run.out.find ("input: peak -6.02 dBFS, RMS -9.03 dBFS"), std::string::npos) << run.out;
	EXPECT_NE (run.out.find ("output: peak -6.02 dBFS"), std::string::npos) << run.out;

	Wav wav = readWav (aligned);
	ASSERT_TRUE (wav.ok);
	EXPECT_EQ (wav.sampleRate, 48000);
	EXPECT_EQ (wav.channels, 2);
	EXPECT_EQ (wav.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
	ASSERT_EQ (wav.frames (), 12000);
	for (long n = 0; n < wav.frames (); n += 7)
		for (int c = 0; c < 2; ++c)
			ASSERT_NEAR (wav.at (n, c), sineAt (n, 997), 1e-6) << "frame " << n;

	run = runTool ({"--plugin", kMaxim, "--generate", "sine:997", "--seconds", "0.25", "--block", "100", delayed});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	wav = readWav (delayed);
	ASSERT_EQ (wav.frames (), 12000);
	for (long n = 0; n < kMaximDelay; ++n)
		ASSERT_EQ (wav.at (n, 0), 0.0f);
	for (long n = kMaximDelay; n < wav.frames (); n += 7)
		ASSERT_NEAR (wav.at (n, 1), sineAt (n - kMaximDelay, 997), 1e-6) << "frame " << n;
}

TEST_F (RenderTool, GeneratesNoiseAndSweepAtTheirExpectedLevels)
{
	const std::string noise = folder + "noise.wav", sweep = folder + "sweep.wav";
	ASSERT_EQ (runTool ({"--plugin", kMaxim, "--compensate-latency", "--generate", "noise", "--seconds", "1", noise}).exitCode, 0);
	ASSERT_EQ (runTool ({"--plugin", kMaxim, "--compensate-latency", "--generate", "sweep", "--seconds", "1", sweep}).exitCode, 0);
	Wav n = readWav (noise), s = readWav (sweep);
	ASSERT_TRUE (n.ok && s.ok);
	ASSERT_EQ (n.frames (), 48000);
	ASSERT_EQ (s.frames (), 48000);
	// Uniform noise in [-0.5, 0.5]: RMS 0.5 / sqrt(3); the channels differ.
	EXPECT_NEAR (channelRms (n, 0, 0, 48000), 0.5 / std::sqrt (3.0), 0.005);
	EXPECT_NEAR (channelRms (n, 1, 0, 48000), 0.5 / std::sqrt (3.0), 0.005);
	EXPECT_NE (n.at (100, 0), n.at (100, 1));
	// A sweep is a sine of rising frequency: sine RMS, starting at 20 Hz.
	EXPECT_NEAR (channelRms (s, 0, 0, 48000), kSineRms, 0.005);
	EXPECT_NEAR (s.at (60, 0), 0.5 * std::sin (2 * M_PI * 20.0 * 60 / 48000), 0.002);
	float peak = 0;
	for (float x : n.samples)
		peak = std::max (peak, std::fabs (x));
	EXPECT_LE (peak, 0.5f);
}

TEST_F (RenderTool, SetAppliesBeforeTheFirstBlockOnEveryMonoInstance)
{
	const std::string out = folder + "out.wav";
	auto run = runTool ({"--plugin", kEq, "--set", "13=1", "--generate", "sine:1000", "--seconds", "0.1", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_NE (run.out.find ("parameter 13 \"Master Gain\" = 1"), std::string::npos) << run.out;
	EXPECT_NE (run.out.find ("instances: 2"), std::string::npos) << run.out;
	Wav wav = readWav (out);
	ASSERT_EQ (wav.channels, 2);
	// +12 dB from the very first block, on both channels.
	for (int c = 0; c < 2; ++c)
		EXPECT_NEAR (decibels (channelRms (wav, c, 0, 480) / kSineRms), 12.0, 0.05) << "channel " << c;
}

TEST_F (RenderTool, PresetLinesParseLikeThePluginsReader)
{
	const std::string preset = folder + "gain.quenrileqpreset", out = folder + "out.wav";
	// Comment, junk without "=", a first value, then the winner with trailing text.
	std::ofstream (preset) << "# QuenrilEQ preset\nno equals here\n\n13=0.25\r\n13=0.75abc\n";
	auto run = runTool ({"--plugin", kEq, "--preset", preset, "--generate", "sine:1000", "--seconds", "0.1", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_NE (run.out.find ("parameter 13 \"Master Gain\" = 0.25\n"), std::string::npos) << run.out;
	EXPECT_NE (run.out.find ("parameter 13 \"Master Gain\" = 0.75\n"), std::string::npos) << run.out;
	// 0.75 of -12..+12 dB is +6 dB; --set given as well overrides the preset.
	EXPECT_NEAR (decibels (channelRms (readWav (out), 0, 0, 4800) / kSineRms), 6.0, 0.05);
	run = runTool ({"--plugin", kEq, "--preset", preset, "--set", "13=0.5", "--generate", "sine:1000", "--seconds", "0.1", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_NEAR (decibels (channelRms (readWav (out), 0, 0, 4800) / kSineRms), 0.0, 0.05);
}

TEST_F (RenderTool, AutomateRampsOneValuePerBlock)
{
	const std::string out = folder + "out.wav";
	auto run = runTool ({"--plugin", kEq, "--automate", "13=0:1", "--block", "4800", "--generate", "sine:1000",
	                     "--seconds", "1", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_NE (run.out.find ("automate 13 \"Master Gain\" from 0 to 1"), std::string::npos) << run.out;
	Wav wav = readWav (out);
	ASSERT_EQ (wav.frames (), 48000);
	// Ten blocks: block k holds k/9 of the ramp, -12 dB to +12 dB.
	for (int k = 0; k < 10; ++k)
		EXPECT_NEAR (decibels (channelRms (wav, 1, k * 4800L, 4800) / kSineRms), -12.0 + 24.0 * k / 9.0, 0.05)
		    << "block " << k;
}

TEST_F (RenderTool, KeepsTheFilesRateAndChannels)
{
	// A mono 44.1 kHz 16-bit file comes out mono 44.1 kHz float.
	const std::string in = folder + "in.wav", out = folder + "out.wav";
	std::vector<float> samples (4410);
	for (size_t i = 0; i < samples.size (); ++i)
		samples[i] = static_cast<float> (0.25 * std::sin (2 * M_PI * 440.0 * i / 44100.0));
	ASSERT_TRUE (writeSound (in, 44100, 1, samples, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
	auto run = runTool ({"--plugin", kEq, "--set", "13=1", in, out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	Wav wav = readWav (out), source = readWav (in);
	ASSERT_TRUE (wav.ok);
	EXPECT_EQ (wav.sampleRate, 44100);
	EXPECT_EQ (wav.channels, 1);
	EXPECT_EQ (wav.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
	ASSERT_EQ (wav.frames (), source.frames ());
	EXPECT_NEAR (decibels (channelRms (wav, 0, 0, 4410) / channelRms (source, 0, 0, 4410)), 12.0, 0.05);
}

TEST_F (RenderTool, SideChainFeedsThePluginsAuxInput)
{
	const std::string side = folder + "side.wav", out = folder + "out.wav";
	ASSERT_TRUE (writeSound (side, 48000, 1, std::vector<float> (4800, 0.5f)));
	auto run = runTool ({"--plugin", kComp, "--sidechain", side, "--generate", "sine:1000", "--seconds", "0.2", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_EQ (readWav (out).frames (), 9600);
	// A plug-in without a side-chain input is an error, not a silent no-op.
	run = runTool ({"--plugin", kEq, "--sidechain", side, "--generate", "sine:1000", "--seconds", "0.2", out});
	EXPECT_NE (run.exitCode, 0);
	EXPECT_NE (run.err.find ("side-chain"), std::string::npos) << run.err;
}

TEST_F (RenderTool, DefaultsToTheBundleBuiltBesideIt)
{
	const std::string out = folder + "out.wav";
	auto run = runTool ({"--generate", "sine:1000", "--seconds", "0.1", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_EQ (readWav (out).frames (), 4800);
}

TEST_F (RenderTool, BadInputFailsWithOneLineAndLeavesTheInputAlone)
{
	const std::string in = folder + "in.wav", out = folder + "out.wav", text = folder + "text.wav",
	                  aiff = folder + "in.aiff", link = folder + "link.wav", side44 = folder + "side44.wav";
	ASSERT_TRUE (writeSound (in, 48000, 2, std::vector<float> (960, 0.1f)));
	ASSERT_TRUE (writeSound (aiff, 48000, 2, std::vector<float> (960, 0.1f), SF_FORMAT_AIFF | SF_FORMAT_FLOAT));
	std::ofstream (text) << "RIFF? no, just text\n";
	ASSERT_TRUE (writeSound (side44, 44100, 1, std::vector<float> (441, 0.1f)));
	ASSERT_EQ (symlink (in.c_str (), link.c_str ()), 0);
	const std::string original = readBytes (in);

	const std::vector<std::vector<std::string>> cases {
	    {folder + "missing.wav", out},
	    {folder, out},
	    {text, out},
	    {aiff, out},
	    {"--plugin", folder + "Nothing.vst3", in, out},
	    {"--plugin", text, in, out},
	    {"--set", "13", in, out},
	    {"--set", "x=0.5", in, out},
	    {"--set", "13=abc", in, out},
	    {"--set", "13=1.5", in, out},
	    {"--set", "=0.5", in, out},
	    {"--set", "13=0.5x", in, out},
	    {"--automate", "13=0", in, out},
	    {"--automate", "13=0:2", in, out},
	    {"--preset", folder + "missing.quenrileqpreset", in, out},
	    {"--block", "0", in, out},
	    {"--block", "many", in, out},
	    {"--generate", "square", "--seconds", "1", out},
	    {"--generate", "sine:30000", "--seconds", "1", out},
	    {"--generate", "noise", out},
	    {"--frobnicate", in, out},
	    {in},
	    {in, in},
	    {in, folder + "./in.wav"},
	    {in, link},
	    {"--plugin", kComp, "--sidechain", side44, in, out},
	    {"--plugin", kComp, "--sidechain", folder + "missing.wav", in, out},
	    {"--plugin", kComp, "--sidechain", out, in, out},
	};
	for (const auto& args : cases)
	{
		std::string shown;
		for (const auto& arg : args)
			shown += arg + " ";
		auto run = runTool (args);
		EXPECT_NE (run.exitCode, 0) << shown;
		EXPECT_EQ (std::count (run.err.begin (), run.err.end (), '\n'), 1) << shown << "\n" << run.err;
		EXPECT_NE (run.err.find ("error"), std::string::npos) << shown;
		EXPECT_EQ (readBytes (in), original) << shown;
		EXPECT_FALSE (fileExists (out)) << shown;
	}
}

} // namespace

TEST (RenderToolLinear, OurPluginInLinearModeIsAlignedWithCompensation)
{
	const std::string folder = scratchFolder ("linear");
	const std::string out = folder + "linear.wav";
	auto run = runTool ({"--set", "1002=1", "--compensate-latency", "--generate", "sine:997", "--seconds", "0.25", out});
	ASSERT_EQ (run.exitCode, 0) << run.err;
	EXPECT_NE (run.out.find ("latency: 1152 samples"), std::string::npos) << run.out;
	Wav wav = readWav (out);
	ASSERT_TRUE (wav.ok);
	ASSERT_EQ (wav.frames (), 12000);
	// With every band off the kernel is one tap at its centre: the compensated
	// output is the input scaled by the window's centre value, sample for sample.
	// The first 20 ms pass before the kernel exists, so compare after them.
	for (long n = 2000; n < wav.frames (); n += 3)
		for (int c = 0; c < 2; ++c)
			ASSERT_NEAR (wav.at (n, c), sineAt (n, 997), 2e-6) << "frame " << n;
}
