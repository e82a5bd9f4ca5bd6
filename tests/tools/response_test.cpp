// quenrileq-render --response: the table holds the editor's grid and, for the
// summed curve and each enabled band, the level the band response evaluation
// gives for the bands designed from the plain values at the display rate.
#include "render_tool_support.h"

#include "band_design.h"
#include "band_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

using namespace QuenrilEQ;
using namespace QuenrilEQ::testing;

namespace {

constexpr double kDisplayRate = 96000;
constexpr int kPoints = 256;

struct BandSetting
{
	int band;  // 1-based
	double shape, freq, gain, q, slope;  // normalised, as --set takes them
};

// Bell, 6 dB/oct low cut, 48 dB/oct high cut, tilt shelf; band 2 stays off.
const std::vector<BandSetting> kBands {
    {1, 0.0, 0.50, 0.70, 0.55, 0.0},
    {3, 3.0 / 8, 0.30, 0.50, 0.45, 0.0},
    {7, 4.0 / 8, 0.85, 0.50, 0.50, 0.75},
    {24, 7.0 / 8, 0.45, 0.20, 0.40, 0.25},
};

std::vector<std::string> setArguments ()
{
	std::vector<std::string> args;
	for (const BandSetting& b : kBands)
	{
		const int base = 2000 + 16 * (b.band - 1);
		for (auto [field, value] : {std::pair<int, double> {0, 1.0}, {1, b.shape}, {2, b.freq}, {3, b.gain},
		                            {4, b.q}, {5, b.slope}})
			args.insert (args.end (), {"--set", std::to_string (base + field) + "=" + std::to_string (value)});
	}
	return args;
}

/** The band as the mappings of the parameter table describe it, designed at the display rate. */
EqBand designed (const BandSetting& b)
{
	EqBand band;
	band.enabled = true;
	designBand (band, static_cast<int> (std::lround (b.shape * 8)), 20.0 * std::pow (1100.0, b.freq),
	            60.0 * b.gain - 30.0, 0.025 * std::pow (1600.0, b.q), static_cast<int> (std::lround (b.slope * 4)),
	            kDisplayRate);
	return band;
}

std::vector<std::vector<double>> readCsv (const std::string& path, std::string& header)
{
	std::ifstream file (path);
	std::getline (file, header);
	std::vector<std::vector<double>> rows;
	for (std::string line; std::getline (file, line);)
	{
		std::vector<double> row;
		std::istringstream cells (line);
		for (std::string cell; std::getline (cells, cell, ',');)
			row.push_back (std::stod (cell));
		rows.push_back (row);
	}
	return rows;
}

TEST (ResponseTable, MatchesTheBandResponsesOnTheEditorsGrid)
{
	const std::string folder = scratchFolder ("response");
	std::vector<std::string> args = setArguments ();
	args.insert (args.end (), {"--response", folder + "curve.csv"});
	const ToolRun run = runTool (args);
	ASSERT_EQ (run.exitCode, 0) << run.err;

	std::string header;
	const auto rows = readCsv (folder + "curve.csv", header);
	EXPECT_EQ (header, "freq_hz,total_db,band_1_db,band_3_db,band_7_db,band_24_db");
	ASSERT_EQ (rows.size (), static_cast<size_t> (kPoints));
	for (int k = 0; k < kPoints; ++k)
	{
		const std::vector<double>& row = rows[static_cast<size_t> (k)];
		ASSERT_EQ (row.size (), 2 + kBands.size ());
		const double hz = 20.0 * std::pow (1100.0, k / (kPoints - 1.0));
		EXPECT_NEAR (row[0], hz, 1e-6 * hz);
		double totalDb = 0;
		for (size_t b = 0; b < kBands.size (); ++b)
		{
			const double db = 20.0 * std::log10 (std::abs (bandResponse (designed (kBands[b]), hz, kDisplayRate)));
			EXPECT_NEAR (row[2 + b], db, 1e-4) << "band " << kBands[b].band << " at " << hz << " Hz";
			totalDb += db;
		}
		EXPECT_NEAR (row[1], totalDb, 1e-4) << hz << " Hz";
	}
}

TEST (ResponsePicture, DrawsEveryEnabledBandAndTheSum)
{
	const std::string folder = scratchFolder ("picture");
	std::vector<std::string> args = setArguments ();
	args.insert (args.end (), {"--response", folder + "curve.svg"});
	ASSERT_EQ (runTool (args).exitCode, 0);
	const std::string svg = readBytes (folder + "curve.svg");
	EXPECT_EQ (svg.rfind ("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
	size_t curves = 0;
	for (size_t at = svg.find ("<polyline"); at != std::string::npos; at = svg.find ("<polyline", at + 1))
		++curves;
	EXPECT_EQ (curves, kBands.size () + 1);

	for (const std::vector<std::string>& wrong :
	     {std::vector<std::string> {"--response", folder + "curve.png"},
	      std::vector<std::string> {"--response", folder + "curve.svg", "in.wav"}})
	{
		const ToolRun run = runTool (wrong);
		EXPECT_EQ (run.exitCode, 1);
		EXPECT_NE (run.err.find ("--response"), std::string::npos) << run.err;
	}
}

} // namespace
