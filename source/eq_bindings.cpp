#include "eq_bindings.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "band_design.h"
#include "band_response.h"
#include "controller.h"
#include "waveform_ring.h"
#include "webview/json_convert.h"

namespace QuenrilEQ {

using nlohmann::json;

namespace {

constexpr int kCurveDefault = 256, kCurveMin = 16, kCurveMax = 2048;
constexpr int kBandCurveDefault = 128, kBandCurveMin = 16, kBandCurveMax = 1024;
constexpr int kWaveDefault = 2048, kWaveMin = 64, kWaveMax = 8192;
constexpr double kPi = 3.14159265358979323846;

// A list index from a normalised value: nearest entry, halves away from zero,
// in double (the display has no float state to match).
std::int32_t nearestIndex(double value, int steps) {
  const double scaled = std::round(value * steps);
  if (!(scaled >= 0.0)) return 0;
  return static_cast<std::int32_t>(std::min(scaled, static_cast<double>(steps)));
}

// Built member by member: the initializer-list form makes temporary arrays
// per point, which costs more than the response maths at 2048 points.
json point(double freqHz, double db) {
  json::object_t members;
  members.emplace("db", db);
  members.emplace("freqHz", freqHz);
  return json(std::move(members));
}

json waveformChannel(const WaveformRing& ring, int n) {
  std::vector<float> samples(static_cast<std::size_t>(n));
  readNewest(ring, samples.data(), n);
  return json(std::vector<double>(samples.begin(), samples.end()));
}

}  // namespace

int displayArgument(const json& args, int fallback, int lo, int hi) {
  if (args.is_null() || args.empty()) return fallback;
  const json& first = args[0];  // throws 305 for a non-empty non-array
  if (!first.is_number()) return fallback;
  return std::clamp(webbridge::jsonToInt(first), lo, hi);
}

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

namespace {

// |H|^2 of the bands' combined response on the n-point grid. Each band is
// designed once and the unit delay of a point is shared by all bands, so the
// largest curve costs well under a millisecond; it agrees with
// combinedResponse to far better than a thousandth of a dB.
std::vector<double> squaredMagnitudes(const std::array<EqBand, kNumBands>& bands, int n) {
  std::vector<double> cosW(static_cast<std::size_t>(n)), sinW(cosW.size()), squared(cosW.size());
  for (int k = 0; k < n; ++k) {
    const double w = 2.0 * kPi * displayFrequency(k, n) / kDisplaySampleRate;
    cosW[static_cast<std::size_t>(k)] = std::cos(w);
    sinW[static_cast<std::size_t>(k)] = std::sin(w);
  }
  combinedSquaredMagnitudes(bands, kDisplaySampleRate, cosW.data(), sinW.data(), n, squared.data());
  return squared;
}

json curvePoints(const std::array<EqBand, kNumBands>& bands, int n) {
  const std::vector<double> squared = squaredMagnitudes(bands, n);
  json::array_t points;
  points.reserve(squared.size());
  for (int k = 0; k < n; ++k)
    points.push_back(point(displayFrequency(k, n), displayLevelDb(std::sqrt(squared[static_cast<std::size_t>(k)]))));
  return json(std::move(points));
}

}  // namespace

json eqCurve(const std::array<EqBand, kNumBands>& bands, int n) { return curvePoints(bands, n); }

json eqBandCurves(const std::array<EqBand, kNumBands>& bands, int n) {
  // Each band's curve is the combined curve of that band alone, so with one
  // band enabled both functions give identical numbers.
  json curves = json::array();
  std::array<EqBand, kNumBands> solo = bands;
  for (int i = 0; i < kNumBands; ++i) {
    if (!bands[static_cast<std::size_t>(i)].enabled) continue;
    for (int j = 0; j < kNumBands; ++j) solo[static_cast<std::size_t>(j)].enabled = j == i;
    curves.push_back(json{{"band", i}, {"points", curvePoints(solo, n)}});
  }
  return curves;
}

json eqWaveformRaw(int n) {
  json result = json::object();
  result["sampleRate"] = waveformRing(0).sampleRate.load();
  result["left"] = waveformChannel(waveformRing(0), n);
  result["right"] = waveformChannel(waveformRing(1), n);
  return result;
}

void EqBindings::Bind(webbridge::Webview* webview) {
  auto bands = [this] {
    return displayBands([this](ParamId id) { return controller_->getParamNormalized(id); });
  };
  webview->BindFunction("getEqCurve", [bands](webbridge::Webview*, int, const std::string&, const json& args) {
    return eqCurve(bands(), displayArgument(args, kCurveDefault, kCurveMin, kCurveMax));
  });
  webview->BindFunction("getEqBandCurves", [bands](webbridge::Webview*, int, const std::string&, const json& args) {
    return eqBandCurves(bands(), displayArgument(args, kBandCurveDefault, kBandCurveMin, kBandCurveMax));
  });
  webview->BindFunction("getEqWaveformRaw", [](webbridge::Webview*, int, const std::string&, const json& args) {
    return eqWaveformRaw(displayArgument(args, kWaveDefault, kWaveMin, kWaveMax));
  });
}

}  // namespace QuenrilEQ
