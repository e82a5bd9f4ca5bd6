#include "render_options.h"

#include "preset_format.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace QuenrilEQ {
namespace render {

namespace {
bool parseStrictDouble (const std::string& text, double& value)
{
	if (text.empty ())
		return false;
	char* end = nullptr;
	errno = 0;
	value = std::strtod (text.c_str (), &end);
	return errno == 0 && end == text.c_str () + text.size () && std::isfinite (value);
}

bool parseStrictId (const std::string& text, Steinberg::Vst::ParamID& id)
{
	if (text.empty () || text[0] < '0' || text[0] > '9')
		return false;
	char* end = nullptr;
	errno = 0;
	unsigned long long value = std::strtoull (text.c_str (), &end, 10);
	if (errno != 0 || end != text.c_str () + text.size () || value > 0xFFFFFFFFull)
		return false;
	id = static_cast<Steinberg::Vst::ParamID> (value);
	return true;
}

bool parseNormalised (const std::string& text, double& value)
{
	return parseStrictDouble (text, value) && value >= 0.0 && value <= 1.0;
}

bool parsePositiveInt (const std::string& text, int maximum, int& value)
{
	double number = 0;
	if (!parseStrictDouble (text, number) || number != std::floor (number) || number < 1 || number > maximum)
		return false;
	value = static_cast<int> (number);
	return true;
}

bool parseGenerator (const std::string& text, RenderOptions& options, std::string& error)
{
	if (text == "noise")
		options.generator = Generator::Noise;
	else if (text == "sweep")
		options.generator = Generator::Sweep;
	else if (text.compare (0, 5, "sine:") == 0)
	{
		options.generator = Generator::Sine;
		// 24 kHz is Nyquist of the 48 kHz the generator runs at.
		if (!parseStrictDouble (text.substr (5), options.sineHz) || options.sineHz <= 0 || options.sineHz >= 24000)
		{
			error = "--generate sine:HZ needs a frequency above 0 and below 24000 Hz, got '" + text + "'";
			return false;
		}
	}
	else
	{
		error = "--generate takes sine:HZ, noise or sweep, got '" + text + "'";
		return false;
	}
	return true;
}
} // namespace

bool parseSetting (const std::string& text, ParameterSetting& setting, std::string& error)
{
	auto equals = text.find ('=');
	if (equals == std::string::npos || !parseStrictId (text.substr (0, equals), setting.id) ||
	    !parseNormalised (text.substr (equals + 1), setting.value))
	{
		error = "malformed ID=VALUE '" + text + "' (ID: decimal parameter ID, VALUE: normalised 0..1)";
		return false;
	}
	return true;
}

bool parseAutomation (const std::string& text, Automation& automation, std::string& error)
{
	auto equals = text.find ('=');
	auto colon = equals == std::string::npos ? std::string::npos : text.find (':', equals);
	if (colon == std::string::npos || !parseStrictId (text.substr (0, equals), automation.id) ||
	    !parseNormalised (text.substr (equals + 1, colon - equals - 1), automation.from) ||
	    !parseNormalised (text.substr (colon + 1), automation.to))
	{
		error = "malformed ID=FROM:TO '" + text + "' (ID: decimal parameter ID, FROM and TO: normalised 0..1)";
		return false;
	}
	return true;
}

std::vector<ParameterSetting> parsePresetText (const std::string& text)
{
	// The plug-in's own reader rules, so a preset renders as it loads in the editor.
	std::vector<ParameterSetting> settings;
	for (const PresetLine& line : QuenrilEQ::parsePresetText (text))
		settings.push_back ({line.id, line.value});
	return settings;
}

bool parseArguments (const std::vector<std::string>& args, RenderOptions& options, std::string& error)
{
	std::vector<std::string> positional;
	for (size_t i = 0; i < args.size (); ++i)
	{
		const std::string& arg = args[i];
		auto needValue = [&] (std::string& value) {
			if (i + 1 >= args.size ())
			{
				error = arg + " needs a value";
				return false;
			}
			value = args[++i];
			return true;
		};
		std::string value;
		if (arg == "--help" || arg == "-h")
		{
			options.showHelp = true;
			return true;
		}
		else if (arg == "--compensate-latency")
			options.compensateLatency = true;
		else if (arg == "--plugin" || arg == "--preset" || arg == "--sidechain" || arg == "--response")
		{
			if (!needValue (value))
				return false;
			(arg == "--plugin"   ? options.pluginPath
			 : arg == "--preset" ? options.presetPath
			 : arg == "--response" ? options.responsePath
			                     : options.sidechainPath) = value;
		}
		else if (arg == "--set")
		{
			ParameterSetting setting;
			if (!needValue (value) || !parseSetting (value, setting, error))
				return false;
			options.settings.push_back (setting);
		}
		else if (arg == "--automate")
		{
			Automation automation;
			if (!needValue (value) || !parseAutomation (value, automation, error))
				return false;
			options.automations.push_back (automation);
		}
		else if (arg == "--block")
		{
			if (!needValue (value))
				return false;
			if (!parsePositiveInt (value, 65536, options.blockSize))
			{
				error = "--block needs a whole number of samples from 1 to 65536, got '" + value + "'";
				return false;
			}
		}
		else if (arg == "--generate")
		{
			if (!needValue (value) || !parseGenerator (value, options, error))
				return false;
		}
		else if (arg == "--seconds")
		{
			if (!needValue (value))
				return false;
			if (!parseStrictDouble (value, options.seconds) || options.seconds <= 0 || options.seconds > 3600)
			{
				error = "--seconds needs a length above 0 and at most 3600, got '" + value + "'";
				return false;
			}
		}
		else if (arg.size () > 1 && arg[0] == '-')
		{
			error = "unknown option '" + arg + "'";
			return false;
		}
		else
			positional.push_back (arg);
	}

	if (!options.responsePath.empty ())
	{
		// The response is QuenrilEQ's own, computed from the values alone.
		if (!positional.empty () || options.generator != Generator::None || !options.pluginPath.empty () ||
		    !options.sidechainPath.empty () || !options.automations.empty ())
		{
			error = "--response takes only --preset and --set (no audio, bundle, side-chain or automation)";
			return false;
		}
		return true;
	}
	const size_t wanted = options.generator == Generator::None ? 2 : 1;
	if (positional.size () != wanted)
	{
		error = options.generator == Generator::None ? "expected IN.wav OUT.wav (or --generate ... OUT.wav)"
		                                             : "with --generate give only OUT.wav";
		return false;
	}
	if (options.generator != Generator::None && options.seconds <= 0)
	{
		error = "--generate needs --seconds S";
		return false;
	}
	if (options.generator == Generator::None && options.seconds > 0)
	{
		error = "--seconds only applies to --generate";
		return false;
	}
	options.outputPath = positional.back ();
	if (wanted == 2)
		options.inputPath = positional.front ();
	return true;
}

const char* usageText ()
{
	return "usage: quenrileq-render [--plugin BUNDLE] [--preset FILE] [--set ID=VALUE]...\n"
	       "                        [--automate ID=FROM:TO]... [--sidechain WAV] [--block N]\n"
	       "                        [--compensate-latency] (IN.wav | --generate sine:HZ|noise|sweep --seconds S) OUT.wav\n"
	       "       quenrileq-render [--preset FILE] [--set ID=VALUE]... --response FILE.svg|FILE.csv\n"
	       "Runs audio through a VST 3 plug-in and writes a 32-bit float WAV, or writes\n"
	       "QuenrilEQ's magnitude response for the values (summed and per band, as the editor draws it).\n"
	       "  --plugin BUNDLE       the .vst3 bundle (default: QuenrilEQ.vst3 beside the tool's bin folder)\n"
	       "  --preset FILE         \"ID=value\" preset text, applied before the first block\n"
	       "  --set ID=VALUE        normalised value (0..1) applied before the first block; after the preset\n"
	       "  --automate ID=FROM:TO linear ramp over the render, one value per block\n"
	       "  --sidechain WAV       feeds the plug-in's side-chain input (silence after its end)\n"
	       "  --block N             samples per process call (default 512)\n"
	       "  --compensate-latency  drops the reported latency from the output start\n"
	       "  --generate KIND       stereo 48 kHz test signal at -6 dBFS instead of IN.wav\n"
	       "  --response FILE       writes the response on the editor's 20 Hz..22 kHz grid (.svg picture or .csv table)\n";
}

} // namespace render
} // namespace QuenrilEQ
