// quenrileq-render --response: the table holds the editor's grid and, for the
// summed curve and each enabled band, the level the band response evaluation
// gives for the bands designed from the plain values at the display rate; the
// picture draws each of them.
#include "render_tool_support.h"

#include "band_design.h"
#include "band_response.h"

#include <gtest/gtest.h>

#include <regex>

using namespace QuenrilEQ;
using namespace QuenrilEQ::testing;

namespace {

struct BandSetting
{
	int band;  // 1-based
	double shape, freq, gain, q, slope;  // normalised, as --set takes them
};

// Bell, 6 dB/oct low cut, 48 dB/oct high cut, tilt shelf; band 2 stays off.
const BandSetting kBands[] = {{1, 0.0, 0.50, 0.70, 0.55, 0.0}, {3, 3.0 / 8, 0.30, 0.50, 0.45, 0.0},
                              {7, 4.0 / 8, 0.85, 0.50, 0.50, 0.75}, {24, 7.0 / 8, 0.45, 0.20, 0.40, 0.25}};

ToolRun respond (const std::string& file, const std::vector<std::string>& more = {})
{
	std::vector<std::string> args;
	for (const BandSetting& b : kBands)
		for (int field = 0; field < 6; ++field)
			args.insert (args.end (), {"--set", std::to_string (2000 + 16 * (b.band - 1) + field) + "=" +
			                                        std::to_string (std::vector<double> {1.0, b.shape, b.freq, b.gain, b.q, b.slope}[field])});
	args.insert (args.end (), {"--response", file});
	args.insert (args.end (), more.begin (), more.end ());
	return runTool (args);
}

TEST (Response, TheTableMatchesTheBandResponsesOnTheEditorsGridAndThePictureDrawsEachCurve)
{
	const std::string folder = scratchFolder ("response");
	const ToolRun run = respond (folder + "curve.csv");
	ASSERT_EQ (run.exitCode, 0) << run.err;
	std::ifstream file (folder + "curve.csv");
	std::string header;
	std::getline (file, header);
	EXPECT_EQ (header, "freq_hz,total_db,band_1_db,band_3_db,band_7_db,band_24_db");
	int k = 0;
	for (std::string line; std::getline (file, line); ++k)
	{
		std::vector<double> row;
		std::istringstream cells (line);
		for (std::string cell; std::getline (cells, cell, ',');)
			row.push_back (std::stod (cell));
		ASSERT_EQ (row.size (), 6u);
		const double hz = 20.0 * std::pow (1100.0, k / 255.0);
		EXPECT_NEAR (row[0], hz, 1e-6 * hz);
		double total = 0;
		for (size_t b = 0; b < 4; ++b)
		{
			// The band as the parameter table's mappings describe it, designed at the display rate.
			const BandSetting& s = kBands[b];
			EqBand band;
			band.enabled = true;
			designBand (band, int (std::lround (s.shape * 8)), 20.0 * std::pow (1100.0, s.freq), 60.0 * s.gain - 30.0,
			            0.025 * std::pow (1600.0, s.q), int (std::lround (s.slope * 4)), 96000);
			const double db = 20.0 * std::log10 (std::abs (bandResponse (band, hz, 96000)));
			EXPECT_NEAR (row[2 + b], db, 1e-4) << "band " << s.band << " at " << hz << " Hz";
			total += db;
		}
		EXPECT_NEAR (row[1], total, 1e-4) << hz << " Hz";
	}
	EXPECT_EQ (k, 256);

	ASSERT_EQ (respond (folder + "curve.svg").exitCode, 0);
	const std::string svg = readBytes (folder + "curve.svg");
	EXPECT_EQ (svg.rfind ("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
	const std::regex polyline ("<polyline");
	EXPECT_EQ (std::distance (std::sregex_iterator (svg.begin (), svg.end (), polyline), std::sregex_iterator ()), 5);
	for (const ToolRun& wrong : {respond (folder + "curve.png"), respond (folder + "curve.svg", {"in.wav"})})
	{
		EXPECT_EQ (wrong.exitCode, 1);
		EXPECT_NE (wrong.err.find ("--response"), std::string::npos) << wrong.err;
	}
}

} // namespace
