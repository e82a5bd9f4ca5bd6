// The per-instance current-state file: when it is written (throttle with an
// injected clock, forced saves) and where (instance numbers in hexadecimal).
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::Bytes;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::linesOf;
using QuenrilEQ::testing::NoHome;
using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::streamOf;
using QuenrilEQ::testing::TempHome;
using QuenrilEQ::testing::writeFile;

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
	void SetUp () override
	{
		h.controller->setClock ([this] {
			++clockReads;
			return now;
		});
	}
	std::string file () const
	{
		return home.state () + "/_current_state_" + hex (h.controller->getInstanceNumber ()) + ".quenrileqpreset";
	}
	/** The value line of id in the file, or "" when there is no file. */
	std::string savedLine (ParamID id) const
	{
		const std::string prefix = std::to_string (id) + "=";
		for (const std::string& line : linesOf (readFile (file ())))
			if (line.compare (0, prefix.size (), prefix) == 0)
				return line;
		return "";
	}

	TempHome home;
	HostedController h;
	std::int64_t now = 5'000 * kMs;
	int clockReads = 0;
};
} // namespace

TEST_F (CurrentState, FirstChangeWritesAFullFile)
{
	EXPECT_FALSE (std::filesystem::exists (file ()));
	h.edit ()->setParamNormalized (2003, 0.75);
	ASSERT_TRUE (std::filesystem::exists (file ()));
	const auto lines = linesOf (readFile (file ()));
	EXPECT_EQ (lines.size (), 315u);
	EXPECT_EQ (lines.front (), "# QuenrilEQ preset");
	EXPECT_EQ (savedLine (2003), "2003=0.75");
}

TEST_F (CurrentState, ChangesWithin200MsOfTheLastSaveAreNotWritten)
{
	h.edit ()->setParamNormalized (2003, 0.1);  // saved at 5000 ms
	now += 50 * kMs;
	h.edit ()->setParamNormalized (2019, 0.2);
	EXPECT_EQ (savedLine (2019), "2019=0.5");
	now += 149 * kMs;
	h.edit ()->setParamNormalized (2035, 0.3);  // 199 ms after the save
	EXPECT_EQ (savedLine (2035), "2035=0.5");
	now += 1 * kMs;
	h.edit ()->setParamNormalized (2051, 0.4);  // 200 ms: saved, with everything since
	EXPECT_EQ (savedLine (2019), "2019=0.2");
	EXPECT_EQ (savedLine (2035), "2035=0.3");
	EXPECT_EQ (savedLine (2051), "2051=0.4");
	now += 150 * kMs;
	h.edit ()->setParamNormalized (2067, 0.6);  // measured from the last save, not the first
	EXPECT_EQ (savedLine (2067), "2067=0.5");
	// A skipped change is never written later on its own.
	now += 10'000 * kMs;
	EXPECT_EQ (savedLine (2067), "2067=0.5");
	h.edit ()->setParamNormalized (2067, 0.6);
	EXPECT_EQ (savedLine (2067), "2067=0.6");
	// Refused ids neither save nor read the clock.
	const int reads = clockReads;
	now += 10'000 * kMs;
	h.edit ()->setParamNormalized (2013, 0.9);
	EXPECT_EQ (clockReads, reads);
}

TEST_F (CurrentState, AProcessorStateRestoreIsSavedAtOnceAndOnlyOnce)
{
	h.edit ()->setParamNormalized (2003, 0.1);  // throttle window starts now
	const int readsBefore = clockReads;
	auto bytes = Bytes ().i32 (0x51455131).i32 (2).f32 (1.0f).f32 (0.0f).f32 (1.0f).f32 (0.0f).f32 (0.5f).f32 (0.25f).data;
	ASSERT_EQ (h.edit ()->setComponentState (streamOf (bytes)), kResultOk);
	EXPECT_EQ (clockReads, readsBefore) << "no throttled save per restored value";
	EXPECT_EQ (savedLine (1002), "1002=1");
	EXPECT_EQ (savedLine (2003), "2003=0.25");

	// The forced save leaves the throttle window where it was.
	now += 200 * kMs;
	h.edit ()->setParamNormalized (2004, 0.125);
	EXPECT_EQ (savedLine (2004), "2004=0.125");

	// A refused stream saves nothing.
	std::filesystem::remove (file ());
	EXPECT_EQ (h.edit ()->setComponentState (streamOf (Bytes ().i32 (1).data)), kResultFalse);
	EXPECT_FALSE (std::filesystem::exists (file ()));
}

TEST_F (CurrentState, LoadingAPresetIsSavedAtOnce)
{
	h.edit ()->setParamNormalized (2003, 0.1);  // throttle window starts now
	writeFile (home.presets () + "/P.quenrileqpreset", "2003=0.9\n2004=0.2\n");
	ASSERT_TRUE (h.controller->loadPresetByName ("P"));
	EXPECT_EQ (savedLine (2003), "2003=0.9");
	EXPECT_EQ (savedLine (2004), "2004=0.2");
}

TEST_F (CurrentState, RestoreBringsTheSavedValuesBackThroughTheHost)
{
	h.edit ()->setParamNormalized (2003, 0.8);
	now += 10 * kMs;
	h.edit ()->setParamNormalized (2003, 0.2);  // throttled: the file keeps 0.8
	h.handler->clear ();
	ASSERT_TRUE (h.controller->restoreCurrentState ());
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.8);
	// Every line goes to the host as a complete edit, in file order.
	const auto calls = h.handler->calls ();
	ASSERT_EQ (calls.size (), 314u * 3 + 2);  // plus the two latency restarts
	EXPECT_EQ (calls[0].kind, HandlerCall::Kind::RestartComponent);
	EXPECT_EQ ((calls[1] == HandlerCall {HandlerCall::Kind::BeginEdit, 1002, 0, 0}), true);
	EXPECT_EQ ((calls[2] == HandlerCall {HandlerCall::Kind::PerformEdit, 1002, 0, 0}), true);
	EXPECT_EQ ((calls[3] == HandlerCall {HandlerCall::Kind::EndEdit, 1002, 0, 0}), true);
	EXPECT_EQ ((calls.back () == HandlerCall {HandlerCall::Kind::EndEdit, 2380, 0, 0}), true);

	// A folder where the file should be: the file exists but cannot be read.
	std::filesystem::remove (file ());
	std::filesystem::create_directories (file ());
	h.edit ()->setParamNormalized (2003, 0.2);
	EXPECT_FALSE (h.controller->restoreCurrentState ());
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.2);
}

TEST (CurrentStateFiles, NoFileWithoutHomeOrWithABlockedFolder)
{
	{
		NoHome noHome;
		HostedController h;
		h.edit ()->setParamNormalized (2003, 0.75);
		h.edit ()->setComponentState (streamOf (Bytes ().i32 (0x51455131).i32 (2).f32 (1.0f).data));
		EXPECT_FALSE (h.controller->restoreCurrentState ());
		EXPECT_EQ (h.edit ()->getParamNormalized (1002), 1.0);
	}
	TempHome home;
	writeFile (home.path () + "/Documents", "a file where the folder should be");
	HostedController h;
	h.edit ()->setParamNormalized (2003, 0.75);
	EXPECT_FALSE (h.controller->restoreCurrentState ());
	EXPECT_EQ (readFile (home.path () + "/Documents"), "a file where the folder should be");
}

TEST (CurrentStateFiles, InstancesAreNumberedOnePerControllerInHexadecimal)
{
	TempHome home;
	std::vector<std::unique_ptr<HostedController>> controllers;
	controllers.push_back (std::make_unique<HostedController> ());
	controllers.push_back (std::make_unique<HostedController> ());
	EXPECT_EQ (controllers[1]->controller->getInstanceNumber (), controllers[0]->controller->getInstanceNumber () + 1);
	// Go on until a number needs a hexadecimal letter (10 is "a").
	while (hex (controllers.back ()->controller->getInstanceNumber ()).find_first_of ("abcdef") == std::string::npos)
		controllers.push_back (std::make_unique<HostedController> ());
	for (auto& c : controllers)
		c->edit ()->setParamNormalized (2003, 0.25);

	std::set<std::string> names;
	for (const auto& entry : std::filesystem::directory_iterator (home.state ()))
		names.insert (entry.path ().filename ().string ());
	std::set<std::string> expected;
	for (auto& c : controllers)
		expected.insert ("_current_state_" + hex (c->controller->getInstanceNumber ()) + ".quenrileqpreset");
	EXPECT_EQ (names, expected);
	EXPECT_EQ (QuenrilEQ::currentStatePath (26), home.state () + "/_current_state_1a.quenrileqpreset");
	EXPECT_EQ (QuenrilEQ::currentStatePath (~std::uint64_t {0}),
	           home.state () + "/_current_state_ffffffffffffffff.quenrileqpreset");

	// Controllers made on several threads at once still get distinct numbers.
	std::vector<std::uint64_t> numbers (64);
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back ([&numbers, t] {
			for (int i = 0; i < 16; ++i)
				numbers[static_cast<size_t> (t * 16 + i)] =
				    owned (new QuenrilEQ::QuenrilEQController ())->getInstanceNumber ();
		});
	for (auto& th : threads)
		th.join ();
	EXPECT_EQ (std::set<std::uint64_t> (numbers.begin (), numbers.end ()).size (), numbers.size ());
}
