// The controller's own stream ('QEQG'): what a host stores in the project.
#include "controller_test_support.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::streamOf;

namespace {

constexpr int32 kMagic = 0x51455147;

std::vector<char> saved (HostedController& h)
{
	auto stream = owned (new MemoryStream ());
	EXPECT_EQ (h.edit ()->getState (stream), kResultOk);
	return QuenrilEQ::testing::bytesOf (*stream);
}

/** Loads bytes into a controller whose A/B data is not the default; returns {slot, text}. */
std::pair<int, std::string> loaded (const std::vector<char>& bytes)
{
	HostedController h;
	h.controller->setAbActiveSlot (5);
	h.controller->setAbInactiveSlotText ("previous");
	EXPECT_EQ (h.edit ()->setState (streamOf (bytes)), kResultOk);
	return {h.controller->getAbActiveSlot (), h.controller->getAbInactiveSlotText ()};
}

Bytes header (int32 slot) { return Bytes ().i32 (kMagic).i32 (1).i32 (slot); }

} // namespace

TEST (ControllerState, SlotAndTextSurviveAProjectButHistoryAndParametersAreNotInIt)
{
	QuenrilEQ::testing::TempHome home;
	const std::string text = u8"{\"bands\":[1,2,3],\"name\":\"Kick \u00e9\"}";
	HostedController first;
	first.controller->setAbActiveSlot (-7);
	first.controller->setAbInactiveSlotText (text);
	first.controller->setHistoryText ("[\"undo\"]");
	const auto project = saved (first);
	// Layout: magic, version 1, slot, length + 1, bytes, zero.
	EXPECT_EQ (project, header (-7).i32 (static_cast<int32> (text.size () + 1)).raw (text).raw (std::string (1, '\0')).data);

	HostedController second;
	ASSERT_EQ (second.edit ()->setState (streamOf (project)), kResultOk);
	EXPECT_EQ (second.controller->getAbActiveSlot (), -7);
	EXPECT_EQ (second.controller->getAbInactiveSlotText (), text);
	EXPECT_EQ (second.controller->getHistoryText (), "");
	second.controller->setHistoryText ("h");
	ASSERT_EQ (second.edit ()->setState (streamOf (project)), kResultOk);
	EXPECT_EQ (second.controller->getHistoryText (), "h");
	EXPECT_EQ (second.edit ()->getParamNormalized (2003), 0.5);
	EXPECT_FALSE (std::filesystem::exists (home.path () + "/Documents")) << "state calls write no files";
	EXPECT_TRUE (second.handler->calls ().empty ());

	// Nothing to read: the defaults, saved as seventeen bytes.
	HostedController fresh;
	ASSERT_EQ (fresh.edit ()->setState (streamOf ({})), kResultOk);
	EXPECT_EQ (saved (fresh), (std::vector<char> {0x47, 0x51, 0x45, 0x51, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST (ControllerState, TextsOfEveryLengthAndBrokenStreams)
{
	const std::string big (262144, 'x'), largest (262143, 'q');
	const struct
	{
		const char* what;
		std::vector<char> bytes;
		int slot;
		std::string text;
	} cases[] = {
	    {"text ends at its first zero", header (1).i32 (6).raw (std::string ("ab\0cd\0", 6)).data, 1, "ab"},
	    {"no zero inside the length", header (1).i32 (3).raw ("xyz").data, 1, "xyz"},
	    {"the largest length", header (2).i32 (262144).raw (largest + std::string (1, '\0')).data, 2, largest},
	    {"any version", Bytes ().i32 (kMagic).i32 (42).i32 (9).i32 (2).raw (std::string ("B\0", 2)).data, 9, "B"},
	    {"missing length", header (3).data, 3, ""},
	    {"cut length", header (3).raw ("\x05\x00").data, 3, ""},
	    {"zero length", header (3).i32 (0).data, 3, ""},
	    {"negative length", header (3).i32 (-4).raw ("abc").data, 3, ""},
	    {"oversize length", header (3).i32 (262145).raw (big + "y").data, 3, ""},
	    {"text shorter than its length", header (3).i32 (10).raw ("abc").data, 3, ""},
	    {"missing slot", Bytes ().i32 (kMagic).i32 (1).data, 0, ""},
	    {"no version", Bytes ().i32 (kMagic).data, 0, ""},
	    {"the processor's magic", Bytes ().i32 (0x51455131).i32 (1).i32 (9).data, 0, ""},
	};
	for (const auto& c : cases)
		EXPECT_EQ (loaded (c.bytes), std::make_pair (c.slot, c.text)) << c.what;
	HostedController h;
	h.controller->setAbActiveSlot (4);
	EXPECT_EQ (h.edit ()->setState (nullptr), kResultOk);
	EXPECT_EQ (h.controller->getAbActiveSlot (), 0);
}
