// Where the rendered audio comes from: a WAV file or a generated test signal.
#pragma once

#include "render_options.h"
#include "sound_file.h"

#include <cstdint>
#include <memory>
#include <random>

namespace QuenrilEQ {
namespace render {

/** Interleaved float frames, read block by block; silence after the end. */
class SignalSource
{
public:
	virtual ~SignalSource () = default;
	virtual int sampleRate () const = 0;
	virtual int channels () const = 0;
	/** Total frames the source holds. */
	virtual int64_t frames () const = 0;
	/** Fills frames interleaved frames: the next samples of the source, zeros past its end. */
	virtual void read (float* interleaved, int64_t frames) = 0;
};

/** A WAV file as a source. */
std::unique_ptr<SignalSource> makeFileSource (std::unique_ptr<WavReader> reader);

/** Stereo 48 kHz test signal at -6 dBFS peak (amplitude 0.5) lasting seconds:
 *  a sine of sineHz, white noise (fixed seed, decorrelated channels) or an
 *  exponential sweep from 20 Hz to 20 kHz. */
std::unique_ptr<SignalSource> makeGenerator (Generator kind, double sineHz, double seconds);

} // namespace render
} // namespace QuenrilEQ
