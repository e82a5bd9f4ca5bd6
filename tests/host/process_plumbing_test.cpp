// The host-side objects a plug-in reads during process (parameter queues,
// bus buffers), the component handler's log, and text from plug-ins.
#include "component_handler.h"
#include "parameter_changes.h"
#include "process_buffers.h"
#include "text.h"

#include <gtest/gtest.h>

#include <thread>

using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using Points = std::vector<std::pair<int32, ParamValue>>;

Points pointsOf (IParamValueQueue& queue)
{
	Points points;
	for (int32 i = 0; i < queue.getPointCount (); ++i)
	{
		int32 offset = -1;
		ParamValue value = -1;
		EXPECT_EQ (queue.getPoint (i, offset, value), kResultOk);
		points.emplace_back (offset, value);
	}
	return points;
}

TEST (ParameterChanges, QueuesKeepFirstAddedOrderAndSortedPoints)
{
	ParameterChanges changes;
	changes.add (2003, 100, 0.25);
	changes.add (1002, 0, 1.0);
	changes.add (2003, 10, 0.75);  // earlier offset goes first
	changes.add (2003, 100, 0.5);  // same offset replaces
	ASSERT_EQ (changes.getParameterCount (), 2);
	EXPECT_EQ (changes.getParameterData (0)->getParameterId (), 2003u);
	EXPECT_EQ (changes.getParameterData (1)->getParameterId (), 1002u);
	EXPECT_EQ (pointsOf (*changes.getParameterData (0)), (Points {{10, 0.75}, {100, 0.5}}));
	int32 offset = 0, index = -1;
	ParamValue value = 0;
	EXPECT_NE (changes.getParameterData (0)->getPoint (2, offset, value), kResultOk);
	EXPECT_NE (changes.getParameterData (0)->getPoint (-1, offset, value), kResultOk);
	EXPECT_TRUE (changes.getParameterData (2) == nullptr && changes.getParameterData (-1) == nullptr);
	EXPECT_EQ (changes.addParameterData (1002, index), changes.getParameterData (1)) << "an existing queue is found by ID";
	EXPECT_EQ (index, 1);
	changes.clear ();  // cleared lists reuse queues without stale points
	changes.add (7, 0, 0.1);
	ASSERT_EQ (changes.getParameterCount (), 1);
	EXPECT_EQ (pointsOf (*changes.getParameterData (0)), (Points {{0, 0.1}}));
	void* object = nullptr;
	EXPECT_EQ (changes.queryInterface (IParamValueQueue::iid, &object), kNoInterface);
}

TEST (ProcessBuffers, BusesGetSeparateZeroedChannelsAndEmptyBusesNone)
{
	ProcessBuffers buffers ({2, 0}, {2}, 64);
	ASSERT_EQ (buffers.numInputs (), 2);
	EXPECT_EQ (buffers.inputBuses ()[0].channelBuffers32[0], buffers.input (0, 0));
	EXPECT_EQ (buffers.inputBuses ()[1].numChannels, 0);
	EXPECT_EQ (buffers.inputBuses ()[1].channelBuffers32, nullptr);
	EXPECT_TRUE (buffers.input (1, 0) == nullptr && buffers.input (0, 2) == nullptr && buffers.output (1, 0) == nullptr);
	std::fill (buffers.output (0, 0), buffers.output (0, 0) + 64, 1.0f);
	EXPECT_EQ (std::vector<float> (buffers.output (0, 1), buffers.output (0, 1) + 64), std::vector<float> (64, 0.0f));
	buffers.clearOutputs ();
	EXPECT_EQ (std::vector<float> (buffers.output (0, 0), buffers.output (0, 0) + 64), std::vector<float> (64, 0.0f));
	ProcessBuffers none ({}, {}, 16);
	EXPECT_TRUE (none.inputBuses () == nullptr && none.outputBuses () == nullptr);
}

TEST (RecordingComponentHandler, KeepsCallsInOrderFromSeveralThreadsAndCountsRestarts)
{
	auto handler = owned (new RecordingComponentHandler ());
	IComponentHandler* host = handler;
	host->beginEdit (2003);
	host->performEdit (2003, 0.6);
	host->endEdit (2003);
	host->restartComponent (kLatencyChanged | kParamValuesChanged);
	host->restartComponent (kParamValuesChanged);
	using Kind = HandlerCall::Kind;
	EXPECT_EQ (handler->calls (), (std::vector<HandlerCall> {{Kind::BeginEdit, 2003, 0, 0}, {Kind::PerformEdit, 2003, 0.6, 0},
	                                                           {Kind::EndEdit, 2003, 0, 0},
	                                                           {Kind::RestartComponent, 0, 0, kLatencyChanged | kParamValuesChanged},
	                                                           {Kind::RestartComponent, 0, 0, kParamValuesChanged}}));
	EXPECT_EQ (handler->restartCount (kLatencyChanged), 1u);
	EXPECT_EQ (handler->restartCount (kParamValuesChanged), 2u);
	handler->clear ();
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back ([&handler, t] {
			for (int i = 0; i < 500; ++i)
				handler->performEdit (static_cast<ParamID> (t), i);
		});
	for (auto& thread : threads)
		thread.join ();
	const auto calls = handler->calls ();
	ASSERT_EQ (calls.size (), 2000u);
	std::vector<ParamValue> next (4, 0);  // each thread's own calls keep their order
	for (const auto& call : calls)
		EXPECT_EQ (call.value, next[call.id]++);
}

TEST (Text, Utf16BecomesUtf8AndFieldsStopAtZeroOrTheirEnd)
{
	const char16 mixed[] = {u'G', u'a', u'i', u'n', u' ', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};
	EXPECT_EQ (toUtf8 (mixed), "Gain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
	const char16 broken[] = {0xDE00, u'x', 0xD83D, 0};  // unpaired halves are replaced
	EXPECT_EQ (toUtf8 (broken), "\xEF\xBF\xBDx\xEF\xBF\xBD");
	const char16 unterminated[] = {u'a', u'b', 0xD83D, 0xDE00};  // the limit holds, also inside a pair
	EXPECT_EQ (toUtf8 (unterminated, 2), "ab");
	EXPECT_EQ (toUtf8 (unterminated, 3), "ab\xEF\xBF\xBD");
	EXPECT_EQ (toUtf8 (nullptr), "");
	const char full[4] = {'a', 'b', 'c', 'd'}, shorter[8] = "ab";
	EXPECT_EQ (fromField (full, sizeof (full)), "abcd");
	EXPECT_EQ (fromField (shorter, sizeof (shorter)), "ab");
}

} // namespace
