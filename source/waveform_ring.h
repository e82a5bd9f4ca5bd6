// The two process-wide rings that receive every output sample of every
// processor instance, so the editor can draw the recent output without any
// message traffic. Writers: audio threads. Readers: UI threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace QuenrilEQ {

struct WaveformRing
{
	static constexpr std::uint64_t kSize = 8192;  // power of two: slot = count & (kSize - 1)
	static constexpr std::uint64_t kMask = kSize - 1;

	// Relaxed atomics: plain stores on x86, but no data race with readers.
	std::array<std::atomic<float>, kSize> samples {};
	std::atomic<std::uint64_t> writeCount {0};  // samples ever written; never reset
	std::atomic<double> sampleRate {48000.0};   // Hz of the last setupProcessing
};

/** Ring 0 carries output channel 0, ring 1 channel 1 and any higher channel. */
WaveformRing& waveformRing (int index) noexcept;

/** Appends a run of samples: reserves n consecutive slots with one counter
    step and stores them in order. [audio thread] */
void pushSamples (WaveformRing& ring, const float* samples, int n) noexcept;

/** The newest n samples (n <= 8192), oldest first: copies the ring, then reads
    the counter, so the newest entries may be stale while writers run. [UI thread] */
void readNewest (const WaveformRing& ring, float* out, int n) noexcept;

} // namespace QuenrilEQ
