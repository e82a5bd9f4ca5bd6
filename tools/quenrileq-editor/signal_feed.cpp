#include "signal_feed.h"

#include <cmath>
#include <cstdlib>

namespace QuenrilEQ {
namespace editorhost {

using namespace Steinberg;

bool ParseSignalSpec(const std::string& text, SignalSpec& signal) {
  if (text == "noise") {
    signal.kind = SignalSpec::Kind::Noise;
    return true;
  }
  for (const auto& [prefix, kind] : {std::make_pair(std::string("sine:"), SignalSpec::Kind::Sine),
                                     std::make_pair(std::string("burst:"), SignalSpec::Kind::Burst)}) {
    if (text.rfind(prefix, 0) != 0) continue;
    const char* number = text.c_str() + prefix.size();
    char* end = nullptr;
    const double hz = std::strtod(number, &end);
    if (end == number || *end != '\0' || !(hz > 0.0 && hz < 24000.0)) return false;
    signal.kind = kind;
    signal.frequencyHz = hz;
    return true;
  }
  return false;
}

SignalFeed::SignalFeed(host::PluginInstance& instance, SignalSpec signal)
    : instance_(instance), spec_(signal) {
  instance_.activateDefaultBuses();
  ok_ = instance_.start(kSampleRate, kBlock, Vst::kRealtime) == kResultOk;
  if (!ok_) return;
  buffers_ = std::make_unique<host::ProcessBuffers>(instance_.processChannelCounts(Vst::kInput),
                                                    instance_.processChannelCounts(Vst::kOutput),
                                                    kBlock);
  changes_.reserve(64);
}

void SignalFeed::fillInput(int frames) {
  constexpr double kLevel = 0.25;  // -12 dBFS: loud enough to see, far from clipping
  constexpr double kBurstLevel = 0.5;
  constexpr long long kBurstFrames = static_cast<long long>(0.4 * kSampleRate);
  const double step = 2.0 * M_PI * spec_.frequencyHz / kSampleRate;
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  float* left = buffers_->input(0, 0);
  float* right = buffers_->input(0, 1);
  for (int i = 0; i < frames; ++i) {
    double v = 0.0;
    switch (spec_.kind) {
      case SignalSpec::Kind::Silence: break;
      case SignalSpec::Kind::Noise: v = kLevel * uniform(noise_); break;
      case SignalSpec::Kind::Sine:
      case SignalSpec::Kind::Burst: {
        const bool on = spec_.kind == SignalSpec::Kind::Sine || (frames_ + i) / kBurstFrames % 2 == 0;
        v = on ? (spec_.kind == SignalSpec::Kind::Sine ? kLevel : kBurstLevel) * std::sin(phase_) : 0.0;
        phase_ = std::fmod(phase_ + step, 2.0 * M_PI);
        break;
      }
    }
    if (left) left[i] = static_cast<float>(v);
    if (right) right[i] = static_cast<float>(v);
  }
  frames_ += frames;
}

void SignalFeed::Pump() {
  if (!ok_) return;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  }
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const long long due = static_cast<long long>(elapsed * kSampleRate / kBlock);
  // After a stall (the window was being dragged) catch up at most a second.
  if (due - blocks_ > static_cast<long long>(kSampleRate / kBlock)) blocks_ = due - 1;
  while (blocks_ < due) {
    changes_.clear();
    for (const host::HandlerCall& call : instance_.handler().calls()) {
      if (call.kind != host::HandlerCall::Kind::PerformEdit) continue;
      changes_.add(call.id, 0, call.value);
    }
    instance_.handler().clear();
    fillInput(kBlock);
    instance_.process(*buffers_, kBlock, &changes_, nullptr);
    ++blocks_;
  }
}

}  // namespace editorhost
}  // namespace QuenrilEQ
