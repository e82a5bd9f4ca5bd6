// "openExternalUrl" with a fake xdg-open first on PATH that records the
// arguments it was started with.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "plugin_fixture.h"
#include "preset_bindings.h"

using nlohmann::json;

namespace {

class OpenUrlTest : public qeqtest::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    bindings = std::make_unique<QuenrilEQ::PresetBindings>(controller.get());
    bindings->Bind(&view);
    bin = home.path() + "/bin";
    log = home.path() + "/xdg-open.log";
    std::filesystem::create_directories(bin);
    {
      std::ofstream script(bin + "/xdg-open");
      script << "#!/bin/sh\n"
                "printf '%s\\n' \"$#\" >> \"$QEQ_FAKE_XDG_LOG\"\n"
                "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$QEQ_FAKE_XDG_LOG\"; done\n"
                "exit \"${QEQ_FAKE_XDG_STATUS:-0}\"\n";
    }
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    setenv("QEQ_FAKE_XDG_LOG", log.c_str(), 1);
    unsetenv("QEQ_FAKE_XDG_STATUS");
  }
  void TearDown() override {
    setenv("PATH", oldPath.c_str(), 1);
    unsetenv("QEQ_FAKE_XDG_LOG");
    unsetenv("QEQ_FAKE_XDG_STATUS");
    PluginFixture::TearDown();
  }
  // What the fake received since the last call: argument count, then each
  // argument in brackets.
  std::string takeLog() {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(log);
    return text.str();
  }

  std::unique_ptr<QuenrilEQ::PresetBindings> bindings;
  std::string bin, log, oldPath;
};

}  // namespace

TEST_F(OpenUrlTest, WebAddressesReachXdgOpenAsOneLiteralArgument) {
  const std::string sentinel = home.path() + "/pwned";
  const std::string addresses[] = {
      "https://example.com/a?b=c&d=e",
      "http://x; rm -rf ~",
      "https://-x",
      "http://x/$(touch " + sentinel + ")",
      "https://x`touch " + sentinel + "`",
      "http://a b\nc",
      "https://ünïcode.example/✓",
  };
  for (const std::string& address : addresses) {
    EXPECT_EQ(answer("openExternalUrl", {address}), "true") << address;
    EXPECT_EQ(takeLog(), "1\n[" + address + "]\n") << address;
  }
  EXPECT_FALSE(std::filesystem::exists(sentinel));
}

TEST_F(OpenUrlTest, OtherAddressesAreRefusedWithoutStartingAnything) {
  for (const json& params :
       {json{"file:///etc/passwd"}, json{"HTTP://X"}, json{"Https://x"}, json{"ftp://x"}, json{"mailto:a@b"},
        json{"http:/x"}, json{"-http://x"}, json{" http://x"}, json{"//x"}, json{""}, json{5}, json{true},
        json::array(), json(nullptr), json::array({nullptr}), json{json::array({"http://x"})},
        json{std::string("https://a\0b", 11)}}) {
    EXPECT_EQ(answer("openExternalUrl", params), "false") << params;
  }
  EXPECT_EQ(takeLog(), "");
}

TEST_F(OpenUrlTest, FailureOfXdgOpenAnswersFalse) {
  setenv("QEQ_FAKE_XDG_STATUS", "3", 1);
  EXPECT_EQ(answer("openExternalUrl", {"https://x"}), "false");
  EXPECT_EQ(takeLog(), "1\n[https://x]\n") << "it was started";

  setenv("PATH", (home.path() + "/empty").c_str(), 1);
  EXPECT_EQ(answer("openExternalUrl", {"https://x"}), "false") << "no xdg-open at all";
}
