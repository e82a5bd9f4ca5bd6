// The per-instance current-state file: when it is written (throttled, with an
// injected clock, or at once) and where (instance numbers in hexadecimal).
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::linesOf;
using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::streamOf;
using QuenrilEQ::testing::TempHome;

namespace {

constexpr std::int64_t kMs = 1'000'000;

std::string hex (std::uint64_t n)
{
	std::ostringstream s;
	s << std::hex << n;
	return s.str ();
}

class CurrentState : public ::testing::Test
{
protected:
	void SetUp () override { h.controller->setClock ([this] { return ++clockReads, now; }); }
	std::string file () const
	{
		return home.state () + "/_current_state_" + hex (h.controller->getInstanceNumber ()) + ".quenrileqpreset";
	}
	/** The value line of id in the file ("" when there is none). */
	std::string saved (ParamID id) const
	{
		for (const std::string& line : linesOf (readFile (file ())))
			if (line.rfind (std::to_string (id) + "=", 0) == 0)
				return line;
		return "";
	}
	/** Sets id after `ms` more milliseconds. */
	void setAfter (int ms, ParamID id, double value)
	{
		now += ms * kMs;
		h.edit ()->setParamNormalized (id, value);
	}

	TempHome home;
	HostedController h;
	std::int64_t now = 5'000 * kMs;
	int clockReads = 0;
};

} // namespace

TEST_F (CurrentState, ChangesAreSavedAtMostEvery200Ms)
{
	EXPECT_FALSE (std::filesystem::exists (file ()));
	setAfter (0, 2003, 0.1);  // the first change: a full file at once
	const auto lines = linesOf (readFile (file ()));
	ASSERT_EQ (lines.size (), 315u);
	EXPECT_EQ (lines.front (), "# QuenrilEQ preset");
	EXPECT_EQ (saved (2003), "2003=0.1");
	setAfter (50, 2019, 0.2);
	setAfter (149, 2035, 0.3);  // 199 ms after the save
	EXPECT_EQ (saved (2019) + saved (2035), "2019=0.52035=0.5");
	setAfter (1, 2051, 0.4);  // 200 ms: saved, with everything since
	EXPECT_EQ (saved (2019) + saved (2035) + saved (2051), "2019=0.22035=0.32051=0.4");
	setAfter (150, 2067, 0.6);  // measured from the last save, not the first
	EXPECT_EQ (saved (2067), "2067=0.5");
	now += 10'000 * kMs;  // a skipped change is never written later on its own
	EXPECT_EQ (saved (2067), "2067=0.5");
	const int reads = clockReads;
	setAfter (0, 2013, 0.9);  // refused ids neither save nor read the clock
	EXPECT_EQ (clockReads, reads);
}

TEST_F (CurrentState, RestoringTheProcessorStateOrAPresetSavesAtOnceAndOnlyOnce)
{
	setAfter (0, 2003, 0.1);  // the throttle window starts now
	const int readsBefore = clockReads;
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (Bytes ().i32 (0x51455131).i32 (2).f32 (1.0f).f32 (0.0f).f32 (1.0f).f32 (0.0f).f32 (0.5f).f32 (0.25f).data)), kResultOk);
	EXPECT_EQ (clockReads, readsBefore) << "no throttled save per restored value";
	EXPECT_EQ (saved (1002) + saved (2003), "1002=12003=0.25");
	setAfter (200, 2004, 0.125);  // the forced save left the throttle window where it was
	EXPECT_EQ (saved (2004), "2004=0.125");
	QuenrilEQ::testing::writeFile (home.presets () + "/P.quenrileqpreset", "2003=0.9\n2004=0.2\n");
	ASSERT_TRUE (h.controller->loadPresetByName ("P"));
	EXPECT_EQ (saved (2003) + saved (2004), "2003=0.92004=0.2");
	std::filesystem::remove (file ());
	EXPECT_EQ (h.edit ()->setComponentState (streamOf (Bytes ().i32 (1).data)), kResultFalse);
	EXPECT_FALSE (std::filesystem::exists (file ())) << "a refused stream saves nothing";
}

TEST_F (CurrentState, RestoreBringsTheSavedValuesBackThroughTheHost)
{
	setAfter (0, 2003, 0.8);
	setAfter (10, 2003, 0.2);  // throttled: the file keeps 0.8
	h.handler->clear ();
	ASSERT_TRUE (h.controller->restoreCurrentState ());
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.8);
	// Every line goes to the host as a complete edit, in file order (plus two latency restarts).
	const auto calls = h.handler->calls ();
	ASSERT_EQ (calls.size (), 314u * 3 + 2);
	EXPECT_EQ (calls[0].kind, HandlerCall::Kind::RestartComponent);
	EXPECT_TRUE ((calls[1] == HandlerCall {HandlerCall::Kind::BeginEdit, 1002, 0, 0}));
	EXPECT_TRUE ((calls[2] == HandlerCall {HandlerCall::Kind::PerformEdit, 1002, 0, 0}));
	EXPECT_TRUE ((calls[3] == HandlerCall {HandlerCall::Kind::EndEdit, 1002, 0, 0}));
	EXPECT_TRUE ((calls.back () == HandlerCall {HandlerCall::Kind::EndEdit, 2380, 0, 0}));
	// A folder where the file should be: it exists but cannot be read.
	std::filesystem::remove (file ());
	std::filesystem::create_directories (file ());
	EXPECT_FALSE (h.controller->restoreCurrentState ());
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.8);
}

TEST (CurrentStateFiles, NoFileWithoutHomeOrWithABlockedFolder)
{
	{
		QuenrilEQ::testing::NoHome noHome;
		HostedController h;
		h.edit ()->setParamNormalized (2003, 0.75);
		EXPECT_FALSE (h.controller->restoreCurrentState ());
	}
	TempHome home;
	QuenrilEQ::testing::writeFile (home.path () + "/Documents", "a file where the folder should be");
	HostedController h;
	h.edit ()->setParamNormalized (2003, 0.75);
	EXPECT_FALSE (h.controller->restoreCurrentState ());
	EXPECT_EQ (readFile (home.path () + "/Documents"), "a file where the folder should be");
}

TEST (CurrentStateFiles, InstancesAreNumberedOnePerControllerInHexadecimal)
{
	TempHome home;
	std::vector<std::unique_ptr<HostedController>> controllers;
	// Until a number needs a hexadecimal letter (10 is "a").
	do
		controllers.push_back (std::make_unique<HostedController> ());
	while (controllers.size () < 2 || hex (controllers.back ()->controller->getInstanceNumber ()).find_first_of ("abcdef") == std::string::npos);
	std::set<std::string> names, expected;
	for (auto& c : controllers)
	{
		c->edit ()->setParamNormalized (2003, 0.25);
		expected.insert ("_current_state_" + hex (c->controller->getInstanceNumber ()) + ".quenrileqpreset");
	}
	EXPECT_EQ (controllers[1]->controller->getInstanceNumber (), controllers[0]->controller->getInstanceNumber () + 1);
	for (const auto& entry : std::filesystem::directory_iterator (home.state ()))
		names.insert (entry.path ().filename ().string ());
	EXPECT_EQ (names, expected);
	EXPECT_EQ (QuenrilEQ::currentStatePath (~std::uint64_t {0}), home.state () + "/_current_state_ffffffffffffffff.quenrileqpreset");

	// Controllers made on several threads at once still get distinct numbers.
	std::vector<std::uint64_t> numbers (64);
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back ([&numbers, t] {
			for (int i = 0; i < 16; ++i)
				numbers[t * 16 + i] = owned (new QuenrilEQ::QuenrilEQController ())->getInstanceNumber ();
		});
	for (auto& th : threads)
		th.join ();
	EXPECT_EQ (std::set<std::uint64_t> (numbers.begin (), numbers.end ()).size (), numbers.size ());
}
