// The preset text: the file a controller writes, and the reader's rules for
// hand-edited files, driven through the controller as the page drives it
// (loadPresetByName) with the host recording the edits.
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::readFile;

namespace {

/** The C "%g" text of a value: the reference for the writer. */
std::string percentG (double v)
{
	char buffer[64];
	std::snprintf (buffer, sizeof (buffer), "%g", v);
	return buffer;
}

class PresetText : public ::testing::Test
{
protected:
	/** Loads text as preset "t"; returns the host's edits as (id, value), checking each is a complete gesture. */
	std::vector<std::pair<ParamID, double>> load (const std::string& text)
	{
		QuenrilEQ::testing::writeFile (home.presets () + "/t.quenrileqpreset", text);
		h.handler->clear ();
		EXPECT_TRUE (h.controller->loadPresetByName ("t"));
		std::vector<std::pair<ParamID, double>> edits;
		std::vector<HandlerCall> calls;
		for (const HandlerCall& c : h.handler->calls ())
			if (c.kind != HandlerCall::Kind::RestartComponent)
				calls.push_back (c);
		EXPECT_EQ (calls.size () % 3, 0u);
		for (size_t i = 0; i + 2 < calls.size (); i += 3)
		{
			EXPECT_TRUE (calls[i].kind == HandlerCall::Kind::BeginEdit && calls[i + 1].kind == HandlerCall::Kind::PerformEdit &&
			             calls[i + 2].kind == HandlerCall::Kind::EndEdit && calls[i].id == calls[i + 1].id && calls[i].id == calls[i + 2].id);
			edits.emplace_back (calls[i + 1].id, calls[i + 1].value);
		}
		return edits;
	}
	double value (ParamID id) { return h.edit ()->getParamNormalized (id); }

	QuenrilEQ::testing::TempHome home;
	HostedController h;
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
	for (ParamID id : QuenrilEQ::allParameterIds ())
		expected += std::to_string (id) + "=" + percentG (value (id)) + "\n";
	EXPECT_EQ (readFile (home.presets () + "/g.quenrileqpreset"), expected);
	EXPECT_NE (expected.find ("\n2002=1e-05\n2003=0.000123457\n"), std::string::npos);
	if (comma)  // reading in that locale too
	{
		load ("2003=0.25\n");
		EXPECT_EQ (value (2003), 0.25);
	}
	std::setlocale (LC_NUMERIC, previous.c_str ());

	// Another controller reads the file back to six digits.
	HostedController other;
	ASSERT_TRUE (other.controller->loadPresetByName ("g"));
	for (ParamID id : {2003u, 2008u, 2009u, 2010u})
		EXPECT_NEAR (other.edit ()->getParamNormalized (id), value (id), 5e-7) << id;
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
	const std::vector<std::pair<ParamID, double>> expected {{2003, 0.75}, {2004, 0.0}, {2008, 0.125}, {2009, 0.25}, {2010, 0.1},
	                                                        {2011, 0.25}, {0, 0.5},    {0, 0.5},      {2019, 0.0},  {2020, 0.375}};
	EXPECT_EQ (edits, expected);
	for (const auto& [id, v] : expected)
		EXPECT_TRUE (id == 0 || value (id) == v) << id;
	EXPECT_EQ (value (2002), 0.558615798817058) << "commented line applied";
}

TEST_F (PresetText, RepeatsTakeTheLastValueOutOfRangeIsClampedHereButRawForTheHost)
{
	const auto edits = load ("2003=0.1\n2002=1.5\n2003=0.9\n2005=-3\n4294967297=0.5\n1002=0.5\n");
	EXPECT_EQ (value (2003), 0.9);
	EXPECT_EQ (value (2002), 1.0);
	EXPECT_EQ (value (2005), 0.0);
	ASSERT_EQ (edits.size (), 6u);
	EXPECT_EQ (edits[1].second, 1.5);
	EXPECT_EQ (edits[3].second, -3.0);
	EXPECT_EQ (edits[4].first, 1u) << "ids are cut to 32 bits";
	EXPECT_EQ (value (2004), 0.4530040738117794) << "untouched parameters keep their values";
	EXPECT_EQ (h.handler->restartCount (kLatencyChanged), 1u);
	// Empty and header-only files change nothing.
	EXPECT_TRUE (load ("").empty ());
	EXPECT_TRUE (load ("# QuenrilEQ preset\n").empty ());
	EXPECT_EQ (value (2003), 0.9);
}
