// Fuzzes preset names as the page hands them to save, load and list. Each
// input is a short sequence of operations on an emptied presets folder.
// Invariants: the validator agrees with an independent reading of the name
// rules; a save succeeds only for a valid name and then lies inside the
// presets folder (after resolving every link and ".."); a load succeeds for
// a valid name with a preset file at its path and never without one; the listing
// is exactly the saved names, byte-wise sorted; nothing appears in the
// documents tree or beside HOME but the plug-in's own folders.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "preset_files.h"

using namespace QuenrilEQ;
using fuzzing::check;
namespace fs = std::filesystem;

namespace {

bool referenceNameValid(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/' || name.find_first_of(std::string("\\\0", 2)) != std::string::npos)
    return false;
  std::istringstream segments(name);
  for (std::string segment; std::getline(segments, segment, '/');)
    if (segment.find_first_not_of(". ") == std::string::npos) return false;  // only dots and spaces, or empty as in "a//b"
  // Valid UTF-8 as the JSON library sees it: its strict serialiser throws on
  // anything else (overlong forms, surrogates, cut-off sequences).
  try {
    (void)nlohmann::json(name).dump();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

std::string resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

/// The sandbox holds only HOME, HOME only Documents/QuenrilEQ, and that only presets and state.
bool onlyOwnFolders() {
  const std::string sandbox = fuzzing::fuzzSandbox(), own = "home/Documents/QuenrilEQ";
  const std::set<std::string> allowed{"home", "home/Documents", own, own + "/presets", own + "/state"};
  std::error_code error;
  for (fs::recursive_directory_iterator it(sandbox, error), end; !error && it != end; it.increment(error)) {
    const std::string path = fs::relative(it->path(), sandbox).string();
    if (!allowed.count(path)) return false;
    if (path.size() > own.size()) it.disable_recursion_pending();  // what lies in presets and state is theirs
  }
  return !error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  QuenrilEQController& controller = *fuzzing::fuzzController().controller;
  std::error_code ignored;
  fs::remove_all(fuzzing::fuzzPresets(), ignored);

  FuzzedDataProvider input(data, size);
  std::set<std::string> saved;
  for (int op = 0; op < 8 && input.remaining_bytes() > 0; ++op) {
    const bool save = input.ConsumeBool();
    const std::string name = input.ConsumeRandomLengthString(300);
    const bool valid = referenceNameValid(name);
    check(isPresetNameValid(name) == valid);
    const std::string path = fuzzing::fuzzPresets() + "/" + name + ".quenrileqpreset";
    if (save && controller.savePresetByName(name)) {
      const std::string real = resolved(path), folder = resolved(fuzzing::fuzzPresets()) + "/";
      check(valid && !real.empty() && real.compare(0, folder.size(), folder) == 0);
      saved.insert(name);
    } else if (!save) {
      // A folder named like a preset file (left by "x.quenrileqpreset/y")
      // cannot be read: either answer is fine for it.
      const fs::file_status status = fs::symlink_status(path, ignored);
      const bool loaded = controller.loadPresetByName(name);
      check(!loaded || (valid && fs::exists(status)));
      check(loaded || !valid || !fs::is_regular_file(status));
    }
    check(onlyOwnFolders());
  }

  const std::vector<std::string> listed = controller.listPresets();
  check(std::set<std::string>(listed.begin(), listed.end()) == saved && listed.size() == saved.size());
  for (size_t i = 1; i < listed.size(); ++i) check(listed[i - 1] < listed[i]);
  check(onlyOwnFolders());
  return 0;
}
