#include "waveform_ring.h"

namespace QuenrilEQ {

namespace {
WaveformRing rings[2];
}

WaveformRing& waveformRing (int index) noexcept { return rings[index == 0 ? 0 : 1]; }

void pushSamples (WaveformRing& ring, const float* samples, int n) noexcept
{
	if (n <= 0)
		return;
	const std::uint64_t first = ring.writeCount.fetch_add (static_cast<std::uint64_t> (n));
	for (int j = 0; j < n; ++j)
		ring.samples[(first + static_cast<std::uint64_t> (j)) & WaveformRing::kMask].store (
		    samples[j], std::memory_order_relaxed);
}

void readNewest (const WaveformRing& ring, float* out, int n) noexcept
{
	if (n <= 0)
		return;
	if (n > static_cast<int> (WaveformRing::kSize))
		n = static_cast<int> (WaveformRing::kSize);
	std::array<float, WaveformRing::kSize> snapshot;
	for (std::uint64_t i = 0; i < WaveformRing::kSize; ++i)
		snapshot[i] = ring.samples[i].load (std::memory_order_relaxed);
	const std::uint64_t count = ring.writeCount.load ();
	for (int j = 0; j < n; ++j)
		out[j] = snapshot[(count - static_cast<std::uint64_t> (n) + static_cast<std::uint64_t> (j)) &
		                  WaveformRing::kMask];
}

} // namespace QuenrilEQ
