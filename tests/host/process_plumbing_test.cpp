// The parameter queues a plug-in reads during process, and text from plug-ins.
#include "parameter_changes.h"
#include "text.h"

#include <gtest/gtest.h>

using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using Points = std::vector<std::pair<int32, ParamValue>>;

Points pointsOf (IParamValueQueue* queue)
{
	Points points;
	int32 offset = -1;
	ParamValue value = -1;
	for (int32 i = 0; queue->getPoint (i, offset, value) == kResultOk; ++i)
		points.emplace_back (offset, value);
	return points;
}

TEST (ParameterChanges, QueuesKeepFirstAddedOrderAndSortedPointsAndReuseTheirStorageCleanly)
{
	ParameterChanges changes;
	changes.add (2003, 100, 0.25);
	changes.add (1002, 0, 1.0);
	changes.add (2003, 10, 0.75);  // earlier offset goes first
	changes.add (2003, 100, 0.5);  // same offset replaces
	ASSERT_EQ (changes.getParameterCount (), 2);
	EXPECT_EQ (changes.getParameterData (1)->getParameterId (), 1002u);
	EXPECT_EQ (pointsOf (changes.getParameterData (0)), (Points {{10, 0.75}, {100, 0.5}}));
	EXPECT_EQ (changes.getParameterData (0)->getPointCount (), 2);
	EXPECT_TRUE (changes.getParameterData (2) == nullptr && changes.getParameterData (-1) == nullptr);
	int32 index = -1;
	EXPECT_EQ (changes.addParameterData (1002, index), changes.getParameterData (1)) << "an existing queue is found by ID";
	EXPECT_EQ (index, 1);
	changes.clear ();
	changes.add (7, 0, 0.1);
	ASSERT_EQ (changes.getParameterCount (), 1);
	EXPECT_EQ (pointsOf (changes.getParameterData (0)), (Points {{0, 0.1}}));
}

TEST (Text, Utf16BecomesUtf8AndFieldsStopAtZeroOrTheirEnd)
{
	const char16 mixed[] = {u'G', u'a', u'i', u'n', u' ', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};
	EXPECT_EQ (toUtf8 (mixed), "Gain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
	const char16 broken[] = {0xDE00, u'x', 0xD83D, 0};  // unpaired halves are replaced
	EXPECT_EQ (toUtf8 (broken), "\xEF\xBF\xBDx\xEF\xBF\xBD");
	const char16 unterminated[] = {u'a', u'b', 0xD83D, 0xDE00};  // the limit holds, also inside a pair
	EXPECT_EQ (toUtf8 (unterminated, 3), "ab\xEF\xBF\xBD");
	EXPECT_EQ (toUtf8 (nullptr), "");
	const char full[4] = {'a', 'b', 'c', 'd'}, shorter[8] = "ab";
	EXPECT_EQ (fromField (full, sizeof (full)) + "|" + fromField (shorter, sizeof (shorter)), "abcd|ab");
}

} // namespace
