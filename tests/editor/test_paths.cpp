// Where the Linux editor looks for its page and keeps its browser profile.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "linux/module_paths.h"

namespace {

// FNV-1a from its definition, over raw bytes.
std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

TEST(ModulePaths, ProfileFolderIsNamedByTheModulesPathAndResourcesLieBesideItsFolder) {
  ASSERT_EQ(fnv1a({'a'}), 0xaf63dc4c8601ec8cull);  // the reference against a published test vector
  // FNV-1a over the UTF-16LE bytes: é is one unit, 𝄞 a surrogate pair, a stray byte U+FFFD.
  EXPECT_EQ(webbridge::PathHash("/q/\xC3\xA9\xF0\x9D\x84\x9E\xFF"),
            fnv1a({'/', 0, 'q', 0, '/', 0, 0xE9, 0x00, 0x34, 0xD8, 0x1E, 0xDD, 0xFD, 0xFF}));
  const std::string module = "/opt/vst3/QuenrilEQ.vst3/Contents/x86_64-linux/QuenrilEQ.so";
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(webbridge::PathHash(module)));
  EXPECT_EQ(webbridge::ProfileFolderFor(module, "/x/data", "/home/u"), std::string("/x/data/webbridge/") + hex);
  EXPECT_EQ(webbridge::ProfileFolderFor(module, "", "/home/u"), std::string("/home/u/.local/share/webbridge/") + hex);
  EXPECT_EQ(webbridge::ProfileFolderFor(module, nullptr, nullptr), "");
  EXPECT_EQ(webbridge::ProfileFolderFor("", "/x/data", "/home/u"), "");

  EXPECT_EQ(webbridge::ResourcesFolderFor("/b/./x/../Q.vst3/Contents//x86_64-linux/Q.so"), "/b/Q.vst3/Contents/Resources/");
  EXPECT_EQ(webbridge::ResourcesFolderFor("Q.vst3/Contents/x86_64-linux/Q.so"),
            (std::filesystem::current_path() / "Q.vst3/Contents/Resources/").string());
  EXPECT_EQ(webbridge::ResourcesFolderFor(""), "");
  // Linked statically into this test program, the "module" is the program.
  EXPECT_TRUE(std::filesystem::equivalent(webbridge::ModuleFilePath(), "/proc/self/exe"));
}

}  // namespace
