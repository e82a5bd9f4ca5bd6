// The editor's view of its own instance, as it happens: "getInstanceAnalysis"
// (pre, post and side-chain spectra, each dynamic band's live gain and
// detector level, output level) from the instance's capture, and
// "setAuditionBand" (solo one band). Both need the instance link: without it
// the analysis is null (the page falls back to the process-wide rings) and an
// audition request is refused.
#pragma once

#include "instance_spectrum.h"

#include <array>
#include <cstdint>
#include <memory>

#include <nlohmann/json.hpp>

#include "webview/webview.h"

namespace QuenrilEQ {

class QuenrilEQController;
struct InstanceShared;

/** Bound after the editor's other three sets. Owned by the controller, which
    must outlive every web view bound. All functions run on the UI thread. */
class AnalysisBindings final : public webbridge::Bindings {
 public:
  explicit AnalysisBindings(QuenrilEQController* controller) : controller_(controller) {}

  void Bind(webbridge::Webview* webview) override;

  /// The "getInstanceAnalysis" result for n points (already clamped), or null.
  nlohmann::json Analysis(int n);
  /// The "setAuditionBand" result for the page's argument array.
  bool Audition(const nlohmann::json& args);

 private:
  QuenrilEQController* controller_;  // not owned
  // Smoothed spectra of the linked capture, updated when new audio arrived.
  struct Spectra {
    std::weak_ptr<InstanceShared> of;
    std::uint64_t frames = 0;
    std::array<SpectrumAnalyser, 3> streams;  // pre, post, side-chain
  };
  std::unique_ptr<Spectra> spectra_;
};

}  // namespace QuenrilEQ
