// "openExternalUrl" with a fake xdg-open first on PATH that records the
// arguments it was started with.
#include <gtest/gtest.h>

#include <cstdlib>

#include "plugin_fixture.h"

using nlohmann::json;
using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::writeFile;

namespace {

using OpenUrlTest = qeqtest::PluginFixture;

TEST_F(OpenUrlTest, OnlyWebAddressesReachXdgOpenAsOneLiteralArgument) {
  // The fake logs its argument count, then each argument in brackets.
  const std::string log = home.path() + "/xdg-open.log", oldPath = std::getenv("PATH");
  writeFile(home.path() + "/bin/xdg-open", "#!/bin/sh\necho \"$#\" >> " + log + "\nprintf '[%s]\\n' \"$@\" >> " + log +
                                               "\nexit \"${QEQ_FAKE_XDG_STATUS:-0}\"\n");
  std::filesystem::permissions(home.path() + "/bin/xdg-open", std::filesystem::perms::owner_all);
  setenv("PATH", (home.path() + "/bin:" + oldPath).c_str(), 1);
  auto takeLog = [&] {  // what it received since the last look
    const std::string text = readFile(log);
    std::filesystem::remove(log);
    return text;
  };
  const std::string sentinel = home.path() + "/pwned";
  for (const std::string& address : {std::string("https://example.com/a?b=c&d=e"), std::string("http://x; rm -rf ~"), std::string("https://-x"),
                                     "http://x/$(touch " + sentinel + ")", "https://x`touch " + sentinel + "`", std::string("http://a b\nc"),
                                     std::string("https://ünïcode.example/✓")}) {
    EXPECT_EQ(answer("openExternalUrl", {address}), "true") << address;
    EXPECT_EQ(takeLog(), "1\n[" + address + "]\n") << address;
  }
  EXPECT_FALSE(std::filesystem::exists(sentinel));
  // Anything else, and every failure, answers false.
  for (const json& params : {json{"file:///etc/passwd"}, json{"HTTP://X"}, json{"Https://x"}, json{"ftp://x"}, json{"mailto:a@b"},
                             json{"http:/x"}, json{"-http://x"}, json{" http://x"}, json{"//x"}, json{""}, json{5}, json{true},
                             json::array(), json(nullptr), json{json::array({"http://x"})}, json{std::string("https://a\0b", 11)}})
    EXPECT_EQ(answer("openExternalUrl", params), "false") << params;
  EXPECT_EQ(takeLog(), "") << "nothing was started";
  setenv("QEQ_FAKE_XDG_STATUS", "3", 1);
  EXPECT_EQ(answer("openExternalUrl", {"https://x"}), "false");
  EXPECT_EQ(takeLog(), "1\n[https://x]\n") << "it was started";
  setenv("PATH", (home.path() + "/empty").c_str(), 1);
  EXPECT_EQ(answer("openExternalUrl", {"https://x"}), "false") << "no xdg-open at all";
  setenv("PATH", oldPath.c_str(), 1);
  unsetenv("QEQ_FAKE_XDG_STATUS");
}

}  // namespace
