// The plug-in's side of the browser helper's socket: framing, back-pressure,
// and what a helper can and cannot make the plug-in do.
#include <gtest/gtest.h>

#include <string>

#include "fake_helper.h"
#include "frame_channel.h"
#include "helper_webview.h"

using nlohmann::json;
using webbridge::ipc::FrameChannel;
using webbridge::ipc::Message;
using webbridge::ipc::MessageType;
using qeqtest::FakeHelper;

namespace {

std::string frame(std::uint16_t type, std::uint16_t flags, std::string_view payload) {
  return std::string{char(type & 0xff), char(type >> 8), char(flags & 0xff), char(flags >> 8)}.append(payload);
}

TEST(FrameChannel, CarriesMessagesOfAnySizeThroughAFullSocket) {
  FakeHelper peer;
  FrameChannel channel(peer.pluginEnd());
  std::string big(700 * 1024, '\0');  // larger than the socket buffer: the rest waits in the outbox
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  ASSERT_TRUE(channel.Send(MessageType::EvalJS, big) && channel.Send(MessageType::Navigate, ""));
  EXPECT_TRUE(channel.HasQueued());
  std::vector<Message> got;
  for (int round = 0; round < 100 && got.size() < 2; ++round) {
    for (Message& m : peer.receiveAll()) got.push_back(std::move(m));
    ASSERT_TRUE(channel.Flush());
  }
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].type == MessageType::EvalJS && got[0].payload == big);
  EXPECT_TRUE(got[1].type == MessageType::Navigate && got[1].payload.empty());
  EXPECT_FALSE(channel.HasQueued());
  // And the other way, split by the protocol's own rule.
  ASSERT_TRUE(peer.sendMessage(MessageType::PageMessage, big.substr(0, 150 * 1024)));
  got.clear();
  channel.Receive([&](Message&& m) { got.push_back(std::move(m)); });
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].payload == big.substr(0, 150 * 1024));
}

TEST(FrameChannel, GivesUpOnFramesThatBreakTheProtocolAndOnAHangUp) {
  const std::vector<std::string> cases[] = {
      {"\x41"},                                                            // shorter than a header
      {frame(65, 0, std::string(webbridge::ipc::kMaxFrameBytes, 'x'))},    // larger than a frame may be
      {frame(65, webbridge::ipc::kMoreFollows, "ab"), frame(66, 0, "cd")},  // continued as another type
      {},                                                                   // the peer hangs up
  };
  for (const auto& datagrams : cases) {
    FakeHelper peer;
    FrameChannel channel(peer.pluginEnd());
    EXPECT_TRUE(channel.Receive([](Message&&) {})) << "an idle peer is no fault";
    for (const std::string& d : datagrams) ASSERT_TRUE(peer.sendRaw(d));
    if (datagrams.empty()) peer.hangUp();
    bool delivered = false;
    channel.Receive([&](Message&&) { delivered = true; });
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(channel.IsOpen() || channel.Send(MessageType::Quit, "")) << datagrams.size();
  }
}

TEST(HelperWebview, RunsOnlyBoundFunctionsAndSettlesEachScriptOnce) {
  FakeHelper helper;
  webbridge::HelperWebview view(helper.pluginEnd());
  int calls = 0;
  view.BindFunction("twice", [&](webbridge::Webview*, int, const std::string&, const json& args) {
    ++calls;
    return json(args[0].get<int>() * 2);
  });
  ASSERT_EQ(helper.receiveAll().size(), 1u);  // the stub, as an init script
  for (const char* message : {R"({"id":7,"method":"twice","params":[21]})", R"j({"id":8,"method":"eval","params":["alert(1)"]})j", "not json"})
    helper.sendMessage(MessageType::PageMessage, message);
  view.OnHelperReadable();
  EXPECT_EQ(calls, 1);
  // Scripts go as their number, then the text.
  auto scriptsSent = [&] {
    std::vector<std::pair<std::uint32_t, std::string>> scripts;
    for (const Message& m : helper.receiveAll()) {
      std::uint32_t number = 0;
      std::string_view script;
      EXPECT_TRUE(m.type == MessageType::EvalJS && webbridge::ipc::SplitNumber(m.payload, number, script));
      scripts.emplace_back(number, script);
    }
    return scripts;
  };
  auto sent = scriptsSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].second, "window._rpc[7].resolve(42); delete window._rpc[7]");

  std::vector<json> results;
  view.EvalJS("1 + 1", [&](const json& r) { results.push_back(r); });
  view.EvalJS("never", [&](const json& r) { results.push_back(r); });
  sent = scriptsSent();
  ASSERT_EQ(sent.size(), 2u);
  const std::uint32_t first = sent[0].first, second = sent[1].first;
  ASSERT_TRUE(sent[0].second == "1 + 1" && first != 0 && first != second);
  using webbridge::ipc::WithNumber;
  helper.sendMessage(MessageType::EvalResult, WithNumber(first, "2"));
  helper.sendMessage(MessageType::EvalResult, WithNumber(first, "3"));  // again: ignored
  helper.sendMessage(MessageType::EvalDropped, WithNumber(second));
  helper.sendMessage(MessageType::EvalResult, WithNumber(second, "4"));  // too late
  helper.sendMessage(MessageType::EvalResult, "\x01");                   // too short for a number
  view.OnHelperReadable();
  EXPECT_EQ(results, std::vector<json>{2});
  EXPECT_TRUE(view.HelperConnected());
  // Once the helper is gone, scripts are dropped without a word.
  helper.hangUp();
  view.OnHelperReadable();
  EXPECT_FALSE(view.HelperConnected());
  view.EvalJS("3", [&](const json& r) { results.push_back(r); });
  EXPECT_EQ(results.size(), 1u);
}

}  // namespace
