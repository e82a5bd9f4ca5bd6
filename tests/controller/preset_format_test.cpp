// The preset text: the file a controller writes, and the reader's rules for
// hand-edited files, driven through the controller as the page drives it
// (loadPresetByName) with the host recording the edits.
#include "controller_fixture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::HostedController;

namespace {

using Edits = std::vector<std::pair<ParamID, double>>;

class PresetText : public QuenrilEQ::testing::ControllerTest
{
protected:
	// Loads text as preset "t"; returns the host's edits, checking each is a complete gesture.
	Edits load (const std::string& text)
	{
		QuenrilEQ::testing::writeFile (home.presets () + "/t.quenrileqpreset", text);
		h.handler->clear ();
		EXPECT_TRUE (h.controller->loadPresetByName ("t"));
		std::vector<HandlerCall> calls;
		for (const HandlerCall& c : h.handler->calls ())
			if (c.kind != HandlerCall::Kind::RestartComponent)
				calls.push_back (c);
		EXPECT_EQ (calls.size () % 3, 0u);
		Edits edits;
		for (size_t i = 0; i + 2 < calls.size (); i += 3)
		{
			const HandlerCall& perform = calls[i + 1];
			EXPECT_EQ (calls[i], (HandlerCall {HandlerCall::Kind::BeginEdit, perform.id, 0, 0}));
			EXPECT_EQ (calls[i + 2], (HandlerCall {HandlerCall::Kind::EndEdit, perform.id, 0, 0}));
			edits.emplace_back (perform.id, perform.value);
		}
		return edits;
	}
	double value (ParamID id) { return h.edit ()->getParamNormalized (id); }

};

} // namespace

TEST_F (PresetText, FilesHoldEveryParameterInOrderAsPercentGWhateverTheLocale)
{
	const double values[] = {0.00001, 0.000123456789, 0.1, 1.0 / 3.0, 0.999999, 0.9999996, 1.0, 0.0};
	const ParamID ids[] = {2002, 2003, 2004, 2008, 2009, 2010, 2011, 2018};
	for (size_t i = 0; i < 8; ++i)
		h.edit ()->setParamNormalized (ids[i], values[i]);
	// A host may switch the process to a decimal comma.
	const std::string previous = std::setlocale (LC_NUMERIC, nullptr);
	const bool comma = std::setlocale (LC_NUMERIC, "de_DE.UTF-8") != nullptr;
	ASSERT_TRUE (h.controller->savePresetByName ("g"));
	std::string expected = "# QuenrilEQ preset\n";
	char number[64];
	for (ParamID id : QuenrilEQ::allParameterIds ())
		std::snprintf (number, sizeof number, "%g", value (id)), expected += std::to_string (id) + "=" + number + "\n";
	EXPECT_EQ (QuenrilEQ::testing::readFile (home.presets () + "/g.quenrileqpreset"), expected);
	EXPECT_NE (expected.find ("\n2002=1e-05\n2003=0.000123457\n"), std::string::npos);
	if (comma)  // reading in that locale too
	{
		EXPECT_EQ (load ("2003=0.25\n"), (Edits {{2003, 0.25}}));
	}
	std::setlocale (LC_NUMERIC, previous.c_str ());
}

TEST_F (PresetText, ReaderSkipsCommentsAndLinesWithoutEqualsAndParsesLikeStrtod)
{
	const auto edits = load (
	    "# anything\n"
	    "\n"
	    "no equals sign\n"
	    "2003=0.75abc\n"
	    "2004=\r\n"       // no number: 0
	    "2008=0.125\r\n"  // CR line end
	    " 2009=+0.25\n"   // strtoul and strtod skip leading blanks
	    "2010=1e-1\n"
	    "2011=0x1p-2\n"   // strtod reads hexadecimal floats
	    "=0.5\n"          // id 0: not a parameter, still told to the host
	    "junk=0.5\n"
	    "2019=nan\n"
	    "#2002=1\n"
	    "2020=0.375");    // last line without a line end
	const Edits expected {{2003, 0.75}, {2004, 0.0}, {2008, 0.125}, {2009, 0.25}, {2010, 0.1},
	                      {2011, 0.25}, {0, 0.5},    {0, 0.5},      {2019, 0.0},  {2020, 0.375}};
	EXPECT_EQ (edits, expected);
	for (const auto& [id, v] : expected)
		EXPECT_TRUE (id == 0 || value (id) == v) << id;
	EXPECT_EQ (value (2002), 0.558615798817058) << "commented line applied";
}

TEST_F (PresetText, RepeatsTakeTheLastValueOutOfRangeIsClampedHereButRawForTheHost)
{
	EXPECT_EQ (load ("2003=0.1\n2002=1.5\n2003=0.9\n2005=-3\n4294967297=0.5\n1002=0.5\n"),
	           (Edits {{2003, 0.1}, {2002, 1.5}, {2003, 0.9}, {2005, -3.0}, {1, 0.5}, {1002, 0.5}}));  // ids cut to 32 bits
	EXPECT_EQ (value (2003), 0.9);
	EXPECT_EQ (value (2002), 1.0);
	EXPECT_EQ (value (2005), 0.0);
	EXPECT_EQ (value (2004), 0.4530040738117794) << "untouched parameters keep their values";
	EXPECT_EQ (h.handler->restartCount (kLatencyChanged), 1u);
	// Empty and header-only files change nothing.
	EXPECT_TRUE (load ("").empty ());
	EXPECT_TRUE (load ("# QuenrilEQ preset\n").empty ());
	EXPECT_EQ (value (2003), 0.9);
}
