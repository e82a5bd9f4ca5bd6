#include "preset_format.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <locale>
#include <sstream>

namespace QuenrilEQ {

namespace {
// Hosts may switch the process to a locale with a decimal comma; the files
// always use the C conventions. Created once, kept for the process.
locale_t cLocale ()
{
	static const locale_t locale = newlocale (LC_ALL_MASK, "C", static_cast<locale_t> (nullptr));
	return locale;
}

double parseValue (const std::string& text)
{
	const locale_t c = cLocale ();
	const double value = c ? strtod_l (text.c_str (), nullptr, c) : std::strtod (text.c_str (), nullptr);
	// A NaN would poison the controller's values and the host's automation.
	return std::isnan (value) ? 0.0 : value;
}

ParamId parseId (const std::string& text)
{
	// Truncation to 32 bits is how older files with huge ids were read.
	return static_cast<ParamId> (std::strtoul (text.c_str (), nullptr, 10));
}
} // namespace

std::string formatPresetValue (double normalized)
{
	std::ostringstream out;
	out.imbue (std::locale::classic ());
	out << normalized;
	return out.str ();
}

std::string formatPresetText (const std::function<double (ParamId)>& valueOf)
{
	std::ostringstream out;
	out.imbue (std::locale::classic ());
	out << kPresetHeader << '\n';
	for (ParamId id : allParameterIds ())
		out << id << '=' << valueOf (id) << '\n';
	return out.str ();
}

bool parsePresetLine (std::string_view line, PresetLine& out)
{
	if (line.empty () || line.front () == '#')
		return false;
	const size_t eq = line.find ('=');
	if (eq == std::string_view::npos)
		return false;
	// Copies: the C parsers need terminated strings, and a stray zero byte
	// inside a line then simply ends the number there.
	out.id = parseId (std::string (line.substr (0, eq)));
	out.value = parseValue (std::string (line.substr (eq + 1)));
	return true;
}

std::vector<PresetLine> parsePresetText (std::string_view text)
{
	std::vector<PresetLine> lines;
	size_t start = 0;
	while (start < text.size ())
	{
		size_t end = text.find ('\n', start);
		if (end == std::string_view::npos)
			end = text.size ();
		PresetLine line {};
		if (parsePresetLine (text.substr (start, end - start), line))
			lines.push_back (line);
		start = end + 1;
	}
	return lines;
}

} // namespace QuenrilEQ
