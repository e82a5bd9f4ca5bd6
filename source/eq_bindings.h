// The editor's display functions: the summed EQ curve, one curve per enabled
// band, and the newest stretch of the processed output waveform.
//
// Curves come from the controller's parameter values (not the processor), so
// they follow the knobs at once even when no audio runs; they are designed
// and evaluated at a fixed display rate, independent of the host's rate.
#pragma once

#include <array>

#include <nlohmann/json.hpp>

#include "display_curve.h"
#include "webview/webview.h"

namespace QuenrilEQ {

class QuenrilEQController;

/// The point count argument of a display function: args[0] when it is a JSON
/// number (truncated toward zero, then clamped to [lo, hi]); `fallback` when
/// args is null or empty or args[0] is any other type. Args that are neither
/// an array, null nor empty throw the JSON library's type_error 305.
int displayArgument(const nlohmann::json& args, int fallback, int lo, int hi);

/// [{"db","freqHz"}, ...] of the bands' combined response, n points.
nlohmann::json eqCurve(const std::array<EqBand, kNumBands>& bands, int n);

/// [{"band": index, "points": [...]}, ...] for each enabled band, n points each.
nlohmann::json eqBandCurves(const std::array<EqBand, kNumBands>& bands, int n);

/// {"left", "right", "sampleRate"}: the newest n samples of each capture
/// ring, oldest first. Reads the process-wide rings without locking.
nlohmann::json eqWaveformRaw(int n);

/// Binds "getEqCurve", "getEqBandCurves" and "getEqWaveformRaw".
/// Owned by the controller, which must outlive every web view bound.
/// All functions run on the UI thread; curve calls allocate freely there.
class EqBindings final : public webbridge::Bindings {
 public:
  explicit EqBindings(QuenrilEQController* controller) : controller_(controller) {}

  void Bind(webbridge::Webview* webview) override;

 private:
  QuenrilEQController* controller_;  // not owned
};

}  // namespace QuenrilEQ
