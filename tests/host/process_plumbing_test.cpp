// The host-side objects a plug-in reads during process: parameter queues,
// bus buffers and the component handler's log.
#include "component_handler.h"
#include "parameter_changes.h"
#include "process_buffers.h"

#include <gtest/gtest.h>

#include <thread>

using namespace QuenrilEQ::host;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::vector<std::pair<int32, ParamValue>> pointsOf (IParamValueQueue& queue)
{
	std::vector<std::pair<int32, ParamValue>> points;
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
	changes.add (2003, 10, 0.75); // earlier offset goes first
	changes.add (2003, 100, 0.5); // same offset replaces
	ASSERT_EQ (changes.getParameterCount (), 2);
	ASSERT_NE (changes.getParameterData (0), nullptr);
	EXPECT_EQ (changes.getParameterData (0)->getParameterId (), 2003u);
	EXPECT_EQ (changes.getParameterData (1)->getParameterId (), 1002u);
	using Points = std::vector<std::pair<int32, ParamValue>>;
	EXPECT_EQ (pointsOf (*changes.getParameterData (0)), (Points {{10, 0.75}, {100, 0.5}}));

	// What a plug-in reads as "the last point".
	int32 offset = 0;
	ParamValue value = 0;
	EXPECT_NE (changes.getParameterData (0)->getPoint (2, offset, value), kResultOk);
	EXPECT_NE (changes.getParameterData (0)->getPoint (-1, offset, value), kResultOk);
	EXPECT_EQ (changes.getParameterData (2), nullptr);
	EXPECT_EQ (changes.getParameterData (-1), nullptr);

	// addParameterData finds an existing queue by ID.
	int32 index = -1;
	EXPECT_EQ (changes.addParameterData (1002, index), changes.getParameterData (1));
	EXPECT_EQ (index, 1);

	// Cleared lists start empty and reuse queues without stale points.
	changes.clear ();
	EXPECT_EQ (changes.getParameterCount (), 0);
	changes.add (7, 0, 0.1);
	ASSERT_EQ (changes.getParameterCount (), 1);
	EXPECT_EQ (pointsOf (*changes.getParameterData (0)), (Points {{0, 0.1}}));
}

TEST (ParameterChanges, AnswerQueriesForTheirOwnInterfacesOnly)
{
	ParameterChanges changes;
	void* object = nullptr;
	EXPECT_EQ (changes.queryInterface (IParameterChanges::iid, &object), kResultOk);
	EXPECT_EQ (object, static_cast<IParameterChanges*> (&changes));
	EXPECT_EQ (changes.queryInterface (IParamValueQueue::iid, &object), kNoInterface);
	EXPECT_EQ (object, nullptr);
	changes.add (1, 0, 0);
	EXPECT_EQ (changes.getParameterData (0)->queryInterface (IParamValueQueue::iid, &object), kResultOk);
}

TEST (ProcessBuffers, BusesGetSeparateZeroedChannelsAndEmptyBusesNone)
{
	ProcessBuffers buffers ({2, 0}, {2}, 64);
	ASSERT_EQ (buffers.numInputs (), 2);
	ASSERT_EQ (buffers.numOutputs (), 1);
	AudioBusBuffers* inputs = buffers.inputBuses ();
	EXPECT_EQ (inputs[0].numChannels, 2);
	EXPECT_EQ (inputs[0].channelBuffers32[0], buffers.input (0, 0));
	EXPECT_EQ (inputs[1].numChannels, 0);
	EXPECT_EQ (inputs[1].channelBuffers32, nullptr);
	EXPECT_EQ (buffers.input (1, 0), nullptr);
	EXPECT_EQ (buffers.input (0, 2), nullptr);
	EXPECT_EQ (buffers.output (1, 0), nullptr);

	// Writing one channel does not leak into another.
	for (int i = 0; i < 64; ++i)
		buffers.output (0, 0)[i] = 1.0f;
	for (int i = 0; i < 64; ++i)
		EXPECT_EQ (buffers.output (0, 1)[i], 0.0f);
	buffers.clearOutputs ();
	for (int i = 0; i < 64; ++i)
		EXPECT_EQ (buffers.output (0, 0)[i], 0.0f);

	ProcessBuffers none ({}, {}, 16);
	EXPECT_EQ (none.inputBuses (), nullptr);
	EXPECT_EQ (none.outputBuses (), nullptr);
}

TEST (RecordingComponentHandler, KeepsCallsInOrderAndCountsRestarts)
{
	auto handler = owned (new RecordingComponentHandler ());
	IComponentHandler* host = handler;
	host->beginEdit (2003);
	host->performEdit (2003, 0.6);
	host->endEdit (2003);
	host->restartComponent (kLatencyChanged | kParamValuesChanged);
	host->restartComponent (kParamValuesChanged);
	using Kind = HandlerCall::Kind;
	std::vector<HandlerCall> expected {{Kind::BeginEdit, 2003, 0, 0},
	                                   {Kind::PerformEdit, 2003, 0.6, 0},
	                                   {Kind::EndEdit, 2003, 0, 0},
	                                   {Kind::RestartComponent, 0, 0, kLatencyChanged | kParamValuesChanged},
	                                   {Kind::RestartComponent, 0, 0, kParamValuesChanged}};
	EXPECT_EQ (handler->calls (), expected);
	EXPECT_EQ (handler->restartCount (kLatencyChanged), 1u);
	EXPECT_EQ (handler->restartCount (kParamValuesChanged), 2u);
	handler->clear ();
	EXPECT_TRUE (handler->calls ().empty ());

	// Reference counted like any SDK object.
	void* object = nullptr;
	EXPECT_EQ (handler->queryInterface (IComponentHandler::iid, &object), kResultOk);
	static_cast<IComponentHandler*> (object)->release ();
}

TEST (RecordingComponentHandler, LogsCallsFromSeveralThreadsWithoutLosingAny)
{
	auto handler = owned (new RecordingComponentHandler ());
	constexpr int kThreads = 4;
	constexpr int kEdits = 500;
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; ++t)
		threads.emplace_back ([&handler, t] {
			for (int i = 0; i < kEdits; ++i)
				handler->performEdit (static_cast<ParamID> (t), i);
		});
	for (auto& thread : threads)
		thread.join ();
	auto calls = handler->calls ();
	ASSERT_EQ (calls.size (), static_cast<size_t> (kThreads * kEdits));
	// Each thread's own calls keep their order.
	std::vector<ParamValue> next (kThreads, 0);
	for (const auto& call : calls)
	{
		ASSERT_LT (call.id, static_cast<ParamID> (kThreads));
		EXPECT_EQ (call.value, next[call.id]);
		next[call.id] = call.value + 1;
	}
}

} // namespace
