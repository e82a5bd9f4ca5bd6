#include "display_curve.h"

#include <algorithm>
#include <cmath>

#include "band_design.h"
#include "band_response.h"

namespace QuenrilEQ {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A list index from a normalised value: nearest entry, halves away from zero,
// in double (the display has no float state to match).
std::int32_t nearestIndex(double value, int steps) {
  const double scaled = std::round(value * steps);
  if (!(scaled >= 0.0)) return 0;
  return static_cast<std::int32_t>(std::min(scaled, static_cast<double>(steps)));
}

}  // namespace

double displayFrequency(int k, int n) {
  if (n <= 1) return 20.0;
  return 20.0 * std::pow(1100.0, static_cast<double>(k) / static_cast<double>(n - 1));
}

std::array<EqBand, kNumBands> displayBands(const std::function<double(ParamId)>& normalized) {
  std::array<EqBand, kNumBands> bands{};
  for (int i = 0; i < kNumBands; ++i) {
    auto value = [&](int field) { return normalized(bandParamId(i, field)); };
    EqBand& band = bands[static_cast<std::size_t>(i)];
    band.enabled = value(kFieldEnabled) >= 0.5;
    if (!band.enabled) continue;
    designBand(band, nearestIndex(value(kFieldShape), kNumBandShapes - 1), freqFromNormalized(value(kFieldFreq)),
               gainFromNormalized(value(kFieldGain)), qFromNormalized(value(kFieldQ)),
               nearestIndex(value(kFieldSlope), kNumSlopes - 1), kDisplaySampleRate);
  }
  return bands;
}

double displayLevelDb(double magnitude) { return 20.0 * std::log10(std::max(magnitude, 1e-12)); }

// Each band is designed once and the unit delay of a point is shared by all
// bands, so the largest curve costs well under a millisecond; it agrees with
// combinedResponse to far better than a thousandth of a dB.
std::vector<double> displayLevels(const std::array<EqBand, kNumBands>& bands, int n) {
  std::vector<double> cosW(static_cast<std::size_t>(n)), sinW(cosW.size()), levels(cosW.size());
  for (int k = 0; k < n; ++k) {
    const double w = 2.0 * kPi * displayFrequency(k, n) / kDisplaySampleRate;
    cosW[static_cast<std::size_t>(k)] = std::cos(w);
    sinW[static_cast<std::size_t>(k)] = std::sin(w);
  }
  combinedSquaredMagnitudes(bands, kDisplaySampleRate, cosW.data(), sinW.data(), n, levels.data());
  for (double& level : levels) level = displayLevelDb(std::sqrt(level));
  return levels;
}

std::array<EqBand, kNumBands> soloBand(const std::array<EqBand, kNumBands>& bands, int index) {
  std::array<EqBand, kNumBands> solo = bands;
  for (int j = 0; j < kNumBands; ++j) solo[static_cast<std::size_t>(j)].enabled = j == index;
  return solo;
}

}  // namespace QuenrilEQ
