// Every factory preset in the built bundle, rendered through quenrileq-render
// with steady test tones, against the promises of its recipe:
//
//   expect <F> Hz [on side] [at <L> dBFS] [with side-chain <F2> Hz at <L2> dBFS]: <lo> .. <hi> dB
//
// A tone of F Hz (quiet, -50 dBFS, unless "at" says otherwise; on both
// channels alike, or opposite on them "on side") must come out changed by
// lo to hi dB, measured on the mid (or side) signal over the last second of
// the render. "with side-chain" feeds a tone to the side-chain input.
#include "render_tool_support.h"

#include <gtest/gtest.h>

#include <complex>
#include <regex>
#include <set>

using namespace QuenrilEQ::testing;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;
constexpr long kFrames = kRate * 5 / 2;  // 1.5 s to settle, 1 s to measure

const std::string kRecipes = QEQ_SOURCE_DIR "/presets/factory/";
const std::string kShipped = QEQ_BUNDLE_PATH "/Contents/Resources/presets/";

// Interleaved stereo tone: left and right alike, or opposite for a side tone.
std::vector<float> tone (double hz, double dbfs, bool side)
{
	std::vector<float> samples (static_cast<size_t> (2 * kFrames));
	for (long n = 0; n < kFrames; ++n)
	{
		const double x = std::pow (10.0, dbfs / 20.0) * std::sin (2.0 * M_PI * hz * static_cast<double> (n) / kRate);
		samples[2 * n] = static_cast<float> (x);
		samples[2 * n + 1] = static_cast<float> (side ? -x : x);
	}
	return samples;
}

// Magnitude at hz of the mid (or side) signal over the last second; whole cycles of every integer frequency fit in it.
double magnitudeAt (const std::vector<float>& interleaved, double hz, bool side)
{
	std::complex<double> sum;
	const long frames = static_cast<long> (interleaved.size () / 2);
	for (long n = frames - kRate; n < frames; ++n)
		sum += 0.5 * (side ? interleaved[2 * n] - interleaved[2 * n + 1] : interleaved[2 * n] + interleaved[2 * n + 1]) *
		       std::polar (1.0, -2.0 * M_PI * hz * static_cast<double> (n) / kRate);
	return std::abs (sum);
}

TEST (FactoryPresets, EveryShippedPresetIsCompleteDescribedAndMeasuresAsItsRecipePromises)
{
	// The plug-in copies its presets into the documents folder on first use: not the real one.
	const std::string folder = scratchFolder ("factory");
	setenv ("HOME", folder.c_str (), 1);
	std::set<std::string> shipped, recipes;
	for (const auto& entry : fs::directory_iterator (kShipped))
		shipped.insert (entry.path ().stem ().string ());
	for (const auto& entry : fs::directory_iterator (kRecipes))
		recipes.insert (entry.path ().stem ().string ());
	EXPECT_GE (shipped.size (), 20u);
	EXPECT_EQ (shipped, recipes);
	const std::regex promise (R"(expect (\S+) Hz( on side)?(?: at (\S+) dBFS)?(?: with side-chain (\S+) Hz at (\S+) dBFS)?: (\S+) \.\. (\S+) dB)");
	for (const std::string& name : shipped)
	{
		// Complete, so that loading it replaces every setting of the last one.
		std::set<std::string> ids;
		std::ifstream file (kShipped + name + ".quenrileqpreset");
		for (std::string line; std::getline (file, line);)
			if (line.find ('=') != std::string::npos)
				ids.insert (line.substr (0, line.find ('=')));
		EXPECT_EQ (ids.size (), 314u) << name;
		std::string description;
		int promises = 0;
		std::ifstream recipe (kRecipes + name + ".recipe");
		for (std::string line; std::getline (recipe, line);)
		{
			std::smatch p;
			if (line.rfind ("# ", 0) == 0)
				description += line.substr (2) + " ";
			if (line.rfind ("expect ", 0) != 0)
				continue;
			++promises;
			ASSERT_TRUE (std::regex_match (line, p, promise)) << name << ": malformed \"" << line << "\"";
			const double hz = std::stod (p[1]), dbfs = p[3].matched ? std::stod (p[3]) : -50.0;
			const bool side = p[2].matched;
			const std::vector<float> input = tone (hz, dbfs, side);
			const std::string in = folder + "in.wav", out = folder + "out.wav", sidechain = folder + "sidechain.wav";
			ASSERT_TRUE (writeSound (in, kRate, 2, input));
			std::vector<std::string> args {"--preset", kShipped + name + ".quenrileqpreset", "--compensate-latency", in, out};
			if (p[4].matched)
			{
				ASSERT_TRUE (writeSound (sidechain, kRate, 2, tone (std::stod (p[4]), std::stod (p[5]), false)));
				args.insert (args.begin (), {"--sidechain", sidechain});
			}
			const ToolRun run = runTool (args);
			ASSERT_EQ (run.exitCode, 0) << run.err;
			const Wav rendered = readWav (out);
			ASSERT_TRUE (rendered.ok && rendered.frames () == kFrames) << name;
			const double gainDb = 20.0 * std::log10 (magnitudeAt (rendered.samples, hz, side) / magnitudeAt (input, hz, side));
			EXPECT_GE (gainDb, std::stod (p[6])) << name << ": " << line;
			EXPECT_LE (gainDb, std::stod (p[7])) << name << ": " << line;
		}
		EXPECT_GT (promises, 0) << name;
		EXPECT_GE (description.size (), 40u) << name << " says too little about what it does";
	}
}

} // namespace
