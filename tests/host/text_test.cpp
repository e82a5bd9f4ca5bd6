// UTF-16 strings from plug-ins to UTF-8, checked against known encodings.
#include "text.h"

#include <gtest/gtest.h>

using QuenrilEQ::host::fromField;
using QuenrilEQ::host::toUtf8;

namespace {

TEST (Text, Utf16BecomesUtf8ByteForByte)
{
	const Steinberg::char16 mixed[] = {u'G', u'a', u'i', u'n', u' ', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};
	EXPECT_EQ (toUtf8 (mixed), "Gain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
	// Unpaired halves of a surrogate pair are replaced, not passed through.
	const Steinberg::char16 broken[] = {0xDE00, u'x', 0xD83D, 0};
	EXPECT_EQ (toUtf8 (broken), "\xEF\xBF\xBDx\xEF\xBF\xBD");
	// The length limit holds for unterminated buffers, also inside a pair.
	const Steinberg::char16 unterminated[] = {u'a', u'b', 0xD83D, 0xDE00};
	EXPECT_EQ (toUtf8 (unterminated, 2), "ab");
	EXPECT_EQ (toUtf8 (unterminated, 3), "ab\xEF\xBF\xBD");
	EXPECT_EQ (toUtf8 (nullptr), "");
}

TEST (Text, FixedFieldsStopAtTheFirstZeroOrTheirEnd)
{
	const char full[4] = {'a', 'b', 'c', 'd'};
	EXPECT_EQ (fromField (full, sizeof (full)), "abcd");
	const char shorter[8] = "ab";
	EXPECT_EQ (fromField (shorter, sizeof (shorter)), "ab");
}

} // namespace
