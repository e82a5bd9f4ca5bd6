// WAV reading and writing through libsndfile, as interleaved 32-bit floats.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>

namespace QuenrilEQ {
namespace render {

/** An open WAV file for reading. */
class WavReader
{
public:
	/** Opens path; refuses anything that is not a readable WAV. Null with error on failure. */
	static std::unique_ptr<WavReader> open (const std::string& path, std::string& error);

	int sampleRate () const { return info_.samplerate; }
	int channels () const { return info_.channels; }
	int64_t frames () const { return info_.frames; }

	/** Reads up to frames interleaved frames; returns how many were read (0 at the end). */
	int64_t read (float* interleaved, int64_t frames);

private:
	WavReader () = default;
	std::unique_ptr<SNDFILE, int (*) (SNDFILE*)> file_ {nullptr, sf_close};
	SF_INFO info_ {};
};

/** A 32-bit float WAV being written. */
class WavWriter
{
public:
	static std::unique_ptr<WavWriter> create (const std::string& path, int sampleRate, int channels,
	                                          std::string& error);

	/** Writes interleaved frames; false when the file did not take them all. */
	bool write (const float* interleaved, int64_t frames);
	/** Flushes and closes; false if that failed. */
	bool close ();

private:
	WavWriter () = default;
	std::unique_ptr<SNDFILE, int (*) (SNDFILE*)> file_ {nullptr, sf_close};
};

} // namespace render
} // namespace QuenrilEQ
