// The magnitude response of a preset or of --set values, without a host: the
// summed curve and each enabled band's curve on the editor's logarithmic grid
// (20 Hz to 22 kHz, designed at the editor's display rate), as a CSV table or
// an SVG picture.
#pragma once

#include "render_options.h"

#include <string>
#include <vector>

namespace QuenrilEQ {
namespace render {

/** Points of every curve: the editor's summed curve has as many. */
constexpr int kResponsePoints = 256;

struct BandCurve
{
	int band = 0;                  ///< 1-based, as the editor names it
	std::vector<double> levelsDb;  ///< one per frequency
};

struct ResponseCurves
{
	std::vector<double> frequenciesHz;
	std::vector<double> totalDb;   ///< all enabled bands together
	std::vector<BandCurve> bands;  ///< enabled bands, in band order
};

/** The curves of the values: parameter defaults, then the settings in order
 *  (later ones win), read as the editor reads the controller's values. */
ResponseCurves responseCurves (const std::vector<ParameterSetting>& settings);

/** "freq_hz,total_db,band_<n>_db..." and one line per frequency. */
std::string responseCsv (const ResponseCurves& curves);

/** A picture like the editor's graph, titled with title. */
std::string responseSvg (const ResponseCurves& curves, const std::string& title);

/** Writes the CSV (path ends in ".csv") or the SVG (".svg") atomically.
 *  False with a one-line error for another extension or a failed write. */
bool writeResponse (const std::string& path, const ResponseCurves& curves, const std::string& title,
                    std::string& error);

} // namespace render
} // namespace QuenrilEQ
