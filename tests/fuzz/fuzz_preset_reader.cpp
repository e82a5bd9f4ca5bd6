// Fuzzes the preset file reader as the page reaches it: the input becomes
// the preset file "x" and is loaded by name. The controller's values must
// stay normalised, the host must hear of every value line as one complete
// edit (begin, perform, end of the same id, the value as written; a NaN as
// 0), and the current-state file written afterwards must be a complete
// preset file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "preset_files.h"

using namespace QuenrilEQ;
using fuzzing::check;
using Kind = host::HandlerCall::Kind;

namespace {

// The edits a reader must make, worked out here from the file text alone:
// lines split at "\n", empty and "#" lines skipped, the first "=" splits
// identifier from value.
std::vector<host::HandlerCall> expectedEdits(const std::string& text) {
  std::vector<host::HandlerCall> edits;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    const auto id = static_cast<std::uint32_t>(std::strtoul(line.substr(0, eq).c_str(), nullptr, 10));
    // A "nan" value goes to the host as 0: a NaN would poison its automation.
    const double v = std::strtod(line.substr(eq + 1).c_str(), nullptr);
    edits.insert(edits.end(), {{Kind::BeginEdit, id, 0, 0}, {Kind::PerformEdit, id, std::isnan(v) ? 0.0 : v, 0}, {Kind::EndEdit, id, 0, 0}});
  }
  return edits;
}

// 315 lines: the header, then every parameter in table order with a normalised value.
bool wellFormedStateFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != "# QuenrilEQ preset") return false;
  for (int p = 0; p < 314; ++p) {
    const unsigned id = p < 2 ? 1002u + p : 2000u + 16u * ((p - 2) / 13) + (p - 2) % 13;
    const std::string prefix = std::to_string(id) + "=";
    if (!std::getline(in, line) || line.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string text = line.substr(prefix.size());
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
  }
  return !std::getline(in, line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  QuenrilEQ::testing::HostedController& hosted = fuzzing::fuzzController();
  const std::string text(reinterpret_cast<const char*>(data), size);
  QuenrilEQ::testing::writeFile(fuzzing::fuzzPresets() + "/x.quenrileqpreset", text);

  check(hosted.controller->loadPresetByName("x"));
  check(fuzzing::controllerValuesInRange(*hosted.controller));
  std::vector<host::HandlerCall> edits = hosted.handler->calls();
  edits.erase(std::remove_if(edits.begin(), edits.end(), [](const auto& c) { return c.kind == Kind::RestartComponent; }), edits.end());
  check(edits == expectedEdits(text));
  check(wellFormedStateFile(currentStatePath(hosted.controller->getInstanceNumber())));
  return 0;
}
