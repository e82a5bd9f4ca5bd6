// The editor tool's own reading of the processor's state stream, on streams
// put together byte by byte here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "state_readout.h"

namespace {

using QuenrilEQ::editorhost::ReadProcessorState;
using QuenrilEQ::editorhost::StateValue;

void putWord(std::vector<char>& bytes, std::uint32_t w) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((w >> (8 * i)) & 0xff));
}

void putFloat(std::vector<char>& bytes, float f) {
  std::uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  putWord(bytes, w);
}

// 'QEQ1' as written little-endian: the bytes "1QEQ".
std::vector<char> header(std::uint32_t version) {
  std::vector<char> bytes = {'1', 'Q', 'E', 'Q'};
  putWord(bytes, version);
  return bytes;
}

TEST(StateReadout, ReadsBothVersionsWithTheirIdsInStreamOrder) {
  std::vector<char> v2 = header(2);
  for (int i = 0; i < 2 + 24 * 13; ++i) putFloat(v2, static_cast<float>(i) / 1024.0f);
  std::vector<StateValue> values;
  ASSERT_TRUE(ReadProcessorState(v2, values));
  ASSERT_EQ(values.size(), 314u);
  EXPECT_EQ(values[0], StateValue(1002, 0.0));
  EXPECT_EQ(values[1], StateValue(1003, 1.0 / 1024));
  EXPECT_EQ(values[2], StateValue(2000, 2.0 / 1024));
  EXPECT_EQ(values[14], StateValue(2012, 14.0 / 1024));   // band 1, last field
  EXPECT_EQ(values[15], StateValue(2016, 15.0 / 1024));   // band 2 starts on the next block of 16
  EXPECT_EQ(values[313], StateValue(2000 + 16 * 23 + 12, 313.0 / 1024));

  std::vector<char> v1 = header(1);
  for (int i = 0; i < 2 + 24 * 7; ++i) putFloat(v1, 0.5f);
  ASSERT_TRUE(ReadProcessorState(v1, values));
  ASSERT_EQ(values.size(), 170u);
  EXPECT_EQ(values[8].first, 2006u);  // channel, the last field version 1 kept
  EXPECT_EQ(values[9].first, 2016u);
}

TEST(StateReadout, CutStreamsGiveWhatCameBeforeTheCutAndBadHeadersNothing) {
  std::vector<char> cut = header(2);
  putFloat(cut, 1.0f);
  putFloat(cut, 0.25f);
  putFloat(cut, 0.75f);
  cut.push_back(0);  // a stray partial float
  std::vector<StateValue> values;
  ASSERT_TRUE(ReadProcessorState(cut, values));
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[2], StateValue(2000, 0.75));

  values = {{1, 1.0}};
  std::vector<char> wrongMagic = header(2);
  wrongMagic[0] = 'X';
  EXPECT_FALSE(ReadProcessorState(wrongMagic, values));
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(ReadProcessorState(header(3), values));
  EXPECT_FALSE(ReadProcessorState(header(0), values));
  EXPECT_FALSE(ReadProcessorState({'1', 'Q', 'E'}, values));
  EXPECT_FALSE(ReadProcessorState({}, values));
}

}  // namespace
