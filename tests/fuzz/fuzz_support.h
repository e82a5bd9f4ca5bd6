// Shared by the fuzz targets: the check that ends a run, a throw-away HOME
// (made once per process with mkdtemp inside its own sandbox folder, so a
// stray write beside HOME can be seen, and removed when the process exits
// normally: nothing a fuzz input does reaches the real documents folder),
// the controller a target drives, and the range check of its values.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "../controller/controller_test_support.h"

namespace QuenrilEQ::fuzzing {

/// A broken invariant: libFuzzer saves the input that did it.
inline void check(bool ok) {
  if (!ok) std::abort();
}

/// "<sandbox>/home", set as HOME on first use. [fuzzer thread]
inline const std::string& fuzzHome() {
  static const std::string home = [] {
    char pattern[] = "/tmp/qeq-fuzz-XXXXXX";
    const char* sandbox = mkdtemp(pattern);
    check(sandbox != nullptr);
    static std::string toRemove = sandbox;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(toRemove, ignored);
    });
    const std::string path = toRemove + "/home";
    std::filesystem::create_directories(path);
    setenv("HOME", path.c_str(), 1);
    return path;
  }();
  return home;
}

/// The folder holding HOME and nothing else.
inline std::string fuzzSandbox() { return std::filesystem::path(fuzzHome()).parent_path().string(); }
inline std::string fuzzPresets() { return fuzzHome() + "/Documents/QuenrilEQ/presets"; }

/// One controller for the whole run, in the fuzz HOME: a new one per input
/// would leave a current-state file per instance number behind. [fuzzer thread]
inline QuenrilEQ::testing::HostedController& fuzzController() {
  fuzzHome();
  static QuenrilEQ::testing::HostedController hosted;
  hosted.handler->clear();
  return hosted;
}

/// The little-endian 32-bit number at p.
inline std::int32_t le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

/// True when the controller still has its 314 parameters and every
/// normalised value lies in [0, 1] (NaN fails). [fuzzer thread]
inline bool controllerValuesInRange(Steinberg::Vst::EditController& controller) {
  if (controller.getParameterCount() != 314) return false;
  for (Steinberg::int32 i = 0; i < 314; ++i) {
    Steinberg::Vst::ParameterInfo info{};
    if (controller.getParameterInfo(i, info) != Steinberg::kResultOk) return false;
    const double v = controller.getParamNormalized(info.id);
    if (!(v >= 0.0 && v <= 1.0)) return false;
  }
  return true;
}

}  // namespace QuenrilEQ::fuzzing
