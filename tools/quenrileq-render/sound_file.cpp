#include "sound_file.h"

#include <fstream>

namespace QuenrilEQ {
namespace render {

std::unique_ptr<WavReader> WavReader::open (const std::string& path, std::string& error)
{
	{
		std::ifstream probe (path, std::ios::binary);
		if (!probe)
		{
			error = "cannot read '" + path + "'";
			return nullptr;
		}
	}
	std::unique_ptr<WavReader> reader (new WavReader ());
	reader->file_.reset (sf_open (path.c_str (), SFM_READ, &reader->info_));
	if (!reader->file_)
	{
		error = "'" + path + "' is not a readable WAV file (" + sf_strerror (nullptr) + ")";
		return nullptr;
	}
	const int major = reader->info_.format & SF_FORMAT_TYPEMASK;
	if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_RF64)
	{
		error = "'" + path + "' is not a WAV file";
		return nullptr;
	}
	if (reader->info_.channels < 1 || reader->info_.samplerate < 1)
	{
		error = "'" + path + "' has no audio channels";
		return nullptr;
	}
	return reader;
}

int64_t WavReader::read (float* interleaved, int64_t frames)
{
	return sf_readf_float (file_.get (), interleaved, frames);
}

std::unique_ptr<WavWriter> WavWriter::create (const std::string& path, int sampleRate, int channels,
                                              std::string& error)
{
	SF_INFO info {};
	info.samplerate = sampleRate;
	info.channels = channels;
	info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	std::unique_ptr<WavWriter> writer (new WavWriter ());
	writer->file_.reset (sf_open (path.c_str (), SFM_WRITE, &info));
	if (!writer->file_)
	{
		error = "cannot write '" + path + "' (" + sf_strerror (nullptr) + ")";
		return nullptr;
	}
	return writer;
}

bool WavWriter::write (const float* interleaved, int64_t frames)
{
	return frames == 0 || sf_writef_float (file_.get (), interleaved, frames) == frames;
}

bool WavWriter::close ()
{
	if (!file_)
		return true;
	return sf_close (file_.release ()) == 0;
}

} // namespace render
} // namespace QuenrilEQ
