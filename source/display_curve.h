// The editor's response display as numbers: the 24 bands as the parameter
// values describe them, designed at a fixed display rate, and their levels
// on the graph's logarithmic grid from 20 Hz to 22 kHz. Pure code without
// the SDK or the page, shared by the editor's curve functions and the render
// tool's response pictures, so both show the same curves.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "eq_band.h"
#include "parameters.h"

namespace QuenrilEQ {

/// Rate (Hz) at which the display bands are designed and evaluated.
constexpr double kDisplaySampleRate = 96000.0;

/// Point k of an n-point logarithmic grid from 20 Hz to 22000 Hz (both exact).
double displayFrequency(int k, int n);

/// The 24 bands as the controller's normalised values describe them (read
/// through `normalized`), designed at kDisplaySampleRate. Disabled bands keep
/// the record's defaults. Channel and dynamics fields are not read.
std::array<EqBand, kNumBands> displayBands(const std::function<double(ParamId)>& normalized);

/// Level in dB of a response magnitude, floored at -240 dB.
double displayLevelDb(double magnitude);

/// Levels (dB) of the bands' combined response at the n grid points.
std::vector<double> displayLevels(const std::array<EqBand, kNumBands>& bands, int n);

/// The bands with only band `index` left enabled: its curve alone.
std::array<EqBand, kNumBands> soloBand(const std::array<EqBand, kNumBands>& bands, int index);

}  // namespace QuenrilEQ
