// Text crossing between the page (UTF-8) and the SDK (UTF-16).
#include <gtest/gtest.h>

#include <codecvt>
#include <locale>

#include "webview/utf.h"

using webbridge::utf16ToUtf8;
using webbridge::utf8ToUtf16;

namespace {

// The standard library's converter as the reference for valid text.
std::u16string referenceUtf16(const std::string& utf8) {
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> convert;
  return convert.from_bytes(utf8);
}

}  // namespace

TEST(Utf, ValidTextMatchesTheStandardConverterBothWays) {
  const std::string samples[] = {"", "Hz", "Grüße €", "日本語", "🎵 x 𝄞", std::string("a\x7f", 2),
                                 "\xef\xbf\xbd", "\xf4\x8f\xbf\xbf"};
  for (const std::string& text : samples) {
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, referenceUtf16(text)) << text;
    EXPECT_EQ(utf16ToUtf8(wide.c_str(), wide.size() + 1), text) << text;
  }
}

TEST(Utf, Utf16StopsAtZeroOrTheFieldEnd) {
  const char16_t field[6] = {u'a', u'b', 0, u'c', u'd', u'e'};
  EXPECT_EQ(utf16ToUtf8(field, 6), "ab");
  const char16_t full[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(utf16ToUtf8(full, 3), "xyz") << "no terminating zero needed at the field end";
  EXPECT_EQ(utf16ToUtf8(nullptr, 5), "");
}

TEST(Utf, BrokenInputBecomesReplacementCharacters) {
  const std::string fffd = "\xef\xbf\xbd";
  const char16_t loneHigh[] = {u'a', 0xD800, u'b', 0};
  const char16_t loneLow[] = {0xDC00, 0};
  const char16_t highAtEnd[] = {0xDBFF};
  EXPECT_EQ(utf16ToUtf8(loneHigh, 4), "a" + fffd + "b");
  EXPECT_EQ(utf16ToUtf8(loneLow, 2), fffd);
  EXPECT_EQ(utf16ToUtf8(highAtEnd, 1), fffd);

  const std::u16string r = u"\uFFFD";
  EXPECT_EQ(utf8ToUtf16("a\x80z"), u"a" + r + u"z") << "stray continuation";
  EXPECT_EQ(utf8ToUtf16("\xc3"), r) << "truncated at the end";
  EXPECT_EQ(utf8ToUtf16("\xe2\x82z"), r + u"z") << "truncated inside";
  EXPECT_EQ(utf8ToUtf16("\xc0\xaf"), r + r) << "overlong lead is invalid";
  EXPECT_EQ(utf8ToUtf16("\xe0\x80\xaf"), r) << "overlong three-byte form";
  EXPECT_EQ(utf8ToUtf16("\xed\xa0\x80"), r) << "encoded surrogate";
  EXPECT_EQ(utf8ToUtf16("\xf4\x90\x80\x80"), r) << "beyond U+10FFFF";
  EXPECT_EQ(utf8ToUtf16("\xff"), r);
}
