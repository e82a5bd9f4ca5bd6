// The per-instance current-state file: when it is written (throttled, with an
// injected clock, or at once), where, and how it comes back.
#include "controller_fixture.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace QuenrilEQ::testing;
using QuenrilEQ::host::HandlerCall;

namespace {

constexpr std::int64_t kMs = 1'000'000;

class CurrentState : public ControllerTest
{
protected:
	void SetUp () override { h.controller->setClock ([this] { return now; }); }
	std::string file () const { return QuenrilEQ::currentStatePath (h.controller->getInstanceNumber ()); }
	// The value lines of the ids in the file, run together ("" for a missing one).
	std::string saved (std::initializer_list<ParamID> ids) const
	{
		const std::string text = readFile (file ());
		std::string lines;
		for (ParamID id : ids)
			if (const size_t at = text.find ("\n" + std::to_string (id) + "="); at != std::string::npos)
				lines += text.substr (at + 1, text.find ('\n', at + 1) - at - 1) + ";";
		return lines;
	}
	void setAfter (int ms, ParamID id, double value)
	{
		now += ms * kMs;
		h.edit ()->setParamNormalized (id, value);
	}

	std::int64_t now = 5'000 * kMs;
};

} // namespace

TEST_F (CurrentState, ChangesAreSavedAtMostEvery200MsRestoredStatesAndPresetsAtOnce)
{
	EXPECT_FALSE (std::filesystem::exists (file ()));
	setAfter (0, 2003, 0.1);  // the first change at once (the preset writer's text, as the restore below reads it)
	EXPECT_EQ (saved ({2003}), "2003=0.1;");
	setAfter (50, 2019, 0.2);
	setAfter (149, 2035, 0.3);  // 199 ms after the save
	EXPECT_EQ (saved ({2019, 2035}), "2019=0.5;2035=0.5;");
	setAfter (1, 2051, 0.4);  // 200 ms: saved, with everything since
	EXPECT_EQ (saved ({2019, 2035, 2051}), "2019=0.2;2035=0.3;2051=0.4;");
	setAfter (150, 2067, 0.6);  // measured from the last save, not the first
	EXPECT_EQ (saved ({2067}), "2067=0.5;");

	// Within the window still: a processor state or a preset is saved at once, a refused stream never.
	const auto state = Bytes ().i32 (0x51455131).i32 (2).f32 (1.0f).f32 (0.0f).f32 (1.0f).f32 (0.0f).f32 (0.25f);
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (state.data)), kResultOk);
	EXPECT_EQ (saved ({1002, 2002, 2067}), "1002=1;2002=0.25;2067=0.6;");
	writeFile (home.presets () + "/P.quenrileqpreset", "2003=0.9\n2004=0.2\n");
	ASSERT_TRUE (h.controller->loadPresetByName ("P"));
	EXPECT_EQ (saved ({2003, 2004}), "2003=0.9;2004=0.2;");
	std::filesystem::remove (file ());
	EXPECT_EQ (h.edit ()->setComponentState (streamOf (Bytes ().i32 (1).data)), kResultFalse);
	EXPECT_FALSE (std::filesystem::exists (file ()));
}

TEST_F (CurrentState, EachInstanceRestoresItsOwnSavedValuesThroughTheHost)
{
	setAfter (0, 2003, 0.8);
	setAfter (10, 2003, 0.2);  // throttled: the file keeps 0.8
	HostedController next;     // the next instance saves to a file of its own
	EXPECT_EQ (next.controller->getInstanceNumber (), h.controller->getInstanceNumber () + 1);
	next.edit ()->setParamNormalized (2003, 0.75);
	EXPECT_EQ (QuenrilEQ::currentStatePath (0xfedcba9876543210u),
	           home.state () + "/_current_state_fedcba9876543210.quenrileqpreset");
	h.handler->clear ();
	ASSERT_TRUE (h.controller->restoreCurrentState ());
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.8);
	// Every line goes to the host as a complete edit, and both latency parameters ask the
	// host to re-read the latency.
	const auto calls = h.handler->calls ();
	EXPECT_EQ (calls.size (), 314u * 3 + 2);
	EXPECT_EQ (h.handler->restartCount (kLatencyChanged), 2u);
	EXPECT_TRUE ((calls.back () == HandlerCall {HandlerCall::Kind::EndEdit, 2380, 0, 0}));
	ASSERT_TRUE (next.controller->restoreCurrentState ());
	EXPECT_EQ (next.edit ()->getParamNormalized (2003), 0.75);
	std::filesystem::remove (file ());
	EXPECT_FALSE (h.controller->restoreCurrentState ());
}
