#include "signal_source.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {
namespace render {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kGeneratorRate = 48000;
constexpr int kGeneratorChannels = 2;
constexpr double kAmplitude = 0.5; // -6 dBFS: headroom for boosting plug-ins
constexpr double kSweepStartHz = 20;
constexpr double kSweepEndHz = 20000;

class FileSource : public SignalSource
{
public:
	explicit FileSource (std::unique_ptr<WavReader> reader) : reader_ (std::move (reader)) {}
	int sampleRate () const override { return reader_->sampleRate (); }
	int channels () const override { return reader_->channels (); }
	int64_t frames () const override { return reader_->frames (); }
	void read (float* interleaved, int64_t frames) override
	{
		int64_t got = std::max<int64_t> (reader_->read (interleaved, frames), 0);
		std::fill (interleaved + got * channels (), interleaved + frames * channels (), 0.0f);
	}

private:
	std::unique_ptr<WavReader> reader_;
};

class GeneratedSource : public SignalSource
{
public:
	GeneratedSource (Generator kind, double sineHz, double seconds)
	: kind_ (kind), sineHz_ (sineHz), frames_ (static_cast<int64_t> (std::llround (seconds * kGeneratorRate))),
	  seconds_ (seconds)
	{
	}
	int sampleRate () const override { return kGeneratorRate; }
	int channels () const override { return kGeneratorChannels; }
	int64_t frames () const override { return frames_; }
	void read (float* interleaved, int64_t frames) override
	{
		for (int64_t f = 0; f < frames; ++f, ++position_)
			for (int c = 0; c < kGeneratorChannels; ++c)
				interleaved[f * kGeneratorChannels + c] = position_ < frames_ ? sample (c) : 0.0f;
	}

private:
	float sample (int channel)
	{
		const double t = static_cast<double> (position_) / kGeneratorRate;
		switch (kind_)
		{
			case Generator::Sine:
				return static_cast<float> (kAmplitude * std::sin (2 * kPi * sineHz_ * t));
			case Generator::Noise:
				return static_cast<float> (noise_ (channel == 0 ? left_ : right_));
			case Generator::Sweep:
			{
				// Exponential sweep: instantaneous frequency start * (end/start)^(t/T).
				const double rate = std::log (kSweepEndHz / kSweepStartHz);
				const double phase = 2 * kPi * kSweepStartHz * seconds_ / rate * (std::exp (t / seconds_ * rate) - 1);
				return static_cast<float> (kAmplitude * std::sin (phase));
			}
			case Generator::None:
				break;
		}
		return 0.0f;
	}

	Generator kind_;
	double sineHz_;
	int64_t frames_;
	double seconds_;
	int64_t position_ = 0;
	std::mt19937 left_ {12345u};
	std::mt19937 right_ {67890u};
	std::uniform_real_distribution<double> noise_ {-kAmplitude, kAmplitude};
};
} // namespace

std::unique_ptr<SignalSource> makeFileSource (std::unique_ptr<WavReader> reader)
{
	return std::make_unique<FileSource> (std::move (reader));
}

std::unique_ptr<SignalSource> makeGenerator (Generator kind, double sineHz, double seconds)
{
	return std::make_unique<GeneratedSource> (kind, sineHz, seconds);
}

} // namespace render
} // namespace QuenrilEQ
