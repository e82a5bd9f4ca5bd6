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

#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace QuenrilEQ::testing;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;
constexpr long kFrames = kRate * 5 / 2;  // 1.5 s to settle, 1 s to measure
constexpr long kMeasured = kRate;
constexpr double kQuietDbfs = -50;  // below every preset's dynamics thresholds

const std::string kRecipes = QEQ_SOURCE_DIR "/presets/factory/";
const std::string kShipped = QEQ_BUNDLE_PATH "/Contents/Resources/presets/";

struct Promise
{
	std::string text;  ///< the recipe's line, for messages
	double hz = 0;
	bool side = false;
	double dbfs = kQuietDbfs;
	double sidechainHz = 0;  ///< 0: no side-chain signal
	double sidechainDbfs = 0;
	double lowestDb = 0, highestDb = 0;
};

/** A number as strtod reads it ("-inf" included); false for anything else. */
bool number (std::istream& in, double& value)
{
	std::string word;
	if (!(in >> word))
		return false;
	char* end = nullptr;
	value = std::strtod (word.c_str (), &end);
	return end != word.c_str () && *end == '\0';
}

bool parsePromise (const std::string& line, Promise& p)
{
	const size_t colon = line.find (':');
	if (colon == std::string::npos)
		return false;
	p.text = line;
	std::istringstream left (line.substr (0, colon)), right (line.substr (colon + 1));
	std::string word, unit;
	if (!(left >> word) || word != "expect" || !number (left, p.hz) || !(left >> unit) || unit != "Hz")
		return false;
	while (left >> word)
	{
		std::string a, b, c;
		if (word == "on" && left >> a && a == "side")
			p.side = true;
		else if (word == "at" && number (left, p.dbfs) && left >> a && a == "dBFS")
			continue;
		else if (word == "with" && left >> a && a == "side-chain" && number (left, p.sidechainHz) && left >> b &&
		         b == "Hz" && left >> c && c == "at" && number (left, p.sidechainDbfs) && left >> unit && unit == "dBFS")
			continue;
		else
			return false;
	}
	std::string to, db;
	return number (right, p.lowestDb) && right >> to && to == ".." && number (right, p.highestDb) && right >> db &&
	       db == "dB";
}

std::vector<Promise> promisesOf (const std::string& recipe, std::string& description)
{
	std::vector<Promise> promises;
	std::ifstream file (recipe);
	for (std::string line; std::getline (file, line);)
	{
		if (line.rfind ("# ", 0) == 0)
			description += line.substr (2) + " ";
		if (line.rfind ("expect ", 0) != 0)
			continue;
		Promise p;
		EXPECT_TRUE (parsePromise (line, p)) << recipe << ": malformed \"" << line << "\"";
		promises.push_back (p);
	}
	return promises;
}

/** Interleaved stereo tone: left and right alike, or opposite for a side tone. */
std::vector<float> tone (double hz, double dbfs, bool side)
{
	const double amplitude = std::pow (10.0, dbfs / 20.0);
	std::vector<float> samples (static_cast<size_t> (2 * kFrames));
	for (long n = 0; n < kFrames; ++n)
	{
		const double x = amplitude * std::sin (2.0 * M_PI * hz * static_cast<double> (n) / kRate);
		samples[static_cast<size_t> (2 * n)] = static_cast<float> (x);
		samples[static_cast<size_t> (2 * n + 1)] = static_cast<float> (side ? -x : x);
	}
	return samples;
}

/** Magnitude at hz of the mid (or side) signal over the last second; whole
    cycles of every integer frequency fit into it, so nothing leaks. */
double magnitudeAt (const std::vector<float>& interleaved, double hz, bool side)
{
	std::complex<double> sum;
	const long frames = static_cast<long> (interleaved.size () / 2);
	for (long n = frames - kMeasured; n < frames; ++n)
	{
		const double l = interleaved[static_cast<size_t> (2 * n)], r = interleaved[static_cast<size_t> (2 * n + 1)];
		sum += 0.5 * (side ? l - r : l + r) * std::polar (1.0, -2.0 * M_PI * hz * static_cast<double> (n) / kRate);
	}
	return std::abs (sum);
}

class FactoryPresets : public ::testing::Test
{
protected:
	void SetUp () override
	{
		folder = scratchFolder ("factory");
		// The plug-in copies its presets into the documents folder on first use: not the real one.
		setenv ("HOME", folder.c_str (), 1);
	}
	std::string folder;
};

TEST_F (FactoryPresets, EveryShippedPresetIsCompleteAndDescribed)
{
	std::set<std::string> shipped, recipes;
	for (const auto& entry : fs::directory_iterator (kShipped))
		shipped.insert (entry.path ().stem ().string ());
	for (const auto& entry : fs::directory_iterator (kRecipes))
		recipes.insert (entry.path ().stem ().string ());
	EXPECT_GE (shipped.size (), 20u);
	EXPECT_EQ (shipped, recipes);

	for (const std::string& name : shipped)
	{
		// Complete, so that loading it replaces every setting of the last one.
		std::ifstream file (kShipped + name + ".quenrileqpreset");
		std::set<std::string> ids;
		for (std::string line; std::getline (file, line);)
			if (line.find ('=') != std::string::npos)
				ids.insert (line.substr (0, line.find ('=')));
		EXPECT_EQ (ids.size (), 314u) << name;
		std::string description;
		EXPECT_FALSE (promisesOf (kRecipes + name + ".recipe", description).empty ()) << name;
		EXPECT_GE (description.size (), 40u) << name << " says too little about what it does";
	}
}

TEST_F (FactoryPresets, MeasureAsTheirRecipesPromise)
{
	for (const auto& entry : fs::directory_iterator (kShipped))
	{
		const std::string name = entry.path ().stem ().string ();
		std::string description;
		for (const Promise& p : promisesOf (kRecipes + name + ".recipe", description))
		{
			const std::vector<float> input = tone (p.hz, p.dbfs, p.side);
			const std::string in = folder + "in.wav", out = folder + "out.wav", sidechain = folder + "sidechain.wav";
			ASSERT_TRUE (writeSound (in, kRate, 2, input));
			std::vector<std::string> args {"--preset", entry.path ().string (), "--compensate-latency"};
			if (p.sidechainHz > 0)
			{
				ASSERT_TRUE (writeSound (sidechain, kRate, 2, tone (p.sidechainHz, p.sidechainDbfs, false)));
				args.insert (args.end (), {"--sidechain", sidechain});
			}
			args.insert (args.end (), {in, out});
			const ToolRun run = runTool (args);
			ASSERT_EQ (run.exitCode, 0) << run.err;
			const Wav rendered = readWav (out);
			ASSERT_TRUE (rendered.ok && rendered.frames () == kFrames) << name;

			const double gainDb = 20.0 * std::log10 (magnitudeAt (rendered.samples, p.hz, p.side) /
			                                         magnitudeAt (input, p.hz, p.side));
			EXPECT_GE (gainDb, p.lowestDb) << name << ": " << p.text;
			EXPECT_LE (gainDb, p.highestDb) << name << ": " << p.text;
		}
	}
}

} // namespace
