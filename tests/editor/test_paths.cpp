// Where the Linux editor looks for its page and keeps its browser profile.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "linux/module_paths.h"

namespace {

// FNV-1a written out from its definition, over raw bytes.
std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

TEST(PathHash, IsFnv1aOverTheUtf16LittleEndianBytesOfThePath) {
  // The reference itself against the published test vectors.
  ASSERT_EQ(fnv1a({}), 0xcbf29ce484222325ull);
  ASSERT_EQ(fnv1a({'a'}), 0xaf63dc4c8601ec8cull);

  EXPECT_EQ(webbridge::PathHash(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(webbridge::PathHash("a"), fnv1a({'a', 0}));
  // é is one UTF-16 unit (U+00E9), 𝄞 a surrogate pair (D834 DD1E).
  EXPECT_EQ(webbridge::PathHash("/q/\xC3\xA9\xF0\x9D\x84\x9E.so"),
            fnv1a({'/', 0, 'q', 0, '/', 0, 0xE9, 0x00, 0x34, 0xD8, 0x1E, 0xDD, '.', 0, 's', 0, 'o', 0}));
  // A stray byte that is not UTF-8 counts as U+FFFD.
  EXPECT_EQ(webbridge::PathHash("/\xFF"), fnv1a({'/', 0, 0xFD, 0xFF}));
}

TEST(ProfileFolder, PrefersXdgDataHomeThenHomeAndNeedsAModule) {
  const std::string module = "/opt/vst3/QuenrilEQ.vst3/Contents/x86_64-linux/QuenrilEQ.so";
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(webbridge::PathHash(module)));
  EXPECT_EQ(webbridge::ProfileFolderFor(module, "/x/data", "/home/u"),
            std::string("/x/data/webbridge/") + hex);
  EXPECT_EQ(webbridge::ProfileFolderFor(module, "", "/home/u"),
            std::string("/home/u/.local/share/webbridge/") + hex);
  EXPECT_EQ(webbridge::ProfileFolderFor(module, nullptr, "/home/u"),
            std::string("/home/u/.local/share/webbridge/") + hex);
  EXPECT_EQ(webbridge::ProfileFolderFor(module, nullptr, nullptr), "");
  EXPECT_EQ(webbridge::ProfileFolderFor("", "/x/data", "/home/u"), "");
  EXPECT_EQ(std::string(hex).size(), 16u);
}

TEST(ResourcesFolder, IsTheResourcesSiblingOfTheModulesFolder) {
  EXPECT_EQ(webbridge::ResourcesFolderFor("/b/QuenrilEQ.vst3/Contents/x86_64-linux/QuenrilEQ.so"),
            "/b/QuenrilEQ.vst3/Contents/Resources/");
  EXPECT_EQ(webbridge::ResourcesFolderFor("/b/./x/../Q.vst3/Contents//x86_64-linux/Q.so"),
            "/b/Q.vst3/Contents/Resources/");
  const std::string relative = webbridge::ResourcesFolderFor("Q.vst3/Contents/x86_64-linux/Q.so");
  EXPECT_EQ(relative, (std::filesystem::current_path() / "Q.vst3/Contents/Resources/").string());
  EXPECT_EQ(webbridge::ResourcesFolderFor(""), "");
}

TEST(ModuleFilePath, NamesTheFileThatHoldsThisCode) {
  // Linked statically into this test program, the "module" is the program.
  const std::string path = webbridge::ModuleFilePath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(std::filesystem::path(path).is_absolute());
  EXPECT_TRUE(std::filesystem::equivalent(path, "/proc/self/exe"));
}

}  // namespace
