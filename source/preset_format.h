// The text of a preset or current-state file: a header line, then one
// "id=value" line per parameter with the normalised value. Users copy, mail
// and edit these files by hand, so the reader is forgiving and the writer
// stays byte-for-byte what older versions wrote. Pure text, no file access.
#pragma once

#include "parameters.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace QuenrilEQ {

constexpr const char* kPresetHeader = "# QuenrilEQ preset";
constexpr const char* kPresetExtension = ".quenrileqpreset";

/** A normalised value as the files store it: C "%g" (6 significant digits),
    independent of the process locale ("0.5", "1e-05", "0.558616"). */
std::string formatPresetValue (double normalized);

/** The whole file text: header, then "1002=", "1003=", band 1 fields 0..12,
    ..., band 24 (315 lines, each ended by "\n"). valueOf(id) is asked once
    per parameter, in file order, for its normalised value. [UI thread] */
std::string formatPresetText (const std::function<double (ParamId)>& valueOf);

/** One value line of a file. The value is as written (not clamped). */
struct PresetLine
{
	ParamId id;
	double value;
};

/** Parses one line (without its "\n"). Returns false for lines the reader
    skips: empty, starting with "#", or without "=". The text before the
    first "=" is read like strtoul base 10, the text after it like strtod in
    the C locale; text that is no number gives 0, trailing characters (such
    as a carriage return) are ignored. "nan" counts as no number: 0. */
bool parsePresetLine (std::string_view line, PresetLine& out);

/** Every value line of a file text, in file order (repeats kept). */
std::vector<PresetLine> parsePresetText (std::string_view text);

} // namespace QuenrilEQ
