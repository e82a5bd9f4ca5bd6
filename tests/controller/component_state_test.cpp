// setComponentState: the controller follows the processor's state stream
// ('QEQ1', versions 1 and 2), built here byte by byte, and asks the host for
// the latency without editing anything back.
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::streamOf;

namespace {

constexpr int32 kMagic = 0x51455131;

/** Ids in stream order for a layout with fieldsPerBand fields per band. */
std::vector<ParamID> streamIds (int fieldsPerBand)
{
	std::vector<ParamID> ids {1002, 1003};
	for (int band = 0; band < 24; ++band)
		for (int k = 0; k < fieldsPerBand; ++k)
			ids.push_back (static_cast<ParamID> (2000 + 16 * band + k));
	return ids;
}

/** A distinct value in [0, 1] for every position, exact in single precision. */
float valueAt (size_t position) { return static_cast<float> ((position * 37) % 101) / 128.0f; }

std::vector<char> stateStream (int32 version, size_t valueCount)
{
	Bytes b;
	b.i32 (kMagic).i32 (version);
	for (size_t i = 0; i < valueCount; ++i)
		b.f32 (valueAt (i));
	return b.data;
}

class ComponentState : public ::testing::Test
{
protected:
	/** Every parameter at 1/32, so that untouched ones are recognisable; the host's log cleared. */
	void SetUp () override
	{
		for (ParamID id : streamIds (16))
			h.edit ()->setParamNormalized (id, 0.03125);
		h.handler->clear ();
	}
	/** Every value; those a stream of `count` values in the given layout sets hold valueAt, the rest 1/32. */
	void expectValues (int fieldsPerBand, size_t count)
	{
		const auto ids = streamIds (fieldsPerBand);
		for (ParamID id : streamIds (13))
		{
			const size_t at = std::find (ids.begin (), ids.end (), id) - ids.begin ();
			EXPECT_EQ (h.edit ()->getParamNormalized (id), at < count ? valueAt (at) : 0.03125) << id;
		}
	}
	QuenrilEQ::testing::TempHome home;
	HostedController h;
};

} // namespace

TEST_F (ComponentState, Version2RestoresEveryValueAndAsksForTheLatencyWithoutEditingTheHost)
{
	for (int round = 0; round < 2; ++round)  // the same stream again still asks for the latency
	{
		ASSERT_EQ (h.edit ()->setComponentState (streamOf (stateStream (2, 314))), kResultOk);
		expectValues (13, 314);
		const std::vector<HandlerCall> restarts (2, HandlerCall {HandlerCall::Kind::RestartComponent, 0, 0, kLatencyChanged});
		EXPECT_EQ (h.handler->calls (), restarts);
		h.handler->clear ();
	}
	// Newer versions read the version 2 layout; a cut stream applies what it holds.
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (stateStream (9, 314))), kResultOk);
	expectValues (13, 314);
	SetUp ();
	auto cut = stateStream (2, 2 + 9 * 13 + 4);  // globals, bands 1..9, band 10's fields 0..3
	cut.push_back (0x11);                        // and half a float, ignored
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (cut)), kResultOk);
	expectValues (13, 2 + 9 * 13 + 4);
}

TEST_F (ComponentState, Version1AndOlderRestoreOnlyTheFilterFields)
{
	for (int32 version : {1, 0, -3})
	{
		SCOPED_TRACE (version);
		SetUp ();
		ASSERT_EQ (h.edit ()->setComponentState (streamOf (stateStream (version, 2 + 24 * 7))), kResultOk);
		expectValues (7, 2 + 24 * 7);
	}
}

TEST_F (ComponentState, BadHeadersAreRefusedAndChangeNothing)
{
	auto wrongMagic = stateStream (2, 314);
	wrongMagic[0] = 'X';
	for (const auto& bytes : {std::vector<char> {}, std::vector<char> {0x31, 0x51, 0x45}, Bytes ().i32 (kMagic).data,
	                          Bytes ().i32 (kMagic).raw ("\x02").data, wrongMagic,
	                          Bytes ().i32 (0x51455147).i32 (2).f32 (1.0f).data})  // the controller's own magic
		EXPECT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultFalse);
	EXPECT_EQ (h.edit ()->setComponentState (nullptr), kResultFalse);
	// Only the header: accepted, and nothing changes.
	EXPECT_EQ (h.edit ()->setComponentState (streamOf (stateStream (2, 0))), kResultOk);
	expectValues (13, 0);
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (ComponentState, OutOfRangeValuesAreStoredClampedAndNoHandlerIsNotAsked)
{
	h.edit ()->setComponentHandler (nullptr);
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (Bytes ().i32 (kMagic).i32 (2).f32 (7.0f).f32 (-1.0f).f32 (2.5f).data)), kResultOk);
	EXPECT_EQ (h.edit ()->getParamNormalized (1002), 1.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (1003), 0.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (2000), 1.0);
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (ComponentState, SettingEitherLatencyParameterAsksForARestartEveryTime)
{
	h.edit ()->setParamNormalized (1002, 1.0);
	h.edit ()->setParamNormalized (1002, 1.0);  // unchanged: asked all the same
	h.edit ()->setParamNormalized (1003, 0.0);
	h.edit ()->setParamNormalized (2003, 0.7);  // any other parameter: not asked
	const std::vector<HandlerCall> restarts (3, HandlerCall {HandlerCall::Kind::RestartComponent, 0, 0, kLatencyChanged});
	EXPECT_EQ (h.handler->calls (), restarts) << "setParamNormalized never edits the host";
}
