// Third-party bundles (Debian's zam-plugins) the harness is checked against,
// and small signal helpers for the host tests.
#pragma once

#include <cmath>
#include <string>
#include <sys/stat.h>

namespace QuenrilEQ {
namespace testing {

// Mono EQ with a "Master Gain" of -12..+12 dB at parameter ID 13.
constexpr const char* kZamEq2 = "/usr/lib/vst3/ZamEQ2.vst3";
constexpr unsigned kZamEq2MasterGain = 13;
// Mono compressor with a mono side-chain input bus.
constexpr const char* kZamComp = "/usr/lib/vst3/ZamComp.vst3";

inline bool exists (const std::string& path)
{
	struct stat info {};
	return stat (path.c_str (), &info) == 0;
}

/** amplitude * sin(2 pi hz n / rate) for n = first .. first+count-1. */
inline void fillSine (float* out, int count, double hz, double rate, double amplitude, long first = 0)
{
	for (int i = 0; i < count; ++i)
		out[i] = static_cast<float> (amplitude * std::sin (2.0 * M_PI * hz * static_cast<double> (first + i) / rate));
}

inline double rms (const float* x, int count)
{
	double sum = 0;
	for (int i = 0; i < count; ++i)
		sum += static_cast<double> (x[i]) * x[i];
	return count > 0 ? std::sqrt (sum / count) : 0.0;
}

} // namespace testing
} // namespace QuenrilEQ
