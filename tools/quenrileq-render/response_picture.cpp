#include "response_picture.h"

#include "atomic_file.h"
#include "display_curve.h"
#include "parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace QuenrilEQ {
namespace render {

namespace {
constexpr double kLowestHz = 20.0, kHighestHz = 22000.0;

// Picture geometry in SVG user units.
constexpr double kWidth = 1000, kHeight = 520;
constexpr double kLeft = 56, kRight = 16, kTop = 40, kBottom = 44;
constexpr double kPlotWidth = kWidth - kLeft - kRight, kPlotHeight = kHeight - kTop - kBottom;

/** The editor's colour of a band (1-based): hues spread by the golden angle. */
std::string bandColour (int band)
{
	char text[48];
	std::snprintf (text, sizeof (text), "hsl(%.0f,82%%,64%%)", std::fmod ((band - 1) * 137.508 + 18, 360.0));
	return text;
}

std::string format (const char* pattern, double a, double b = 0, double c = 0)
{
	char text[128];
	std::snprintf (text, sizeof (text), pattern, a, b, c);
	return text;
}

std::string escaped (const std::string& text)
{
	std::string out;
	for (char c : text)
	{
		switch (c)
		{
			case '&': out += "&amp;"; break;
			case '<': out += "&lt;"; break;
			case '>': out += "&gt;"; break;
			case '"': out += "&quot;"; break;
			default: out += c;
		}
	}
	return out;
}

/** The editor's zoom steps: the smallest that holds the summed curve. */
double rangeFor (const std::vector<double>& totalDb)
{
	double largest = 0;
	for (double level : totalDb)
		largest = std::max (largest, std::fabs (level));
	for (double range : {6.0, 12.0, 30.0})
		if (largest <= range)
			return range;
	return 30.0;
}

double xOf (double hz) { return kLeft + kPlotWidth * std::log (hz / kLowestHz) / std::log (kHighestHz / kLowestHz); }
double yOf (double db, double range) { return kTop + kPlotHeight * (0.5 - db / (2.0 * range)); }

std::string polyline (const ResponseCurves& curves, const std::vector<double>& levels, double range,
                      const std::string& colour, double width)
{
	std::string points;
	for (size_t k = 0; k < levels.size (); ++k)
		points += format ("%.2f,%.2f ", xOf (curves.frequenciesHz[k]), yOf (levels[k], range));
	return "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + format ("%g", width) +
	       "\" clip-path=\"url(#plot)\" points=\"" + points + "\"/>\n";
}

std::string grid (double range)
{
	std::string out = "<g stroke=\"#2c3440\" stroke-width=\"1\" font-size=\"12\" fill=\"#8a96a8\">\n";
	for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0})
	{
		const double x = xOf (hz);
		out += format ("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\"", x, kTop, x) + format (" y2=\"%.2f\"/>", kTop + kPlotHeight);
		out += format ("<text x=\"%.2f\" y=\"%.2f\" stroke=\"none\" text-anchor=\"middle\">", x, kTop + kPlotHeight + 18) +
		       (hz >= 1000 ? format ("%gk", hz / 1000) : format ("%g", hz)) + "</text>\n";
	}
	const double step = range / (range > 12 ? 5 : range > 6 ? 4 : 3);
	for (double db = -range; db <= range + 1e-9; db += step)
	{
		const double y = yOf (db, range);
		out += format ("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\"", kLeft, y, kLeft + kPlotWidth) + format (" y2=\"%.2f\"/>", y);
		out += format ("<text x=\"%.2f\" y=\"%.2f\" stroke=\"none\" text-anchor=\"end\">", kLeft - 6, y + 4) +
		       format ("%+g", std::fabs (db) < 1e-9 ? 0.0 : db) + "</text>\n";
	}
	return out + "</g>\n";
}
} // namespace

ResponseCurves responseCurves (const std::vector<ParameterSetting>& settings)
{
	std::map<ParamId, double> values;
	for (const ParamSpec& param : parameterTable ())
		values[param.id] = param.defaultNormalized;
	for (const ParameterSetting& setting : settings)
		values[setting.id] = setting.value;
	const auto bands = displayBands ([&values] (ParamId id) { return values[id]; });

	ResponseCurves curves;
	for (int k = 0; k < kResponsePoints; ++k)
		curves.frequenciesHz.push_back (displayFrequency (k, kResponsePoints));
	curves.totalDb = displayLevels (bands, kResponsePoints);
	for (int i = 0; i < kNumBands; ++i)
		if (bands[static_cast<size_t> (i)].enabled)
			curves.bands.push_back ({i + 1, displayLevels (soloBand (bands, i), kResponsePoints)});
	return curves;
}

std::string responseCsv (const ResponseCurves& curves)
{
	std::string out = "freq_hz,total_db";
	for (const BandCurve& band : curves.bands)
		out += ",band_" + std::to_string (band.band) + "_db";
	out += "\n";
	for (size_t k = 0; k < curves.frequenciesHz.size (); ++k)
	{
		out += format ("%.6f,%.6f", curves.frequenciesHz[k], curves.totalDb[k]);
		for (const BandCurve& band : curves.bands)
			out += format (",%.6f", band.levelsDb[k]);
		out += "\n";
	}
	return out;
}

std::string responseSvg (const ResponseCurves& curves, const std::string& title)
{
	const double range = rangeFor (curves.totalDb);
	std::string out = format ("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" viewBox=\"0 0 %g ",
	                          kWidth, kHeight, kWidth) +
	                  format ("%g\" font-family=\"sans-serif\">\n", kHeight);
	out += format ("<defs><clipPath id=\"plot\"><rect x=\"%g\" y=\"%g\" width=\"%g\" ", kLeft, kTop, kPlotWidth) +
	       format ("height=\"%g\"/></clipPath></defs>\n", kPlotHeight);
	out += "<rect width=\"100%\" height=\"100%\" fill=\"#12161c\"/>\n";
	out += format ("<text x=\"%g\" y=\"26\" font-size=\"16\" fill=\"#e6ebf2\">", kLeft) + escaped (title) + "</text>\n";
	out += grid (range);
	double legendX = kWidth - kRight;
	for (auto band = curves.bands.rbegin (); band != curves.bands.rend (); ++band)
	{
		const std::string label = "Band " + std::to_string (band->band);
		out += format ("<text x=\"%g\" y=\"26\" font-size=\"13\" text-anchor=\"end\" fill=\"", legendX) +
		       bandColour (band->band) + "\">" + label + "</text>\n";
		legendX -= 8.0 * static_cast<double> (label.size ()) + 12;
	}
	for (const BandCurve& band : curves.bands)
		out += polyline (curves, band.levelsDb, range, bandColour (band.band), 1.5);
	out += polyline (curves, curves.totalDb, range, "#f1f3f5", 3);
	return out + "</svg>\n";
}

bool writeResponse (const std::string& path, const ResponseCurves& curves, const std::string& title,
                    std::string& error)
{
	auto endsWith = [&path] (const char* suffix) {
		const std::string s (suffix);
		return path.size () > s.size () && path.compare (path.size () - s.size (), s.size (), s) == 0;
	};
	std::string text;
	if (endsWith (".csv"))
		text = responseCsv (curves);
	else if (endsWith (".svg"))
		text = responseSvg (curves, title);
	else
	{
		error = "--response writes FILE.svg or FILE.csv, got '" + path + "'";
		return false;
	}
	if (!replaceFileAtomically (path, text))
	{
		error = "writing '" + path + "' failed";
		return false;
	}
	return true;
}

} // namespace render
} // namespace QuenrilEQ
