#include "eq_bindings.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "controller.h"
#include "waveform_ring.h"
#include "webview/json_convert.h"

namespace QuenrilEQ {

using nlohmann::json;

namespace {

constexpr int kCurveDefault = 256, kCurveMin = 16, kCurveMax = 2048;
constexpr int kBandCurveDefault = 128, kBandCurveMin = 16, kBandCurveMax = 1024;
constexpr int kWaveDefault = 2048, kWaveMin = 64, kWaveMax = 8192;
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

namespace {

json curvePoints(const std::array<EqBand, kNumBands>& bands, int n) {
  const std::vector<double> levels = displayLevels(bands, n);
  json::array_t points;
  points.reserve(levels.size());
  for (int k = 0; k < n; ++k) points.push_back(point(displayFrequency(k, n), levels[static_cast<std::size_t>(k)]));
  return json(std::move(points));
}

}  // namespace

json eqCurve(const std::array<EqBand, kNumBands>& bands, int n) { return curvePoints(bands, n); }

json eqBandCurves(const std::array<EqBand, kNumBands>& bands, int n) {
  // Each band's curve is the combined curve of that band alone, so with one
  // band enabled both functions give identical numbers.
  json curves = json::array();
  for (int i = 0; i < kNumBands; ++i) {
    if (!bands[static_cast<std::size_t>(i)].enabled) continue;
    curves.push_back(json{{"band", i}, {"points", curvePoints(soloBand(bands, i), n)}});
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
