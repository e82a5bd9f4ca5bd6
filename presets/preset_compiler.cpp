// qeq_preset_compiler RECIPE OUT: turns a factory preset recipe into an
// ordinary preset file. A recipe names parameters by their titles and gives
// plain values, so that a musician can read and review it:
//
//   # what the preset does (comment lines are free text)
//   Band 1 Enabled = On
//   Band 1 Shape = Low Cut
//   Band 1 Freq = 30 Hz
//   Band 1 Slope = 48 dB/oct
//   expect 20 Hz: -inf .. -18 dB      (a promise the preset tests measure; skipped here)
//
// Toggles take On or Off, lists their entry text, continuous parameters a
// number in their range, optionally followed by their unit ("Hz", "dB",
// "ms", ":1"). Every parameter the recipe leaves out keeps its default, so
// the output is a complete preset: loading it resets all 24 bands. Any
// mistake stops the build with the recipe's file name and line.
#include "atomic_file.h"
#include "parameters.h"
#include "preset_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

using namespace QuenrilEQ;

namespace {

std::string trimmed (const std::string& text)
{
	const size_t first = text.find_first_not_of (" \t\r");
	if (first == std::string::npos)
		return {};
	return text.substr (first, text.find_last_not_of (" \t\r") - first + 1);
}

const ParamSpec* parameterTitled (const std::string& title)
{
	for (const ParamSpec& param : parameterTable ())
		if (param.title == title)
			return &param;
	return nullptr;
}

/** Normalised value of a continuous band field's plain value, and back. */
bool continuousMapping (ParamId id, double (*&toNormalized) (double), double (*&fromNormalized) (double))
{
	int band = 0, field = 0;
	if (!decodeBandParamId (id, band, field))
		return false;
	switch (field)
	{
		case kFieldFreq: toNormalized = freqToNormalized, fromNormalized = freqFromNormalized; return true;
		case kFieldGain: toNormalized = gainToNormalized, fromNormalized = gainFromNormalized; return true;
		case kFieldQ: toNormalized = qToNormalized, fromNormalized = qFromNormalized; return true;
		case kFieldThreshold: toNormalized = thresholdToNormalized, fromNormalized = thresholdFromNormalized; return true;
		case kFieldRatio: toNormalized = ratioToNormalized, fromNormalized = ratioFromNormalized; return true;
		case kFieldAttack: toNormalized = attackToNormalized, fromNormalized = attackFromNormalized; return true;
		case kFieldRelease: toNormalized = releaseToNormalized, fromNormalized = releaseFromNormalized; return true;
		default: return false;
	}
}

/** The normalised value of text for the parameter; false with a reason. */
bool normalizedValue (const ParamSpec& param, const std::string& text, double& value, std::string& reason)
{
	if (param.kind == ParamKind::Toggle)
	{
		if (text != "On" && text != "Off")
			return reason = "takes On or Off", false;
		value = text == "On" ? 1.0 : 0.0;
		return true;
	}
	if (param.kind == ParamKind::List)
	{
		for (size_t i = 0; i < param.entries.size (); ++i)
			if (param.entries[i] == text)
				return value = static_cast<double> (i) / param.stepCount, true;
		reason = "takes one of";
		for (const std::string& entry : param.entries)
			reason += " \"" + entry + "\"";
		return false;
	}
	char* end = nullptr;
	const double plain = std::strtod (text.c_str (), &end);
	const std::string unit = trimmed (end);
	double (*toNormalized) (double) = nullptr;
	double (*fromNormalized) (double) = nullptr;
	if (end == text.c_str () || !std::isfinite (plain) || (!unit.empty () && unit != param.units) ||
	    !continuousMapping (param.id, toNormalized, fromNormalized))
		return reason = "takes a number" + (param.units.empty () ? std::string () : " in " + param.units), false;
	value = toNormalized (plain);
	// The mapping clamps; a value outside the range is a mistake in the recipe.
	if (std::fabs (fromNormalized (value) - plain) > 1e-9 * std::fmax (1.0, std::fabs (plain)))
		return reason = "is out of range", false;
	return true;
}

} // namespace

int main (int argc, char** argv)
{
	if (argc != 3)
	{
		std::fprintf (stderr, "usage: qeq_preset_compiler RECIPE OUT.quenrileqpreset\n");
		return 2;
	}
	const std::string recipePath = argv[1];
	std::string recipe;
	if (!readWholeFile (recipePath, recipe))
	{
		std::fprintf (stderr, "%s: cannot read\n", recipePath.c_str ());
		return 1;
	}

	std::map<ParamId, double> values;
	int lineNumber = 0;
	size_t start = 0;
	bool ok = true;
	while (start < recipe.size ())
	{
		const size_t end = std::min (recipe.find ('\n', start), recipe.size ());
		const std::string line = trimmed (recipe.substr (start, end - start));
		start = end + 1;
		++lineNumber;
		if (line.empty () || line[0] == '#' || line.rfind ("expect ", 0) == 0)
			continue;
		auto complain = [&] (const std::string& message) {
			std::fprintf (stderr, "%s:%d: %s\n", recipePath.c_str (), lineNumber, message.c_str ());
			ok = false;
		};
		const size_t equals = line.find ('=');
		const ParamSpec* param = equals == std::string::npos ? nullptr : parameterTitled (trimmed (line.substr (0, equals)));
		if (!param)
		{
			complain ("expected \"<parameter title> = <value>\"");
			continue;
		}
		double value = 0;
		std::string reason;
		if (!normalizedValue (*param, trimmed (line.substr (equals + 1)), value, reason))
			complain ("\"" + param->title + "\" " + reason);
		else if (!values.emplace (param->id, value).second)
			complain ("\"" + param->title + "\" is set twice");
	}
	if (!ok)
		return 1;

	const std::string text = formatPresetText ([&values] (ParamId id) {
		const auto found = values.find (id);
		if (found != values.end ())
			return found->second;
		for (const ParamSpec& param : parameterTable ())
			if (param.id == id)
				return param.defaultNormalized;
		return 0.0;
	});
	if (!replaceFileAtomically (argv[2], text))
	{
		std::fprintf (stderr, "%s: cannot write\n", argv[2]);
		return 1;
	}
	return 0;
}
