#include "module_paths.h"

#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "../utf.h"

namespace webbridge {

namespace fs = std::filesystem;

std::string ModuleFilePath() {
  Dl_info info{};
  // Any function of this library names the object it was loaded from.
  if (dladdr(reinterpret_cast<void*>(&ModuleFilePath), &info) == 0 || !info.dli_fname ||
      !*info.dli_fname)
    return {};
  std::error_code ec;
  fs::path p = fs::absolute(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : p.string();
}

std::string ResourcesFolderFor(const std::string& moduleFile) {
  if (moduleFile.empty()) return {};
  std::error_code ec;
  fs::path file = fs::absolute(fs::path(moduleFile), ec);
  if (ec) file = fs::path(moduleFile);
  fs::path folder = file.lexically_normal().parent_path();
  if (folder.empty()) return {};
  std::string out = (folder / ".." / "Resources").lexically_normal().string();
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

std::uint64_t PathHash(const std::string& utf8Path) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (char16_t unit : utf8ToUtf16(utf8Path)) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(unit & 0xff),
                                    static_cast<unsigned char>(unit >> 8)};
    for (unsigned char b : bytes) {
      hash ^= b;
      hash *= 0x100000001b3ull;
    }
  }
  return hash;
}

std::string ProfileFolderFor(const std::string& moduleFile, const char* xdgDataHome,
                             const char* home) {
  if (moduleFile.empty()) return {};
  std::string base;
  if (xdgDataHome && *xdgDataHome)
    base = xdgDataHome;
  else if (home && *home)
    base = std::string(home) + "/.local/share";
  else
    return {};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016" PRIx64, PathHash(moduleFile));
  return base + "/webbridge/" + hex;
}

}  // namespace webbridge
