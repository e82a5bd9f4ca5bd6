#include "audition_mixer.h"

#include <algorithm>
#include <cmath>

namespace QuenrilEQ {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

bool AuditionMixer::process (const BandBank& bank, float* left, float* right, int n, double sampleRate) noexcept
{
	const std::uint32_t s = serial.load (std::memory_order_acquire);
	if (s != seenSerial)
	{
		seenSerial = s;
		sinceRenewal = 0;
	}
	else
	{
		sinceRenewal += n;
	}
	int target = requested.load (std::memory_order_relaxed);
	if (sinceRenewal > kRenewalSeconds * sampleRate || target < 0 || target >= kNumBands ||
	    !bank.bands[static_cast<std::size_t> (target)].enabled)
		target = -1;
	if (mix <= 0.0)
	{
		// Silent switch: the normal output is all that is heard.
		if (target == -1 || target != current)
			state = {};
		current = target;
		if (current == -1)
			return false;
	}
	design = designAudition (bank.bands[static_cast<std::size_t> (current)]);  // follows the band's edits
	const double goal = target == current ? 1.0 : 0.0;
	const double step = 1.0 / std::max (1.0, kFadeSeconds * sampleRate);
	float* channels[2] = {left, right};
	for (int j = 0; j < n; ++j)
	{
		mix = goal > mix ? std::min (goal, mix + step) : std::max (goal, mix - step);
		const double a = 0.5 - 0.5 * std::cos (kPi * mix);
		for (int c = 0; c < 2; ++c)
		{
			if (!channels[c])
				continue;
			const double x = channels[c][j];
			const double y = runAudition (state[static_cast<std::size_t> (c)], design, x);
			channels[c][j] = static_cast<float> (x + a * (y - x));
		}
	}
	return true;
}

} // namespace QuenrilEQ
