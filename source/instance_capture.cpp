#include "instance_capture.h"

#include <algorithm>

namespace QuenrilEQ {

namespace {
constexpr int kReadAttempts = 8;
}

InstanceCapture::InstanceCapture () : samples (static_cast<size_t> (kNumStreams) * 2 * kFrames)
{
	for (int i = 0; i < kNumBands; ++i)
	{
		bandGain[i].store (0.0f, std::memory_order_relaxed);
		bandLevel[i].store (-120.0f, std::memory_order_relaxed);
	}
}

void InstanceCapture::noteBlock (int n) noexcept
{
	// Before the block's frames are stored: readers judge by it how far the
	// writer may reach beyond what is published.
	if (static_cast<std::uint32_t> (n) > largestBlock.load (std::memory_order_relaxed))
	{
		largestBlock.store (static_cast<std::uint32_t> (n), std::memory_order_relaxed);
		std::atomic_thread_fence (std::memory_order_release);
	}
}

void InstanceCapture::write (Stream stream, const float* left, const float* right, int n) noexcept
{
	noteBlock (n);
	const std::uint64_t at = written.load (std::memory_order_relaxed);
	std::atomic<float>* l = channel (stream, 0);
	std::atomic<float>* r = channel (stream, 1);
	for (int j = 0; j < n; ++j)
	{
		const std::uint64_t slot = (at + static_cast<std::uint64_t> (j)) & kMask;
		l[slot].store (left[j], std::memory_order_relaxed);
		r[slot].store (right[j], std::memory_order_relaxed);
	}
}

void InstanceCapture::writeSilence (Stream stream, int n) noexcept
{
	noteBlock (n);
	const std::uint64_t at = written.load (std::memory_order_relaxed);
	for (int c = 0; c < 2; ++c)
	{
		std::atomic<float>* x = channel (stream, c);
		for (int j = 0; j < n; ++j)
			x[(at + static_cast<std::uint64_t> (j)) & kMask].store (0.0f, std::memory_order_relaxed);
	}
}

void InstanceCapture::publish (int n) noexcept
{
	if (n <= 0)
		return;
	written.fetch_add (static_cast<std::uint64_t> (n), std::memory_order_release);
}

void InstanceCapture::publishBands (const BandBank& bank) noexcept
{
	const std::uint32_t s = bandSequence.load (std::memory_order_relaxed);
	bandSequence.store (s + 1, std::memory_order_relaxed);
	std::atomic_thread_fence (std::memory_order_release);
	for (int i = 0; i < kNumBands; ++i)
	{
		bandGain[i].store (static_cast<float> (bank.bands[i].dynamicGain), std::memory_order_relaxed);
		bandLevel[i].store (static_cast<float> (bank.bands[i].envelope), std::memory_order_relaxed);
	}
	bandSequence.store (s + 2, std::memory_order_release);
}

bool InstanceCapture::readNewest (Stream stream, int n, float* left, float* right) const noexcept
{
	n = std::clamp (n, 0, kFrames / 2);
	for (int attempt = 0; attempt < kReadAttempts; ++attempt)
	{
		const std::uint64_t end = written.load (std::memory_order_acquire);
		const std::atomic<float>* l = channel (stream, 0);
		const std::atomic<float>* r = channel (stream, 1);
		for (int j = 0; j < n; ++j)
		{
			const std::uint64_t frame = end - static_cast<std::uint64_t> (n) + static_cast<std::uint64_t> (j);
			const bool before = end < static_cast<std::uint64_t> (n - j); // not written yet
			left[j] = before ? 0.0f : l[frame & kMask].load (std::memory_order_relaxed);
			right[j] = before ? 0.0f : r[frame & kMask].load (std::memory_order_relaxed);
		}
		std::atomic_thread_fence (std::memory_order_acquire);
		// The writer fills frames from `written` on before it publishes them: the
		// copy holds if that region has not wrapped onto it yet.
		const std::uint64_t now = written.load (std::memory_order_relaxed);
		const std::uint64_t reach = now + largestBlock.load (std::memory_order_relaxed);
		if (reach - (end - std::min<std::uint64_t> (end, static_cast<std::uint64_t> (n))) <= kFrames)
			return true;
	}
	return false;
}

bool InstanceCapture::readBands (std::array<BandReading, kNumBands>& out) const noexcept
{
	for (int attempt = 0; attempt < kReadAttempts; ++attempt)
	{
		const std::uint32_t before = bandSequence.load (std::memory_order_acquire);
		if (before & 1u)
			continue;
		for (int i = 0; i < kNumBands; ++i)
			out[i] = {bandGain[i].load (std::memory_order_relaxed), bandLevel[i].load (std::memory_order_relaxed)};
		std::atomic_thread_fence (std::memory_order_acquire);
		if (bandSequence.load (std::memory_order_relaxed) == before)
			return true;
	}
	return false;
}

} // namespace QuenrilEQ
