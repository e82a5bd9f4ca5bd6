// Audio for the stand-alone editor: runs the processor on a generated signal
// at real-time pace and carries the controller's edits to it, as a host's
// audio engine would, so that the page's displays have something to show.
#pragma once

#include <chrono>
#include <memory>
#include <random>
#include <string>

#include "parameter_changes.h"
#include "plugin_instance.h"
#include "process_buffers.h"

namespace QuenrilEQ {
namespace editorhost {

/// What goes into the processor's main input.
struct SignalSpec {
  enum class Kind { Silence, Noise, Sine, Burst } kind = Kind::Silence;
  double frequencyHz = 1000.0;  ///< sine and burst
};

/// Parses "noise", "sine:HZ" or "burst:HZ" (0 < HZ < 24000); false for
/// anything else. A burst is the sine at -6 dBFS for 400 ms, then 400 ms of
/// silence, over and over: enough to move a dynamic band and let it recover.
bool ParseSignalSpec(const std::string& text, SignalSpec& signal);

/// Feeds one plug-in instance from the host's main loop (no audio thread:
/// the tool has no audio device, only a clock). Processing starts with the
/// first Pump.
class SignalFeed {
 public:
  static constexpr double kSampleRate = 48000.0;  ///< Hz
  static constexpr int kBlock = 256;              ///< samples per process call

  SignalFeed(host::PluginInstance& instance, SignalSpec signal);
  /// False when the processor refused to start.
  bool Ok() const { return ok_; }

  /// Processes every block that is due by now, each with the edits the
  /// controller has sent the host since the previous block.
  void Pump();

  /// Blocks processed so far.
  long long Blocks() const { return blocks_; }

 private:
  void fillInput(int frames);

  host::PluginInstance& instance_;
  SignalSpec spec_;
  bool ok_ = false;
  std::unique_ptr<host::ProcessBuffers> buffers_;
  host::ParameterChanges changes_;
  std::chrono::steady_clock::time_point start_{};
  bool started_ = false;
  long long blocks_ = 0;
  long long frames_ = 0;
  double phase_ = 0.0;
  std::minstd_rand noise_{12345};
};

}  // namespace editorhost
}  // namespace QuenrilEQ
