#include "analysis_bindings.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "controller.h"
#include "eq_bindings.h"
#include "instance_link.h"
#include "parameters.h"
#include "webview/json_convert.h"

namespace QuenrilEQ {

using nlohmann::json;

namespace {

constexpr int kPointsDefault = 256, kPointsMin = 16, kPointsMax = 2048;
// The stretch of output the level readings cover: about 85 ms at 48 kHz.
constexpr int kLevelFrames = SpectrumAnalyser::kWindow;

double levelDb(double linear) {
  return linear > 0 ? std::max(SpectrumAnalyser::kFloorDb, 20 * std::log10(linear)) : SpectrumAnalyser::kFloorDb;
}

}  // namespace

void AnalysisBindings::Bind(webbridge::Webview* webview) {
  webview->BindFunction("getInstanceAnalysis", [this](webbridge::Webview*, int, const std::string&,
                                                      const json& args) {
    return Analysis(displayArgument(args, kPointsDefault, kPointsMin, kPointsMax));
  });
  webview->BindFunction("setAuditionBand", [this](webbridge::Webview*, int, const std::string&,
                                                  const json& args) { return json(Audition(args)); });
}

json AnalysisBindings::Analysis(int n) {
  const std::shared_ptr<InstanceShared> link = controller_->instanceLink();
  if (!link) return nullptr;
  const InstanceCapture& capture = link->capture;
  if (!spectra_ || spectra_->of.lock() != link) {
    spectra_ = std::make_unique<Spectra>();
    spectra_->of = link;
  }

  // New audio since the last call goes into the spectra; none leaves them as
  // they are, so an idle editor sees nothing change.
  const std::uint64_t frames = capture.frames();
  std::vector<float> left(kLevelFrames), right(kLevelFrames);
  double peak = 0, sumSquares = 0;
  bool postRead = false;
  for (int s = 0; s < InstanceCapture::kNumStreams; ++s) {
    const auto stream = static_cast<InstanceCapture::Stream>(s);
    if (!capture.readNewest(stream, kLevelFrames, left.data(), right.data())) continue;
    if (frames != spectra_->frames) spectra_->streams[static_cast<std::size_t>(s)].update(left.data(), right.data());
    if (stream != InstanceCapture::kPost) continue;
    postRead = true;
    for (int j = 0; j < kLevelFrames; ++j) {
      peak = std::max({peak, std::fabs(static_cast<double>(left[j])), std::fabs(static_cast<double>(right[j]))});
      sumSquares += static_cast<double>(left[j]) * left[j] + static_cast<double>(right[j]) * right[j];
    }
  }
  spectra_->frames = frames;

  std::vector<double> freqHz(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) freqHz[static_cast<std::size_t>(k)] = displayFrequency(k, n);
  const double rate = capture.rate();
  json result = json::object();
  result["sampleRate"] = rate;
  result["freqHz"] = freqHz;
  result["pre"] = spectra_->streams[InstanceCapture::kPre].levels(freqHz, rate);
  result["post"] = spectra_->streams[InstanceCapture::kPost].levels(freqHz, rate);
  result["sidechain"] = spectra_->streams[InstanceCapture::kSidechain].levels(freqHz, rate);
  result["outputPeakDb"] = postRead ? levelDb(peak) : SpectrumAnalyser::kFloorDb;
  result["outputRmsDb"] = postRead ? levelDb(std::sqrt(sumSquares / (2.0 * kLevelFrames))) : SpectrumAnalyser::kFloorDb;
  result["frames"] = frames;

  std::array<InstanceCapture::BandReading, kNumBands> readings;
  json bands = json::array();
  if (capture.readBands(readings)) {
    for (int i = 0; i < kNumBands; ++i) {
      if (controller_->getParamNormalized(bandParamId(i, kFieldEnabled)) < 0.5 ||
          controller_->getParamNormalized(bandParamId(i, kFieldDynamicsEnabled)) < 0.5)
        continue;
      json entry = json::object();
      entry["band"] = i;
      entry["gainDb"] = static_cast<double>(readings[static_cast<std::size_t>(i)].gainDb);
      entry["levelDb"] = static_cast<double>(readings[static_cast<std::size_t>(i)].levelDb);
      bands.push_back(std::move(entry));
    }
  }
  result["bands"] = std::move(bands);
  return result;
}

bool AnalysisBindings::Audition(const json& args) {
  if (!controller_->instanceLink() || !args.is_array() || args.empty() || !args[0].is_number()) return false;
  const int band = webbridge::jsonToInt(args[0]);
  if (band != -1 && (band < 0 || band >= kNumBands ||
                     controller_->getParamNormalized(bandParamId(band, kFieldEnabled)) < 0.5))
    return false;
  return controller_->requestAudition(band);
}

}  // namespace QuenrilEQ
