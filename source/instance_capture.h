// One processor instance's recent audio and dynamics, for its own editor: the
// last kFrames frames of its input (pre-EQ), output (post-EQ) and side-chain,
// each dynamic band's live gain and detector level. Unlike the process-wide
// waveform rings it never mixes instances.
//
// The audio thread writes with relaxed stores and publishes with one counter
// step per block: no allocation, no lock, no system call, never slowed by
// readers. Readers (the editor's thread) check afterwards whether the writer
// overtook what they copied, and try again rather than show a torn view.
#pragma once

#include "eq_band.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace QuenrilEQ {

class InstanceCapture
{
public:
	static constexpr int kFrames = 16384; // power of two
	enum Stream
	{
		kPre,
		kPost,
		kSidechain,
		kNumStreams
	};

	/** A band's dynamics as last published: live gain and detector level, dB. */
	struct BandReading
	{
		float gainDb = 0;
		float levelDb = -120;
	};

	/** Allocates the storage (about 400 kB). [non-audio thread] */
	InstanceCapture ();

	//--- writer [audio thread]: write the block's streams, then publish them together
	/** Stores n frames of a stream at the block's position (right may equal left). */
	void write (Stream stream, const float* left, const float* right, int n) noexcept;
	/** Stores n frames of silence for a stream (no side-chain this block). */
	void writeSilence (Stream stream, int n) noexcept;
	/** Makes the block's n frames visible to readers. */
	void publish (int n) noexcept;
	/** Publishes every band's live gain and detector level. */
	void publishBands (const BandBank& bank) noexcept;
	void setSampleRate (double rate) noexcept { sampleRate.store (rate, std::memory_order_relaxed); }

	//--- readers [any thread]
	/** Frames published so far. */
	std::uint64_t frames () const noexcept { return written.load (std::memory_order_acquire); }
	double rate () const noexcept { return sampleRate.load (std::memory_order_relaxed); }
	/** The newest n frames (n <= kFrames / 2) of a stream, oldest first, zeros
	    before the first frame; false when the writer kept overtaking the copy. */
	bool readNewest (Stream stream, int n, float* left, float* right) const noexcept;
	/** All bands at one moment; false when the writer kept interrupting. */
	bool readBands (std::array<BandReading, kNumBands>& out) const noexcept;

private:
	static constexpr std::uint64_t kMask = kFrames - 1;
	void noteBlock (int n) noexcept;
	std::atomic<float>* channel (Stream stream, int c) noexcept { return &samples[(stream * 2 + c) * kFrames]; }
	const std::atomic<float>* channel (Stream stream, int c) const noexcept
	{
		return &samples[(stream * 2 + c) * kFrames];
	}

	std::vector<std::atomic<float>> samples; // kNumStreams x 2 channels x kFrames
	std::atomic<std::uint64_t> written {0};
	std::atomic<std::uint32_t> largestBlock {0}; // how far ahead of `written` the writer may be
	std::atomic<std::uint32_t> bandSequence {0};  // odd while bands are being written
	std::array<std::atomic<float>, kNumBands> bandGain {};
	std::array<std::atomic<float>, kNumBands> bandLevel {};
	std::atomic<double> sampleRate {48000.0};
};

} // namespace QuenrilEQ
