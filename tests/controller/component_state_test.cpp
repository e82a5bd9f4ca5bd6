// setComponentState: the controller follows the processor's state stream
// (magic 'QEQ1', versions 1 and 2) built here byte by byte.
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <map>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::callsOfKind;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::streamOf;
using QuenrilEQ::testing::TempHome;

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

std::vector<char> stateStream (int32 version, int fieldsPerBand, size_t valueCount)
{
	Bytes b;
	b.i32 (kMagic).i32 (version);
	for (size_t i = 0; i < valueCount; ++i)
		b.f32 (valueAt (i));
	return b.data;
}

std::map<ParamID, double> snapshot (IEditController* edit)
{
	std::map<ParamID, double> values;
	for (int32 i = 0; i < edit->getParameterCount (); ++i)
	{
		ParameterInfo info {};
		edit->getParameterInfo (i, info);
		values[info.id] = edit->getParamNormalized (info.id);
	}
	return values;
}

/** Puts every parameter at 0.03125 so that untouched ones are recognisable. */
void presetAll (IEditController* edit)
{
	for (int32 i = 0; i < edit->getParameterCount (); ++i)
	{
		ParameterInfo info {};
		edit->getParameterInfo (i, info);
		edit->setParamNormalized (info.id, 0.03125);
	}
}

class ComponentState : public ::testing::Test
{
protected:
	TempHome home;
	HostedController h;
};
} // namespace

TEST_F (ComponentState, Version2RestoresEveryValueAndAsksForTheLatencyWithoutEditingTheHost)
{
	const auto ids = streamIds (13);
	ASSERT_EQ (ids.size (), 314u);
	const auto bytes = stateStream (2, 13, ids.size ());
	ASSERT_EQ (bytes.size (), 1264u);
	h.handler->clear ();
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultOk);
	for (size_t i = 0; i < ids.size (); ++i)
		EXPECT_EQ (h.edit ()->getParamNormalized (ids[i]), static_cast<double> (valueAt (i))) << ids[i];

	// One latency restart per global value read; no edits go back to the host.
	const auto calls = h.handler->calls ();
	ASSERT_EQ (calls.size (), 2u);
	for (const HandlerCall& c : calls)
	{
		EXPECT_EQ (c.kind, HandlerCall::Kind::RestartComponent);
		EXPECT_EQ (c.flags, kLatencyChanged);
	}

	// The same stream again changes nothing, yet still asks for the latency.
	h.handler->clear ();
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultOk);
	EXPECT_EQ (h.handler->restartCount (kLatencyChanged), 2u);
	EXPECT_EQ (h.handler->calls ().size (), 2u);
}

TEST_F (ComponentState, Version1AndOlderRestoreOnlyTheFilterFields)
{
	for (int32 version : {1, 0, -3})
	{
		SCOPED_TRACE (version);
		presetAll (h.edit ());
		const auto ids = streamIds (7);
		const auto bytes = stateStream (version, 7, ids.size ());
		ASSERT_EQ (bytes.size (), 688u);
		ASSERT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultOk);
		std::map<ParamID, double> expected;
		for (const auto& [id, v] : snapshot (h.edit ()))
			expected[id] = 0.03125;
		for (size_t i = 0; i < ids.size (); ++i)
			expected[ids[i]] = valueAt (i);
		EXPECT_EQ (snapshot (h.edit ()), expected);
	}
}

TEST_F (ComponentState, NewerVersionsReadTheVersion2Layout)
{
	const auto ids = streamIds (13);
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (stateStream (9, 13, ids.size ()))), kResultOk);
	EXPECT_EQ (h.edit ()->getParamNormalized (2380), static_cast<double> (valueAt (313)));
	EXPECT_EQ (h.edit ()->getParamNormalized (2007), static_cast<double> (valueAt (9)));
}

TEST_F (ComponentState, ShortStreamAppliesWhatItHolds)
{
	presetAll (h.edit ());
	// Cut after band 10's Gain: globals, bands 1..9 and band 10's fields 0..3.
	const size_t count = 2 + 9 * 13 + 4;
	const auto ids = streamIds (13);
	auto bytes = stateStream (2, 13, count);
	bytes.push_back (0x11);  // half a float more: ignored
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultOk);
	for (size_t i = 0; i < ids.size (); ++i)
		EXPECT_EQ (h.edit ()->getParamNormalized (ids[i]), i < count ? valueAt (i) : 0.03125) << ids[i];

	// Only the header: accepted, nothing changes.
	h.handler->clear ();
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (Bytes ().i32 (kMagic).i32 (2).data)), kResultOk);
	EXPECT_EQ (h.edit ()->getParamNormalized (2380), 0.03125);
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (ComponentState, BadHeadersAreRefusedAndChangeNothing)
{
	presetAll (h.edit ());
	const auto before = snapshot (h.edit ());
	h.handler->clear ();
	auto full = stateStream (2, 13, 314);
	auto wrongMagic = full;
	wrongMagic[0] = 'X';
	const std::vector<std::vector<char>> bad {
	    {},                                 // empty
	    {0x31, 0x51, 0x45},                 // three bytes of the magic
	    Bytes ().i32 (kMagic).data,         // no version
	    Bytes ().i32 (kMagic).raw ("\x02").data,  // a cut version
	    wrongMagic,
	    Bytes ().i32 (0x51455147).i32 (2).f32 (1.0f).data,  // the controller's own magic
	};
	for (const auto& bytes : bad)
		EXPECT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultFalse);
	EXPECT_EQ (h.edit ()->setComponentState (nullptr), kResultFalse);
	EXPECT_EQ (snapshot (h.edit ()), before);
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (ComponentState, OutOfRangeStreamValuesAreStoredClamped)
{
	auto bytes = Bytes ().i32 (kMagic).i32 (2).f32 (7.0f).f32 (-1.0f).f32 (1.0f).f32 (0.0f).f32 (2.5f).data;
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultOk);
	EXPECT_EQ (h.edit ()->getParamNormalized (1002), 1.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (1003), 0.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (2000), 1.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (2002), 1.0);
}

TEST_F (ComponentState, WithoutAComponentHandlerNothingIsAsked)
{
	h.edit ()->setComponentHandler (nullptr);
	h.handler->clear ();
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (stateStream (2, 13, 314))), kResultOk);
	EXPECT_EQ (h.edit ()->getParamNormalized (1003), static_cast<double> (valueAt (1)));
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (ComponentState, SettingEitherLatencyParameterAsksForARestartEveryTime)
{
	h.handler->clear ();
	h.edit ()->setParamNormalized (1002, 1.0);
	h.edit ()->setParamNormalized (1002, 1.0);  // unchanged: asked all the same
	h.edit ()->setParamNormalized (1003, 0.0);
	h.edit ()->setParamNormalized (2003, 0.7);  // any other parameter: not asked
	h.edit ()->setParamNormalized (1004, 0.7);  // not a parameter: not asked
	const auto restarts = callsOfKind (*h.handler, HandlerCall::Kind::RestartComponent);
	ASSERT_EQ (restarts.size (), 3u);
	for (const HandlerCall& c : restarts)
		EXPECT_EQ (c.flags, kLatencyChanged);
	EXPECT_EQ (h.handler->calls ().size (), 3u) << "setParamNormalized never edits the host";
}
