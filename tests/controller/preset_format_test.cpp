// The preset text: the exact file a default controller writes, and the
// reader's rules for hand-edited files, driven through the controller as the
// page drives it (loadPresetByName) with the host recording the edits.
#include "controller_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::host::HandlerCall;
using QuenrilEQ::testing::callsOfKind;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::linesOf;
using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::TempHome;
using QuenrilEQ::testing::writeFile;

namespace {
/** The C "%g" text of a value, as an independent reference for the writer. */
std::string percentG (double v)
{
	char buffer[64];
	std::snprintf (buffer, sizeof (buffer), "%g", v);
	return buffer;
}

class PresetText : public ::testing::Test
{
protected:
	/** Loads text as preset "t" and returns the host's performEdit calls. */
	std::vector<HandlerCall> load (const std::string& text)
	{
		writeFile (home.presets () + "/t.quenrileqpreset", text);
		h.handler->clear ();
		EXPECT_TRUE (h.controller->loadPresetByName ("t"));
		return callsOfKind (*h.handler, HandlerCall::Kind::PerformEdit);
	}

	TempHome home;
	HostedController h;
};
} // namespace

TEST_F (PresetText, DefaultFileIsExactly315Lines)
{
	ASSERT_TRUE (h.controller->savePresetByName ("Default"));
	const std::string text = readFile (home.presets () + "/Default.quenrileqpreset");
	ASSERT_FALSE (text.empty ());
	EXPECT_EQ (text.back (), '\n');
	EXPECT_EQ (text.find ('\r'), std::string::npos);

	const char* bandDefaults[13] = {"0", "0", "0.558616", "0.5", "0.453004", "0", "0",
	                                "0", "0.7", "0.0526316", "0.370512", "0.511115", "0"};
	std::string expected = "# QuenrilEQ preset\n1002=0\n1003=0\n";
	for (int band = 0; band < 24; ++band)
		for (int k = 0; k < 13; ++k)
			expected += std::to_string (2000 + 16 * band + k) + "=" + bandDefaults[k] + "\n";
	EXPECT_EQ (text, expected);
	EXPECT_EQ (linesOf (text).size (), 315u);
}

TEST_F (PresetText, ValuesAreWrittenAsPercentGWhateverTheLocale)
{
	const double values[] = {0.00001, 0.000123456789, 0.1, 1.0 / 3.0, 0.999999, 0.9999996, 1.0, 0.0};
	const ParamID ids[] = {2002, 2003, 2004, 2008, 2009, 2010, 2011, 2018};
	for (size_t i = 0; i < 8; ++i)
		h.edit ()->setParamNormalized (ids[i], values[i]);
	// A host may switch the process to a decimal comma.
	const char* previous = std::setlocale (LC_NUMERIC, nullptr);
	const std::string saved = previous ? previous : "C";
	const bool comma = std::setlocale (LC_NUMERIC, "de_DE.UTF-8") != nullptr;
	ASSERT_TRUE (h.controller->savePresetByName ("g"));
	std::setlocale (LC_NUMERIC, "C");
	const auto lines = linesOf (readFile (home.presets () + "/g.quenrileqpreset"));
	for (size_t i = 0; i < 8; ++i)
		EXPECT_EQ (lines[static_cast<size_t> ((ids[i] - 2000) / 16 * 13 + (ids[i] - 2000) % 16 + 3)],
		           std::to_string (ids[i]) + "=" + percentG (values[i]));
	EXPECT_EQ (percentG (0.00001), "1e-05");
	if (comma)  // reading in that locale too
	{
		std::setlocale (LC_NUMERIC, "de_DE.UTF-8");
		load ("2003=0.25\n");
		EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.25);
	}
	std::setlocale (LC_NUMERIC, saved.c_str ());
}

TEST_F (PresetText, ReaderSkipsCommentsAndLinesWithoutEqualsAndParsesLikeStrtod)
{
	const auto edits = load (
	    "# anything\n"
	    "\n"
	    "no equals sign\n"
	    "2003=0.75abc\n"
	    "2004=\r\n"    // no number: 0
	    "2008=0.125\r\n"  // CR line end
	    " 2009=+0.25\n"   // strtoul and strtod skip leading blanks
	    "2010=1e-1\n"
	    "2011=0x1p-2\n"   // strtod reads hexadecimal floats
	    "=0.5\n"          // id 0: not a parameter, still told to the host
	    "junk=0.5\n"
	    "2019=nan\n"
	    "\r\n"
	    "#2002=1\n"
	    "2020=0.375");   // last line without a line end
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.75);
	EXPECT_EQ (h.edit ()->getParamNormalized (2004), 0.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (2008), 0.125);
	EXPECT_EQ (h.edit ()->getParamNormalized (2009), 0.25);
	EXPECT_EQ (h.edit ()->getParamNormalized (2010), 0.1);
	EXPECT_EQ (h.edit ()->getParamNormalized (2011), 0.25);
	EXPECT_EQ (h.edit ()->getParamNormalized (2019), 0.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (2020), 0.375);
	EXPECT_EQ (h.edit ()->getParamNormalized (2002), 0.558615798817058) << "commented line applied";

	const std::vector<std::pair<ParamID, double>> expected {
	    {2003, 0.75}, {2004, 0.0}, {2008, 0.125}, {2009, 0.25}, {2010, 0.1},
	    {2011, 0.25}, {0, 0.5},    {0, 0.5},      {2019, 0.0},  {2020, 0.375}};
	ASSERT_EQ (edits.size (), expected.size ());
	for (size_t i = 0; i < edits.size (); ++i)
	{
		EXPECT_EQ (edits[i].id, expected[i].first) << i;
		EXPECT_EQ (edits[i].value, expected[i].second) << i;
	}
	// Every line is a complete gesture: begin, perform, end.
	const auto all = h.handler->calls ();
	size_t begins = 0, ends = 0;
	for (const auto& c : all)
		begins += c.kind == HandlerCall::Kind::BeginEdit, ends += c.kind == HandlerCall::Kind::EndEdit;
	EXPECT_EQ (begins, expected.size ());
	EXPECT_EQ (ends, expected.size ());
}

TEST_F (PresetText, RepeatsTakeTheLastValueAndOutOfRangeIsClampedHereButRawForTheHost)
{
	const auto edits = load ("2003=0.1\n2002=1.5\n2003=0.9\n2005=-3\n4294967297=0.5\n1002=0.5\n");
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.9);
	EXPECT_EQ (h.edit ()->getParamNormalized (2002), 1.0);
	EXPECT_EQ (h.edit ()->getParamNormalized (2005), 0.0);
	ASSERT_EQ (edits.size (), 6u);
	EXPECT_EQ (edits[1].value, 1.5);
	EXPECT_EQ (edits[3].value, -3.0);
	EXPECT_EQ (edits[4].id, 1u) << "ids are cut to 32 bits";
	// Untouched parameters keep their values; 1002 asked for the latency.
	EXPECT_EQ (h.edit ()->getParamNormalized (2004), 0.4530040738117794);
	EXPECT_EQ (h.handler->restartCount (kLatencyChanged), 1u);
}

TEST_F (PresetText, EmptyAndHeaderOnlyFilesChangeNothingButStillSave)
{
	h.edit ()->setParamNormalized (2003, 0.3);
	EXPECT_TRUE (load ("").empty ());
	EXPECT_TRUE (load ("# QuenrilEQ preset\n").empty ());
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.3);
	const std::string state = home.state () + "/_current_state_";
	std::ostringstream name;
	name << state << std::hex << h.controller->getInstanceNumber () << ".quenrileqpreset";
	EXPECT_NE (readFile (name.str ()).find ("\n2003=0.3\n"), std::string::npos);
}

TEST_F (PresetText, SaveAndLoadRoundTripToSixDigits)
{
	for (ParamID id : {2002u, 2003u, 2100u, 2380u})
		h.edit ()->setParamNormalized (id, std::sqrt (static_cast<double> (id % 97) / 97.0));
	ASSERT_TRUE (h.controller->savePresetByName ("r"));
	HostedController other;
	ASSERT_TRUE (other.controller->loadPresetByName ("r"));
	for (ParamID id : {2002u, 2003u, 2100u, 2380u})
		EXPECT_NEAR (other.edit ()->getParamNormalized (id), h.edit ()->getParamNormalized (id), 5e-7) << id;
	EXPECT_EQ (other.edit ()->getParamNormalized (2004), 0.453004);
}
