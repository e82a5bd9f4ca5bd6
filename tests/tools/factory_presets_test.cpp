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
#include <set>

using namespace QuenrilEQ::testing;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;
constexpr long kFrames = kRate * 5 / 2;  // 1.5 s to settle, 1 s to measure

const std::string kRecipes = QEQ_SOURCE_DIR "/presets/factory/";
const std::string kShipped = QEQ_BUNDLE_PATH "/Contents/Resources/presets/";

struct Promise
{
	std::string text;  ///< the recipe's line, for messages
	double hz = 0, dbfs = -50, sidechainHz = 0, sidechainDbfs = 0, lowestDb = 0, highestDb = 0;
	bool side = false;
};

/** Reads a word that must be `expected` (or, with expected empty, a number as strtod reads it). */
bool next (std::istream& in, const char* expected, double* number = nullptr)
{
	std::string word;
	if (!(in >> word))
		return false;
	if (!number)
		return word == expected;
	char* end = nullptr;
	*number = std::strtod (word.c_str (), &end);
	return end != word.c_str () && *end == '\0';
}

bool parsePromise (const std::string& line, Promise& p)
{
	const size_t colon = line.find (':');
	if (colon == std::string::npos)
		return false;
	p.text = line;
	std::istringstream left (line.substr (0, colon)), right (line.substr (colon + 1));
	if (!next (left, "expect") || !next (left, "", &p.hz) || !next (left, "Hz"))
		return false;
	for (std::string word; left >> word;)
	{
		const bool ok = word == "on" ? (p.side = next (left, "side"))
		                : word == "at" ? next (left, "", &p.dbfs) && next (left, "dBFS")
		                : word == "with" && next (left, "side-chain") && next (left, "", &p.sidechainHz) && next (left, "Hz") &&
		                      next (left, "at") && next (left, "", &p.sidechainDbfs) && next (left, "dBFS");
		if (!ok)
			return false;
	}
	return next (right, "", &p.lowestDb) && next (right, "..") && next (right, "", &p.highestDb) && next (right, "dB");
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
		promises.emplace_back ();
		EXPECT_TRUE (parsePromise (line, promises.back ())) << recipe << ": malformed \"" << line << "\"";
	}
	return promises;
}

/** Interleaved stereo tone: left and right alike, or opposite for a side tone. */
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

/** Magnitude at hz of the mid (or side) signal over the last second; whole cycles of every integer frequency fit in it. */
double magnitudeAt (const std::vector<float>& interleaved, double hz, bool side)
{
	std::complex<double> sum;
	const long frames = static_cast<long> (interleaved.size () / 2);
	for (long n = frames - kRate; n < frames; ++n)
		sum += 0.5 * (side ? interleaved[2 * n] - interleaved[2 * n + 1] : interleaved[2 * n] + interleaved[2 * n + 1]) *
		       std::polar (1.0, -2.0 * M_PI * hz * static_cast<double> (n) / kRate);
	return std::abs (sum);
}

class FactoryPresets : public ::testing::Test
{
protected:
	// The plug-in copies its presets into the documents folder on first use: not the real one.
	void SetUp () override { setenv ("HOME", folder.c_str (), 1); }
	const std::string folder = scratchFolder ("factory");
};

TEST_F (FactoryPresets, EveryShippedPresetIsCompleteDescribedAndMeasuresAsItsRecipePromises)
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
		const std::vector<Promise> promises = promisesOf (kRecipes + name + ".recipe", description);
		EXPECT_FALSE (promises.empty ()) << name;
		EXPECT_GE (description.size (), 40u) << name << " says too little about what it does";
		for (const Promise& p : promises)
		{
			const std::vector<float> input = tone (p.hz, p.dbfs, p.side);
			const std::string in = folder + "in.wav", out = folder + "out.wav", sidechain = folder + "sidechain.wav";
			ASSERT_TRUE (writeSound (in, kRate, 2, input));
			std::vector<std::string> args {"--preset", kShipped + name + ".quenrileqpreset", "--compensate-latency", in, out};
			if (p.sidechainHz > 0)
			{
				ASSERT_TRUE (writeSound (sidechain, kRate, 2, tone (p.sidechainHz, p.sidechainDbfs, false)));
				args.insert (args.begin (), {"--sidechain", sidechain});
			}
			const ToolRun run = runTool (args);
			ASSERT_EQ (run.exitCode, 0) << run.err;
			const Wav rendered = readWav (out);
			ASSERT_TRUE (rendered.ok && rendered.frames () == kFrames) << name;
			const double gainDb = 20.0 * std::log10 (magnitudeAt (rendered.samples, p.hz, p.side) / magnitudeAt (input, p.hz, p.side));
			EXPECT_GE (gainDb, p.lowestDb) << name << ": " << p.text;
			EXPECT_LE (gainDb, p.highestDb) << name << ": " << p.text;
		}
	}
}

} // namespace
