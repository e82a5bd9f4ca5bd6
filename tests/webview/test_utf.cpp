// Text crossing between the page (UTF-8) and the SDK (UTF-16).
#include <gtest/gtest.h>

#include <codecvt>
#include <locale>

#include "webview/utf.h"

using webbridge::utf16ToUtf8;
using webbridge::utf8ToUtf16;

TEST(Utf, ValidTextMatchesTheStandardConverterBothWaysStopsAtZeroAndBrokenTextIsReplaced) {
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> reference;
  for (const std::string& text : {std::string(""), std::string("Grüße €"), std::string("日本語"), std::string("🎵 x 𝄞"),
                                  std::string("a\x7f", 2), std::string("\xef\xbf\xbd"), std::string("\xf4\x8f\xbf\xbf")}) {
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, reference.from_bytes(text)) << text;
    EXPECT_EQ(utf16ToUtf8(wide.c_str(), wide.size() + 1), text) << text;
  }
  const char16_t field[6] = {u'a', u'b', 0, u'c', u'd', u'e'}, full[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(utf16ToUtf8(field, 6), "ab");
  EXPECT_EQ(utf16ToUtf8(full, 3), "xyz") << "no terminating zero needed at the field end";
  EXPECT_EQ(utf16ToUtf8(nullptr, 5), "");

  // Broken input becomes replacement characters.
  const std::string fffd = "\xef\xbf\xbd";
  const char16_t loneHigh[] = {u'a', 0xD800, u'b', 0}, loneLow[] = {0xDC00, 0}, highAtEnd[] = {0xDBFF};
  EXPECT_EQ(utf16ToUtf8(loneHigh, 4), "a" + fffd + "b");
  EXPECT_EQ(utf16ToUtf8(loneLow, 2), fffd);
  EXPECT_EQ(utf16ToUtf8(highAtEnd, 1), fffd);
  const std::u16string r = u"\uFFFD";
  const std::pair<std::string, std::u16string> cases[] = {
      {"a\x80z", u"a" + r + u"z"}, {"\xc3", r},          {"\xe2\x82z", r + u"z"}, {"\xc0\xaf", r + r},
      {"\xe0\x80\xaf", r},         {"\xed\xa0\x80", r},  {"\xf4\x90\x80\x80", r}, {"\xff", r},
  };  // stray continuation, cut at the end and inside, overlong forms, a surrogate, beyond U+10FFFF
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(utf8ToUtf16(bytes), expected) << bytes;
}
