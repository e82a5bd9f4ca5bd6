// quenrileq-render end to end: generated signals, parameter options, latency
// compensation, channel handling and every kind of bad input, with
// third-party bundles whose behaviour is known well enough to compute
// against: ZaMaximX2 at its defaults is a pure 480-sample delay; ZamEQ2 is
// mono, unity gain at its defaults, with "Master Gain" (ID 13) mapping 0..1
// to -12..+12 dB. Our own plug-in is rendered by the factory preset test.
#include "render_tool_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>

using namespace QuenrilEQ::testing;

namespace {

const std::string kMaxim = "/usr/lib/vst3/ZaMaximX2.vst3", kEq = "/usr/lib/vst3/ZamEQ2.vst3", kComp = "/usr/lib/vst3/ZamComp.vst3";
const double kSineRms = 0.5 / std::sqrt (2.0);

double sineAt (long n, double hz) { return 0.5 * std::sin (2.0 * M_PI * hz * static_cast<double> (n) / 48000.0); }
double decibels (double ratio) { return 20.0 * std::log10 (ratio); }

class RenderTool : public ::testing::Test
{
protected:
	void SetUp () override
	{
		if (!std::filesystem::exists (kMaxim) || !std::filesystem::exists (kEq) || !std::filesystem::exists (kComp))
			GTEST_SKIP () << "zam-plugins is not installed";
	}
	// Runs the tool into out.wav; its level on channel c over frames [from, from + count) in dB against a 0.5 sine.
	double levelDb (std::vector<std::string> args, int c = 0, long from = 0, long count = 4800)
	{
		args.push_back (out);
		const ToolRun run = runTool (args);
		EXPECT_EQ (run.exitCode, 0) << run.err;
		lastOut = run.out;
		return decibels (readWav (out).rms (c, from, count) / kSineRms);
	}
	const std::string folder = scratchFolder (::testing::UnitTest::GetInstance ()->current_test_info ()->name ());
	const std::string out = folder + "out.wav";
	std::string lastOut;
};

TEST_F (RenderTool, GeneratesSignalsAndCompensatesLatency)
{
	for (const bool compensate : {true, false})  // uncompensated, in 100-frame blocks: the 480-frame delay shows
	{
		std::vector<std::string> args = compensate ? std::vector<std::string> {"--compensate-latency"} : std::vector<std::string> {"--block", "100"};
		args.insert (args.end (), {"--plugin", kMaxim, "--generate", "sine:997", "--seconds", "0.25", out});
		const ToolRun run = runTool (args);
		ASSERT_EQ (run.exitCode, 0) << run.err;
		Wav wav = readWav (out);
		ASSERT_TRUE (wav.ok && wav.sampleRate == 48000 && wav.channels == 2 && wav.format == (SF_FORMAT_WAV | SF_FORMAT_FLOAT));
		ASSERT_EQ (wav.frames (), 12000);
		const long delay = compensate ? 0 : 480;
		for (long n = 0; n < wav.frames (); n += 7)
			ASSERT_NEAR (wav.at (n, n % 2), n < delay ? 0.0 : sineAt (n - delay, 997), 1e-6) << "frame " << n;
		for (const char* line : {"latency: 480 samples", "real-time factor: ", "input: peak -6.02 dBFS, RMS -9.03 dBFS", "output: peak -6.02 dBFS"})
			EXPECT_NE (run.out.find (line), std::string::npos) << run.out;
	}
	// Uniform noise in [-0.5, 0.5] has an RMS of 0.5 / sqrt(3), its channels differ; a sweep starts at 20 Hz.
	EXPECT_NEAR (levelDb ({"--plugin", kMaxim, "--compensate-latency", "--generate", "noise", "--seconds", "1"}, 1, 0, 48000),
	             decibels (std::sqrt (2.0 / 3.0)), 0.12);
	const Wav noise = readWav (out);
	EXPECT_NE (noise.at (100, 0), noise.at (100, 1));
	EXPECT_LE (*std::max_element (noise.samples.begin (), noise.samples.end ()), 0.5f);
	EXPECT_NEAR (levelDb ({"--plugin", kMaxim, "--compensate-latency", "--generate", "sweep", "--seconds", "1"}, 0, 0, 48000), 0.0, 0.12);
	EXPECT_NEAR (readWav (out).at (60, 0), 0.5 * std::sin (2 * M_PI * 20.0 * 60 / 48000), 0.002);
}

TEST_F (RenderTool, SetPresetAndAutomateApplyFromTheFirstBlockOnEveryMonoInstance)
{
	EXPECT_NEAR (levelDb ({"--plugin", kEq, "--set", "13=1", "--generate", "sine:1000", "--seconds", "0.1"}, 1, 0, 480), 12.0, 0.05);
	EXPECT_NE (lastOut.find ("parameter 13 \"Master Gain\" = 1"), std::string::npos) << lastOut;
	EXPECT_NE (lastOut.find ("instances: 2"), std::string::npos) << lastOut;
	// Comment, junk without "=", a first value, then the winner with trailing text; --set overrides the preset.
	const std::string preset = folder + "gain.quenrileqpreset";
	std::ofstream (preset) << "# QuenrilEQ preset\nno equals here\n\n13=0.25\r\n13=0.75abc\n";
	EXPECT_NEAR (levelDb ({"--plugin", kEq, "--preset", preset, "--generate", "sine:1000", "--seconds", "0.1"}), 6.0, 0.05);
	EXPECT_NE (lastOut.find ("parameter 13 \"Master Gain\" = 0.25\n"), std::string::npos) << lastOut;
	EXPECT_NE (lastOut.find ("parameter 13 \"Master Gain\" = 0.75\n"), std::string::npos) << lastOut;
	EXPECT_NEAR (levelDb ({"--plugin", kEq, "--preset", preset, "--set", "13=0.5", "--generate", "sine:1000", "--seconds", "0.1"}), 0.0, 0.05);
	// Ten blocks: block k holds k/9 of the ramp, -12 dB to +12 dB.
	levelDb ({"--plugin", kEq, "--automate", "13=0:1", "--block", "4800", "--generate", "sine:1000", "--seconds", "1"});
	const Wav wav = readWav (out);
	for (int k = 0; k < 10; ++k)
		EXPECT_NEAR (decibels (wav.rms (1, k * 4800L, 4800) / kSineRms), -12.0 + 24.0 * k / 9.0, 0.05) << "block " << k;
	EXPECT_NE (lastOut.find ("automate 13 \"Master Gain\" from 0 to 1"), std::string::npos) << lastOut;
}

TEST_F (RenderTool, KeepsTheFilesRateAndChannelsAndRefusesASidechainWithoutItsInput)
{
	// A mono 44.1 kHz 16-bit file comes out mono 44.1 kHz float.
	const std::string in = folder + "in.wav", side = folder + "side.wav";
	std::vector<float> samples (4410);
	for (size_t i = 0; i < samples.size (); ++i)
		samples[i] = static_cast<float> (0.25 * std::sin (2 * M_PI * 440.0 * i / 44100.0));
	ASSERT_TRUE (writeSound (in, 44100, 1, samples, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
	ASSERT_EQ (runTool ({"--plugin", kEq, "--set", "13=1", in, out}).exitCode, 0);
	const Wav wav = readWav (out), source = readWav (in);
	ASSERT_TRUE (wav.ok && wav.sampleRate == 44100 && wav.channels == 1 && wav.format == (SF_FORMAT_WAV | SF_FORMAT_FLOAT));
	ASSERT_EQ (wav.frames (), source.frames ());
	EXPECT_NEAR (decibels (wav.rms (0, 0, 4410) / source.rms (0, 0, 4410)), 12.0, 0.05);

	// Feeding the side-chain is measured on our own plug-in by the factory preset test.
	ASSERT_TRUE (writeSound (side, 48000, 1, std::vector<float> (4800, 0.5f)));
	const ToolRun run = runTool ({"--plugin", kEq, "--sidechain", side, "--generate", "sine:1000", "--seconds", "0.2", out});
	EXPECT_NE (run.err.find ("side-chain"), std::string::npos) << "a plug-in without a side-chain input is an error";
}

TEST_F (RenderTool, BadInputFailsWithOneLineAndLeavesTheInputAlone)
{
	const std::string in = folder + "in.wav", text = folder + "text.wav", aiff = folder + "in.aiff", link = folder + "link.wav",
	                  side44 = folder + "side44.wav";
	ASSERT_TRUE (writeSound (in, 48000, 2, std::vector<float> (960, 0.1f)));
	ASSERT_TRUE (writeSound (aiff, 48000, 2, std::vector<float> (960, 0.1f), SF_FORMAT_AIFF | SF_FORMAT_FLOAT));
	ASSERT_TRUE (writeSound (side44, 44100, 1, std::vector<float> (441, 0.1f)));
	std::ofstream (text) << "RIFF? no, just text\n";
	ASSERT_EQ (symlink (in.c_str (), link.c_str ()), 0);
	const std::string original = readBytes (in);
	const std::vector<std::vector<std::string>> cases {
	    {folder + "missing.wav", out}, {folder, out}, {text, out}, {aiff, out},
	    {"--plugin", folder + "Nothing.vst3", in, out}, {"--plugin", text, in, out},
	    {"--set", "13", in, out}, {"--set", "x=0.5", in, out}, {"--set", "13=abc", in, out}, {"--set", "13=1.5", in, out},
	    {"--set", "=0.5", in, out}, {"--set", "13=0.5x", in, out}, {"--automate", "13=0", in, out}, {"--automate", "13=0:2", in, out},
	    {"--preset", folder + "missing.quenrileqpreset", in, out}, {"--block", "0", in, out}, {"--block", "many", in, out},
	    {"--generate", "square", "--seconds", "1", out}, {"--generate", "sine:30000", "--seconds", "1", out}, {"--generate", "noise", out},
	    {"--frobnicate", in, out}, {in}, {in, in}, {in, folder + "./in.wav"}, {in, link},
	    {"--plugin", kComp, "--sidechain", side44, in, out}, {"--plugin", kComp, "--sidechain", folder + "missing.wav", in, out},
	    {"--plugin", kComp, "--sidechain", out, in, out},
	};
	for (const auto& args : cases)
	{
		const std::string shown = ::testing::PrintToString (args);
		const ToolRun run = runTool (args);
		EXPECT_NE (run.exitCode, 0) << shown;
		EXPECT_EQ (std::count (run.err.begin (), run.err.end (), '\n'), 1) << shown << "\n" << run.err;
		EXPECT_NE (run.err.find ("error"), std::string::npos) << shown;
		EXPECT_EQ (readBytes (in), original) << shown;
		EXPECT_FALSE (std::filesystem::exists (out)) << shown;
	}
}

} // namespace
