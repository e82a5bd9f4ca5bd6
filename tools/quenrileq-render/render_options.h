// Command line of quenrileq-render and the preset text it reads.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

#include <string>
#include <vector>

namespace QuenrilEQ {
namespace render {

/** One normalised parameter value (0..1). */
struct ParameterSetting
{
	Steinberg::Vst::ParamID id = 0;
	double value = 0;
};

/** A linear ramp of one parameter over the whole render, normalised values. */
struct Automation
{
	Steinberg::Vst::ParamID id = 0;
	double from = 0;
	double to = 0;
};

enum class Generator
{
	None,
	Sine,
	Noise,
	Sweep
};

struct RenderOptions
{
	std::string pluginPath; ///< empty: the bundle built beside the tool
	std::string presetPath;
	std::vector<ParameterSetting> settings; ///< --set, in command-line order
	std::vector<Automation> automations;
	std::string sidechainPath;
	int blockSize = 512; ///< samples per process call
	bool compensateLatency = false;
	Generator generator = Generator::None;
	double sineHz = 1000; ///< Hz, for Generator::Sine
	double seconds = 0; ///< length of a generated signal
	std::string inputPath; ///< empty when generating
	std::string outputPath;
	std::string responsePath; ///< --response: draw the response instead of rendering
	bool showHelp = false;
};

/** Parses the arguments after the program name. False with a one-line
 *  message on bad input. */
bool parseArguments (const std::vector<std::string>& args, RenderOptions& options, std::string& error);

/** "ID=VALUE": decimal ID, normalised value in [0, 1]; strict (no trailing text). */
bool parseSetting (const std::string& text, ParameterSetting& setting, std::string& error);

/** "ID=FROM:TO" with both values in [0, 1]. */
bool parseAutomation (const std::string& text, Automation& automation, std::string& error);

/** The preset text format: lines "# comment" and "ID=value". Lenient as the
 *  plug-in's own reader is: empty and "#" lines and lines without "=" are
 *  skipped; the ID goes through strtoul (base 10), the value through strtod
 *  (unparsable text gives 0, trailing characters are ignored). */
std::vector<ParameterSetting> parsePresetText (const std::string& text);

/** The usage text printed by --help. */
const char* usageText ();

} // namespace render
} // namespace QuenrilEQ
