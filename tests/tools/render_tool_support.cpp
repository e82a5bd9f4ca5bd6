#include "render_tool_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace QuenrilEQ {
namespace testing {

namespace {
std::string quote (const std::string& text)
{
	std::string quoted = "'";
	for (char c : text)
		quoted += c == '\'' ? std::string ("'\\''") : std::string (1, c);
	return quoted + "'";
}
} // namespace

std::string readBytes (const std::string& path)
{
	std::ifstream file (path, std::ios::binary);
	std::ostringstream contents;
	contents << file.rdbuf ();
	return contents.str ();
}

bool fileExists (const std::string& path)
{
	struct stat info {};
	return stat (path.c_str (), &info) == 0;
}

std::string scratchFolder (const std::string& name)
{
	const std::string folder = ::testing::TempDir () + "qeq_render_" + std::to_string (getpid ()) + "_" + name + "/";
	std::error_code ignored;
	std::filesystem::remove_all (folder, ignored);
	std::filesystem::create_directories (folder, ignored);
	return folder;
}

ToolRun runTool (const std::vector<std::string>& args)
{
	const std::string folder = scratchFolder ("run");
	std::string command = quote (QEQ_RENDER_TOOL);
	for (const auto& arg : args)
		command += " " + quote (arg);
	command += " >" + quote (folder + "out.txt") + " 2>" + quote (folder + "err.txt");
	ToolRun run;
	const int status = std::system (command.c_str ());
	run.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
	run.out = readBytes (folder + "out.txt");
	run.err = readBytes (folder + "err.txt");
	return run;
}

Wav readWav (const std::string& path)
{
	Wav wav;
	SF_INFO info {};
	SNDFILE* file = sf_open (path.c_str (), SFM_READ, &info);
	if (!file)
		return wav;
	wav.sampleRate = info.samplerate;
	wav.channels = info.channels;
	wav.format = info.format;
	wav.samples.resize (static_cast<size_t> (info.frames * info.channels));
	wav.ok = sf_readf_float (file, wav.samples.data (), info.frames) == info.frames;
	sf_close (file);
	return wav;
}

bool writeSound (const std::string& path, int sampleRate, int channels, const std::vector<float>& samples, int format)
{
	SF_INFO info {};
	info.samplerate = sampleRate;
	info.channels = channels;
	info.format = format;
	SNDFILE* file = sf_open (path.c_str (), SFM_WRITE, &info);
	if (!file)
		return false;
	const sf_count_t frames = static_cast<sf_count_t> (samples.size ()) / channels;
	const bool ok = sf_writef_float (file, samples.data (), frames) == frames;
	return sf_close (file) == 0 && ok;
}

double channelRms (const Wav& wav, int channel, long first, long count)
{
	double sum = 0;
	for (long f = first; f < first + count; ++f)
		sum += static_cast<double> (wav.at (f, channel)) * wav.at (f, channel);
	return count > 0 ? std::sqrt (sum / static_cast<double> (count)) : 0.0;
}

} // namespace testing
} // namespace QuenrilEQ
