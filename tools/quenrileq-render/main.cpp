// quenrileq-render: renders a WAV file (or a generated signal) through a VST 3
// plug-in, offline, and reports latency, speed and levels.
#include "level_meter.h"
#include "render_options.h"
#include "renderer.h"
#include "response_picture.h"
#include "signal_source.h"
#include "sound_file.h"

#include "bundle_location.h"
#include "module.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace QuenrilEQ;
using namespace QuenrilEQ::render;

namespace {

int fail (const std::string& message)
{
	std::fprintf (stderr, "quenrileq-render: error: %s\n", message.c_str ());
	return 1;
}

bool sameFile (const std::string& a, const std::string& b)
{
	if (a == b)
		return true;
	struct stat sa {}, sb {};
	return stat (a.c_str (), &sa) == 0 && stat (b.c_str (), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool readTextFile (const std::string& path, std::string& text)
{
	std::ifstream file (path, std::ios::binary);
	if (!file)
		return false;
	std::ostringstream contents;
	contents << file.rdbuf ();
	text = contents.str ();
	return !file.bad ();
}

std::string describe (const std::map<Steinberg::Vst::ParamID, std::string>& titles, Steinberg::Vst::ParamID id)
{
	auto found = titles.find (id);
	return std::to_string (id) + (found != titles.end () ? " \"" + found->second + "\"" : " (not listed by the controller)");
}

void printLevels (const char* label, const LevelMeter& meter)
{
	std::printf ("%s: peak %.2f dBFS, RMS %.2f dBFS\n", label, meter.peakDb (), meter.rmsDb ());
}

/** The preset's values, then the --set values; false with error when the preset cannot be read. */
bool initialValues (const RenderOptions& options, std::vector<ParameterSetting>& values, std::string& error)
{
	values.clear ();
	if (!options.presetPath.empty ())
	{
		std::string text;
		if (!readTextFile (options.presetPath, text))
		{
			error = "cannot read preset '" + options.presetPath + "'";
			return false;
		}
		values = parsePresetText (text);
	}
	values.insert (values.end (), options.settings.begin (), options.settings.end ());
	return true;
}

int drawResponse (const RenderOptions& options)
{
	std::vector<ParameterSetting> values;
	std::string error;
	if (!initialValues (options, values, error))
		return fail (error);
	const std::string title = options.presetPath.empty ()
	                              ? std::string ("QuenrilEQ response")
	                              : "QuenrilEQ: " + std::filesystem::path (options.presetPath).stem ().string ();
	if (!writeResponse (options.responsePath, responseCurves (values), title, error))
		return fail (error);
	std::printf ("response: %s\n", options.responsePath.c_str ());
	return 0;
}

int run (const RenderOptions& options)
{
	std::string error;
	std::unique_ptr<SignalSource> source;
	if (options.generator == Generator::None)
	{
		if (sameFile (options.inputPath, options.outputPath))
			return fail ("the output path is the input file '" + options.inputPath + "'");
		auto reader = WavReader::open (options.inputPath, error);
		if (!reader)
			return fail (error);
		source = makeFileSource (std::move (reader));
	}
	else
		source = makeGenerator (options.generator, options.sineHz, options.seconds);

	std::unique_ptr<SignalSource> sidechain;
	if (!options.sidechainPath.empty ())
	{
		if (sameFile (options.sidechainPath, options.outputPath))
			return fail ("the output path is the side-chain file '" + options.sidechainPath + "'");
		auto reader = WavReader::open (options.sidechainPath, error);
		if (!reader)
			return fail (error);
		if (reader->sampleRate () != source->sampleRate ())
			return fail ("the side-chain runs at " + std::to_string (reader->sampleRate ()) + " Hz, the input at " +
			             std::to_string (source->sampleRate ()) + " Hz");
		sidechain = makeFileSource (std::move (reader));
	}

	std::vector<ParameterSetting> initial;
	if (!initialValues (options, initial, error))
		return fail (error);

	const std::string bundle = options.pluginPath.empty () ? host::defaultQuenrilEQBundle () : options.pluginPath;
	auto module = host::Module::load (bundle, &error);
	if (!module)
		return fail ("cannot load plug-in bundle '" + bundle + "': " + error);

	const int channels = source->channels ();
	const int block = options.blockSize;
	auto renderer = Renderer::create (module, channels, source->sampleRate (), block,
	                                  sidechain ? sidechain->channels () : 0, error);
	if (!renderer)
		return fail (error);

	std::map<Steinberg::Vst::ParamID, std::string> titles;
	for (const auto& parameter : renderer->firstInstance ().parameters ())
		titles[parameter.id] = parameter.title;
	for (const auto& setting : initial)
		std::printf ("parameter %s = %g\n", describe (titles, setting.id).c_str (), setting.value);
	for (const auto& ramp : options.automations)
		std::printf ("automate %s from %g to %g\n", describe (titles, ramp.id).c_str (), ramp.from, ramp.to);

	const int64_t inputFrames = source->frames ();
	renderer->setInitialValues (initial);
	renderer->setAutomations (options.automations, (inputFrames + block - 1) / block);

	auto writer = WavWriter::create (options.outputPath, source->sampleRate (), channels, error);
	if (!writer)
		return fail (error);

	// Every buffer is sized once here; the loop below does not allocate.
	std::vector<float> in (static_cast<size_t> (block * channels));
	std::vector<float> out (in.size ());
	std::vector<float> side (sidechain ? static_cast<size_t> (block * sidechain->channels ()) : 0);
	LevelMeter inputMeter, outputMeter;
	int64_t extra = 0, toDrop = 0, consumed = 0;
	Steinberg::uint32 latency = 0;
	bool first = true;
	while (consumed < inputFrames + extra)
	{
		const int frames = static_cast<int> (std::min<int64_t> (block, inputFrames + extra - consumed));
		source->read (in.data (), frames);
		inputMeter.add (in.data (), std::max<int64_t> (0, std::min<int64_t> (frames, inputFrames - consumed)) * channels);
		if (sidechain)
			sidechain->read (side.data (), frames);
		renderer->process (in.data (), sidechain ? side.data () : nullptr, out.data (), frames);
		consumed += frames;
		if (first)
		{
			// Parameters reach the processor with the first block, so only now
			// does the reported latency describe this render.
			latency = renderer->latencySamples ();
			if (options.compensateLatency)
				extra = toDrop = latency;
			first = false;
		}
		const int64_t skip = std::min<int64_t> (toDrop, frames);
		toDrop -= skip;
		const float* keep = out.data () + skip * channels;
		const int64_t kept = frames - skip;
		outputMeter.add (keep, kept * channels);
		if (!writer->write (keep, kept))
		{
			writer.reset ();
			std::remove (options.outputPath.c_str ());
			return fail ("writing '" + options.outputPath + "' failed");
		}
	}
	if (!writer->close ())
		return fail ("closing '" + options.outputPath + "' failed");

	const double audioSeconds = static_cast<double> (consumed) / source->sampleRate ();
	if (renderer->instanceCount () > 1)
		std::printf ("instances: %zu (one per %d-channel group of the file)\n", renderer->instanceCount (), channels / static_cast<int> (renderer->instanceCount ()));
	std::printf ("latency: %u samples%s\n", latency, options.compensateLatency ? " (compensated)" : "");
	if (renderer->processSeconds () > 0)
		std::printf ("real-time factor: %.1f\n", audioSeconds / renderer->processSeconds ());
	else
		std::printf ("real-time factor: n/a (nothing processed)\n");
	printLevels ("input", inputMeter);
	printLevels ("output", outputMeter);
	return 0;
}

} // namespace

int main (int argc, char** argv)
{
	RenderOptions options;
	std::string error;
	if (!parseArguments (std::vector<std::string> (argv + 1, argv + argc), options, error))
		return fail (error + " (see --help)");
	if (options.showHelp)
	{
		std::fputs (usageText (), stdout);
		return 0;
	}
	return options.responsePath.empty () ? run (options) : drawResponse (options);
}
