// Running quenrileq-render and reading the files it writes.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace QuenrilEQ {
namespace testing {

struct ToolRun
{
	int exitCode = -1;
	std::string out; ///< standard output
	std::string err; ///< standard error
};

/** Runs the tool with the arguments (each shell-quoted) and collects its output. */
ToolRun runTool (const std::vector<std::string>& args);

struct Wav
{
	bool ok = false;
	int sampleRate = 0;
	int channels = 0;
	int format = 0;
	std::vector<float> samples; ///< interleaved
	long frames () const { return channels ? static_cast<long> (samples.size ()) / channels : 0; }
	float at (long frame, int channel) const { return samples[static_cast<size_t> (frame * channels + channel)]; }
};

Wav readWav (const std::string& path);
/** Writes interleaved samples as a WAV (or another format libsndfile knows). */
bool writeSound (const std::string& path, int sampleRate, int channels, const std::vector<float>& samples,
                 int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT);

std::string readBytes (const std::string& path);
bool fileExists (const std::string& path);
/** A fresh, empty scratch folder for one test (ends in "/"). */
std::string scratchFolder (const std::string& name);

/** RMS of one channel over frames [first, first + count). */
double channelRms (const Wav& wav, int channel, long first, long count);

} // namespace testing
} // namespace QuenrilEQ
