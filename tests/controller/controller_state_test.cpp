// The controller's own stream ('QEQG'): what a host stores in the project.
#include "controller_test_support.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using QuenrilEQ::testing::bytesOf;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::streamOf;

namespace {
constexpr int32 kMagic = 0x51455147;

std::vector<char> saved (HostedController& h)
{
	auto stream = owned (new MemoryStream ());
	EXPECT_EQ (h.edit ()->getState (stream), kResultOk);
	return bytesOf (*stream);
}

/** Loads bytes into a controller whose A/B data is not the default first. */
void loadOverNonDefault (HostedController& h, const std::vector<char>& bytes)
{
	h.controller->setAbActiveSlot (5);
	h.controller->setAbInactiveSlotText ("previous");
	EXPECT_EQ (h.edit ()->setState (streamOf (bytes)), kResultOk);
}
} // namespace

TEST (ControllerState, EmptyStreamResetsAndSavesSeventeenBytes)
{
	HostedController h;
	loadOverNonDefault (h, {});
	EXPECT_EQ (h.controller->getAbActiveSlot (), 0);
	EXPECT_EQ (h.controller->getAbInactiveSlotText (), "");
	const std::vector<char> expected {0x47, 0x51, 0x45, 0x51, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
	EXPECT_EQ (saved (h), expected);
}

TEST (ControllerState, SlotAndTextSurviveAProjectRoundTripButHistoryDoesNot)
{
	const std::string text = u8"{\"bands\":[1,2,3],\"name\":\"Kick \u00e9\"}";
	std::vector<char> project;
	{
		HostedController first;
		first.controller->setAbActiveSlot (-7);
		first.controller->setAbInactiveSlotText (text);
		first.controller->setHistoryText ("[\"undo\"]");
		project = saved (first);
	}
	// Layout: magic, version 1, slot, length + 1, bytes, zero.
	const auto expected = Bytes ().i32 (kMagic).i32 (1).i32 (-7).i32 (static_cast<int32> (text.size () + 1)).raw (text).data;
	auto withZero = expected;
	withZero.push_back (0);
	EXPECT_EQ (project, withZero);

	HostedController second;
	ASSERT_EQ (second.edit ()->setState (streamOf (project)), kResultOk);
	EXPECT_EQ (second.controller->getAbActiveSlot (), -7);
	EXPECT_EQ (second.controller->getAbInactiveSlotText (), text);
	EXPECT_EQ (second.controller->getHistoryText (), "");
}

TEST (ControllerState, BadLengthsGiveAnEmptyTextButKeepTheSlot)
{
	struct Case
	{
		const char* what;
		std::vector<char> bytes;
	};
	const std::string big (262144, 'x');
	const std::vector<Case> cases {
	    {"missing length", Bytes ().i32 (kMagic).i32 (1).i32 (3).data},
	    {"cut length", Bytes ().i32 (kMagic).i32 (1).i32 (3).raw ("\x05\x00").data},
	    {"zero length", Bytes ().i32 (kMagic).i32 (1).i32 (3).i32 (0).data},
	    {"negative length", Bytes ().i32 (kMagic).i32 (1).i32 (3).i32 (-4).raw ("abc").data},
	    {"oversize length", Bytes ().i32 (kMagic).i32 (1).i32 (3).i32 (262145).raw (big + "y").data},
	    {"text shorter than its length", Bytes ().i32 (kMagic).i32 (1).i32 (3).i32 (10).raw ("abc").data},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE (c.what);
		HostedController h;
		loadOverNonDefault (h, c.bytes);
		EXPECT_EQ (h.controller->getAbActiveSlot (), 3);
		EXPECT_EQ (h.controller->getAbInactiveSlotText (), "");
	}
}

TEST (ControllerState, TextEndsAtItsFirstZeroAndTheLargestLengthIsAccepted)
{
	HostedController h;
	loadOverNonDefault (h, Bytes ().i32 (kMagic).i32 (1).i32 (1).i32 (6).raw (std::string ("ab\0cd\0", 6)).data);
	EXPECT_EQ (h.controller->getAbInactiveSlotText (), "ab");

	// No terminating zero inside the stated length: the bytes are taken as they are.
	loadOverNonDefault (h, Bytes ().i32 (kMagic).i32 (1).i32 (1).i32 (3).raw ("xyz").data);
	EXPECT_EQ (h.controller->getAbInactiveSlotText (), "xyz");

	const std::string largest (262143, 'q');
	loadOverNonDefault (h, Bytes ().i32 (kMagic).i32 (1).i32 (2).i32 (262144).raw (largest + std::string (1, '\0')).data);
	EXPECT_EQ (h.controller->getAbInactiveSlotText (), largest);
}

TEST (ControllerState, AnyVersionIsReadButAWrongHeaderResets)
{
	HostedController h;
	loadOverNonDefault (h, Bytes ().i32 (kMagic).i32 (42).i32 (9).i32 (2).raw (std::string ("B\0", 2)).data);
	EXPECT_EQ (h.controller->getAbActiveSlot (), 9);
	EXPECT_EQ (h.controller->getAbInactiveSlotText (), "B");

	// Missing slot: 0; the text then cannot be read either.
	loadOverNonDefault (h, Bytes ().i32 (kMagic).i32 (1).data);
	EXPECT_EQ (h.controller->getAbActiveSlot (), 0);
	EXPECT_EQ (h.controller->getAbInactiveSlotText (), "");

	for (const auto& bytes : {Bytes ().i32 (0x51455131).i32 (1).i32 (9).data, Bytes ().i32 (kMagic).data})
	{
		loadOverNonDefault (h, bytes);
		EXPECT_EQ (h.controller->getAbActiveSlot (), 0);
		EXPECT_EQ (h.controller->getAbInactiveSlotText (), "");
	}
	EXPECT_EQ (h.edit ()->setState (nullptr), kResultOk);
	EXPECT_EQ (h.controller->getAbActiveSlot (), 0);
}

TEST (ControllerState, StateCallsTouchNeitherParametersNorHistoryNorFiles)
{
	QuenrilEQ::testing::TempHome home;
	HostedController h;
	h.controller->setHistoryText ("h");
	h.edit ()->setState (streamOf (Bytes ().i32 (kMagic).i32 (1).i32 (1).i32 (1).raw (std::string (1, '\0')).data));
	saved (h);
	EXPECT_EQ (h.controller->getHistoryText (), "h");
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.5);
	EXPECT_FALSE (std::filesystem::exists (home.path () + "/Documents"));
	EXPECT_TRUE (h.handler->calls ().empty ());
}
