// The two streams a host keeps in a project: the processor's ('QEQ1',
// versions 1 and 2), which the controller follows, and the controller's own
// ('QEQG'), both built here byte by byte.
#include "controller_fixture.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace QuenrilEQ::testing;
using QuenrilEQ::host::HandlerCall;

namespace {

constexpr int32 kProcessorMagic = 0x51455131, kControllerMagic = 0x51455147;
const std::vector<HandlerCall> kTwoLatencyRestarts (2, {HandlerCall::Kind::RestartComponent, 0, 0,
                                                        kLatencyChanged});

// Ids in stream order for a layout with fieldsPerBand fields per band.
std::vector<ParamID> streamIds (int fieldsPerBand)
{
	std::vector<ParamID> ids {1002, 1003};
	for (int band = 0; band < 24; ++band)
		for (int k = 0; k < fieldsPerBand; ++k)
			ids.push_back (static_cast<ParamID> (2000 + 16 * band + k));
	return ids;
}

// A distinct value in [0, 1] for every position, exact in single precision.
float valueAt (size_t position) { return static_cast<float> ((position * 37) % 101) / 128.0f; }

// A processor stream with count values in stream order, and half a float at the end (ignored).
std::vector<char> processorStream (int32 version, size_t valueCount)
{
	Bytes b;
	b.i32 (kProcessorMagic).i32 (version);
	for (size_t i = 0; i < valueCount; ++i)
		b.f32 (valueAt (i));
	b.data.push_back (0x11);
	return b.data;
}

class ComponentState : public ControllerTest
{
protected:
	// Every parameter at 1/32, so that untouched ones are recognisable; the host's log cleared.
	void SetUp () override
	{
		for (ParamID id : streamIds (16))
			h.edit ()->setParamNormalized (id, 0.03125);
		h.handler->clear ();
	}
	// Those a stream of count values in the given layout sets hold valueAt, the rest 1/32.
	void expectValues (int fieldsPerBand, size_t count)
	{
		const auto ids = streamIds (fieldsPerBand);
		for (ParamID id : streamIds (13))
		{
			const size_t at = std::find (ids.begin (), ids.end (), id) - ids.begin ();
			EXPECT_EQ (h.edit ()->getParamNormalized (id), at < count ? valueAt (at) : 0.03125) << id;
		}
	}
};

std::vector<char> savedState (HostedController& h)
{
	auto stream = owned (new MemoryStream ());
	EXPECT_EQ (h.edit ()->getState (stream), kResultOk);
	return std::vector<char> (stream->getData (), stream->getData () + stream->getSize ());
}

Bytes header (int32 slot) { return Bytes ().i32 (kControllerMagic).i32 (1).i32 (slot); }

} // namespace

// The layouts themselves are the processor's (its state tests read every kind of stream);
// here: the controller follows them, refuses what the processor would ignore, and tells
// the host only that the latency may have changed.
TEST_F (ComponentState, EachVersionRestoresItsLayoutBadHeadersAreRefusedAndOnlyTheLatencyReachesTheHost)
{
	auto wrongMagic = processorStream (2, 314);
	wrongMagic[0] = 'X';
	const struct
	{
		std::vector<char> bytes;
		int fieldsPerBand;  // 0: refused
		size_t count;
	} cases[] = {
	    {processorStream (2, 314), 13, 314}, {processorStream (9, 314), 13, 314},  // newer: the version 2 layout
	    {processorStream (2, 2 + 9 * 13 + 4), 13, 2 + 9 * 13 + 4},                // a cut stream applies what it holds
	    {processorStream (1, 2 + 24 * 7), 7, 2 + 24 * 7},                         // older: the filter fields only
	    {processorStream (-3, 2 + 24 * 7), 7, 2 + 24 * 7},
	    {processorStream (2, 0), 13, 0},
	    {{}, 0, 0}, {{0x31, 0x51, 0x45}, 0, 0}, {Bytes ().i32 (kProcessorMagic).raw ("\x02").data, 0, 0}, {wrongMagic, 0, 0},
	    {Bytes ().i32 (kControllerMagic).i32 (2).f32 (1.0f).data, 0, 0},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE (&c - cases);
		SetUp ();
		EXPECT_EQ (h.edit ()->setComponentState (streamOf (c.bytes)), c.fieldsPerBand ? kResultOk : kResultFalse);
		expectValues (c.fieldsPerBand ? c.fieldsPerBand : 13, c.count);
		EXPECT_EQ (h.handler->calls (), c.count ? kTwoLatencyRestarts : std::vector<HandlerCall> {});
	}
	EXPECT_EQ (h.edit ()->setComponentState (nullptr), kResultFalse);
	h.edit ()->setComponentHandler (nullptr);  // and no host to ask for the latency
	EXPECT_EQ (h.edit ()->setComponentState (streamOf (processorStream (2, 314))), kResultOk);
}

TEST (ControllerState, SlotAndTextRoundTripWithTheirZeroButNotTheHistoryAndBadStreamsAreRead)
{
	TempHome home;
	const std::string text = u8"{\"name\":\"Kick \u00e9\"}", largest (262143, 'q');
	const std::vector<char> project =
	    header (-7).i32 (static_cast<int32> (text.size () + 1)).raw (text).raw (std::string (1, '\0')).data;
	{
		HostedController h;
		h.controller->setAbActiveSlot (-7);
		h.controller->setAbInactiveSlotText (text);
		h.controller->setHistoryText ("[\"undo\"]");
		// Layout: magic, version 1, slot, length + 1, the bytes, a zero.
		EXPECT_EQ (savedState (h), project);
		ASSERT_EQ (h.edit ()->setState (streamOf ({})), kResultOk);  // nothing to read: the defaults
		EXPECT_EQ (savedState (h), header (0).i32 (1).raw (std::string (1, '\0')).data);
	}
	const struct
	{
		const char* what;
		std::vector<char> bytes;
		int slot;
		std::string text;
	} cases[] = {
	    {"a project", project, -7, text},
	    {"text ends at its first zero", header (1).i32 (6).raw (std::string ("ab\0cd\0", 6)).data, 1, "ab"},
	    {"no zero inside the length", header (1).i32 (3).raw ("xyz").data, 1, "xyz"},
	    {"the largest length", header (2).i32 (262144).raw (largest + std::string (1, '\0')).data, 2, largest},
	    {"any version", Bytes ().i32 (kControllerMagic).i32 (42).i32 (9).i32 (2).raw ({"B\0", 2}).data, 9, "B"},
	    {"missing length", header (3).data, 3, ""},
	    {"negative length", header (3).i32 (-4).raw ("abc").data, 3, ""},
	    {"oversize length", header (3).i32 (262145).raw (largest + "yy").data, 3, ""},
	    {"text shorter than its length", header (3).i32 (10).raw ("abc").data, 3, ""},
	    {"missing slot", Bytes ().i32 (kControllerMagic).i32 (1).data, 0, ""},
	    {"the processor's magic", Bytes ().i32 (kProcessorMagic).i32 (1).i32 (9).data, 0, ""},
	    {"no stream at all", {}, 0, ""},
	};
	for (const auto& c : cases)
	{
		HostedController h;  // A/B data that is not the default, and a history, which a project leaves alone
		h.controller->setAbActiveSlot (5);
		h.controller->setAbInactiveSlotText ("previous");
		h.controller->setHistoryText ("h");
		const auto stream = streamOf (c.bytes);
		EXPECT_EQ (h.edit ()->setState (c.bytes.empty () ? nullptr : stream.get ()), kResultOk);
		EXPECT_EQ (std::make_pair (h.controller->getAbActiveSlot (), h.controller->getAbInactiveSlotText ()),
		           std::make_pair (c.slot, c.text)) << c.what;
		EXPECT_EQ (h.controller->getHistoryText (), "h");
		EXPECT_TRUE (h.handler->calls ().empty ());
	}
	EXPECT_FALSE (std::filesystem::exists (home.path () + "/Documents")) << "state calls write no files";
}
