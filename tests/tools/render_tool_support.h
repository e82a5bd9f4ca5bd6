// Running quenrileq-render and reading the files it writes.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace QuenrilEQ::testing {

inline std::string readBytes (const std::string& path)
{
	std::ostringstream contents;
	contents << std::ifstream (path, std::ios::binary).rdbuf ();
	return contents.str ();
}

// A fresh, empty scratch folder for one test (ends in "/").
inline std::string scratchFolder (const std::string& name)
{
	const std::string folder = ::testing::TempDir () + "qeq_render_" + std::to_string (getpid ()) + "_" + name + "/";
	std::error_code ignored;
	std::filesystem::remove_all (folder, ignored);
	std::filesystem::create_directories (folder, ignored);
	return folder;
}

struct ToolRun
{
	int exitCode = -1;
	std::string out, err;  // standard output and error
};

// Runs the tool with the arguments (each shell-quoted) and collects its output.
inline ToolRun runTool (const std::vector<std::string>& args)
{
	auto quote = [] (const std::string& text) {
		std::string quoted = "'";
		for (char c : text)
			quoted += c == '\'' ? std::string ("'\\''") : std::string (1, c);
		return quoted + "'";
	};
	const std::string folder = scratchFolder ("run");
	std::string command = quote (QEQ_RENDER_TOOL);
	for (const auto& arg : args)
		command += " " + quote (arg);
	const int status = std::system ((command + " >" + quote (folder + "out.txt") + " 2>" + quote (folder + "err.txt")).c_str ());
	return {WIFEXITED (status) ? WEXITSTATUS (status) : -1, readBytes (folder + "out.txt"), readBytes (folder + "err.txt")};
}

struct Wav
{
	bool ok = false;
	int sampleRate = 0, channels = 0, format = 0;
	std::vector<float> samples;  // interleaved
	long frames () const { return channels ? static_cast<long> (samples.size ()) / channels : 0; }
	float at (long frame, int channel) const { return samples[static_cast<size_t> (frame * channels + channel)]; }
	// RMS of one channel over frames [first, first + count).
	double rms (int channel, long first, long count) const
	{
		double sum = 0;
		for (long f = first; f < first + count; ++f)
			sum += double (at (f, channel)) * at (f, channel);
		return std::sqrt (sum / static_cast<double> (count));
	}
};

inline Wav readWav (const std::string& path)
{
	Wav wav;
	SF_INFO info {};
	if (SNDFILE* file = sf_open (path.c_str (), SFM_READ, &info))
	{
		wav.sampleRate = info.samplerate, wav.channels = info.channels, wav.format = info.format;
		wav.samples.resize (static_cast<size_t> (info.frames * info.channels));
		wav.ok = sf_readf_float (file, wav.samples.data (), info.frames) == info.frames;
		sf_close (file);
	}
	return wav;
}

// Writes interleaved samples as a WAV (or another format libsndfile knows).
inline bool writeSound (const std::string& path, int sampleRate, int channels, const std::vector<float>& samples,
                        int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
	SF_INFO info {};
	info.samplerate = sampleRate, info.channels = channels, info.format = format;
	SNDFILE* file = sf_open (path.c_str (), SFM_WRITE, &info);
	if (!file)
		return false;
	const sf_count_t frames = static_cast<sf_count_t> (samples.size ()) / channels;
	const bool ok = sf_writef_float (file, samples.data (), frames) == frames;
	return sf_close (file) == 0 && ok;
}

} // namespace QuenrilEQ::testing
