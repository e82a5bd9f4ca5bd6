// The parameter list as a host reads it through IEditController: the table
// below is written out independently of the plug-in's own parameter table.
#include "controller_test_support.h"

#include "text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::TempHome;

namespace {

struct Expected
{
	const char* field;
	const char* units;  // nullptr: a list, which has no units
	int32 stepCount;
	double defaultNormalized;
	std::vector<std::string> entries;
};

const std::vector<Expected>& bandFields ()
{
	static const std::vector<Expected> fields {
	    {"Enabled", "", 1, 0.0, {}},
	    {"Shape", nullptr, 8, 0.0,
	     {"Bell", "Low Shelf", "High Shelf", "Low Cut", "High Cut", "Notch", "Band Pass", "Tilt Shelf", "Allpass"}},
	    {"Freq", "Hz", 0, 0.558615798817058, {}},
	    {"Gain", "dB", 0, 0.5, {}},
	    {"Q", "", 0, 0.4530040738117794, {}},
	    {"Slope", nullptr, 4, 0.0, {"6 dB/oct", "12 dB/oct", "24 dB/oct", "48 dB/oct", "96 dB/oct"}},
	    {"Channel", nullptr, 4, 0.0, {"Stereo", "Left", "Right", "Mid", "Side"}},
	    {"Dynamics Enabled", "", 1, 0.0, {}},
	    {"Threshold", "dB", 0, 0.7, {}},
	    {"Ratio", ":1", 0, 0.05263157894736842, {}},
	    {"Attack", "ms", 0, 0.3705117131325855, {}},
	    {"Release", "ms", 0, 0.5111151359486344, {}},
	    {"Sidechain Source", nullptr, 1, 0.0, {"Internal", "External"}},
	};
	return fields;
}

std::string text (IEditController* edit, ParamID id, ParamValue v)
{
	String128 s {};
	if (edit->getParamStringByValue (id, v, s) != kResultOk)
		return "<refused>";
	return QuenrilEQ::host::toUtf8 (s);
}

bool allZero (const String128 s)
{
	for (int i = 0; i < 128; ++i)
		if (s[i] != 0)
			return false;
	return true;
}

} // namespace

TEST (ParameterList, HostSeesAll314InOrderWithTitlesUnitsStepsFlagsAndExactDefaults)
{
	HostedController h;
	IEditController* edit = h.edit ();
	ASSERT_EQ (edit->getParameterCount (), 314);

	auto check = [&] (int32 index, ParamID id, const std::string& title, const char* units, int32 steps,
	                  double def) {
		SCOPED_TRACE (title);
		ParameterInfo info {};
		ASSERT_EQ (edit->getParameterInfo (index, info), kResultOk);
		EXPECT_EQ (info.id, id);
		EXPECT_EQ (QuenrilEQ::host::toUtf8 (info.title), title);
		EXPECT_TRUE (allZero (info.shortTitle));
		EXPECT_EQ (QuenrilEQ::host::toUtf8 (info.units), units ? units : "");
		EXPECT_EQ (info.stepCount, steps);
		EXPECT_EQ (info.defaultNormalizedValue, def);  // exact doubles
		EXPECT_EQ (info.unitId, 0);
		EXPECT_EQ (info.flags, units ? ParameterInfo::kCanAutomate
		                             : (ParameterInfo::kCanAutomate | ParameterInfo::kIsList));
		// A fresh controller holds the defaults.
		EXPECT_EQ (edit->getParamNormalized (id), def);
	};

	check (0, 1002, "Phase Mode", nullptr, 1, 0.0);
	check (1, 1003, "Linear Latency", nullptr, 3, 0.0);
	for (int band = 0; band < 24; ++band)
		for (int k = 0; k < 13; ++k)
		{
			const Expected& f = bandFields ()[static_cast<size_t> (k)];
			check (2 + 13 * band + k, static_cast<ParamID> (2000 + 16 * band + k),
			       "Band " + std::to_string (band + 1) + " " + f.field, f.units, f.stepCount, f.defaultNormalized);
		}
	ParameterInfo last {};
	ASSERT_EQ (edit->getParameterInfo (313, last), kResultOk);
	EXPECT_EQ (last.id, 2380u);
}

TEST (ParameterList, ValueTextsAsTheHostShowsThem)
{
	HostedController h;
	IEditController* edit = h.edit ();
	// Continuous: the normalised value with four decimals.
	EXPECT_EQ (text (edit, 2003, 0.5), "0.5000");
	EXPECT_EQ (text (edit, 2002, 0.558615798817058), "0.5586");
	EXPECT_EQ (text (edit, 2380 - 1, 1.0), "1.0000");  // band 24 release
	EXPECT_EQ (text (edit, 2004, 0.0), "0.0000");
	// Toggles: "On" only above one half.
	EXPECT_EQ (text (edit, 2000, 0.5), "Off");
	EXPECT_EQ (text (edit, 2000, 0.5000001), "On");
	EXPECT_EQ (text (edit, 2007, 0.0), "Off");
	EXPECT_EQ (text (edit, 2007, 1.0), "On");
	// Lists: every entry at n / steps.
	EXPECT_EQ (text (edit, 1002, 0.0), "Natural");
	EXPECT_EQ (text (edit, 1002, 1.0), "Linear");
	const std::vector<std::string> latency {"Low", "Medium", "High", "Max"};
	for (int n = 0; n < 4; ++n)
		EXPECT_EQ (text (edit, 1003, n / 3.0), latency[static_cast<size_t> (n)]);
	for (int k : {1, 5, 6, 12})
	{
		const Expected& f = bandFields ()[static_cast<size_t> (k)];
		for (int n = 0; n <= f.stepCount; ++n)
			EXPECT_EQ (text (edit, static_cast<ParamID> (2000 + 16 * 23 + k), static_cast<double> (n) / f.stepCount),
			           f.entries[static_cast<size_t> (n)])
			    << f.field << " entry " << n;
	}
	// The plain value of a list is its index; of anything else, the normalised value.
	EXPECT_EQ (edit->normalizedParamToPlain (2001, 0.5), 4.0);
	EXPECT_EQ (edit->normalizedParamToPlain (2003, 0.25), 0.25);
	// Text back to value.
	String128 high {};
	const char16 highText[] = u"High Cut";
	std::copy (std::begin (highText), std::end (highText), high);
	ParamValue v = -1;
	ASSERT_EQ (edit->getParamValueByString (2001, high, v), kResultOk);
	EXPECT_EQ (v, 0.5);
}

TEST (ParameterList, BadIdsAreRejectedAndWildValuesStaySafe)
{
	TempHome home;
	HostedController h;
	IEditController* edit = h.edit ();
	for (ParamID id : {0u, 1001u, 1004u, 1999u, 2013u, 2014u, 2015u, 2381u, 2384u, 0xFFFFFFFFu})
	{
		SCOPED_TRACE (id);
		String128 s {};
		EXPECT_NE (edit->getParamStringByValue (id, 0.5, s), kResultOk);
		EXPECT_NE (edit->setParamNormalized (id, 0.5), kResultOk);
	}
	ParameterInfo info {};
	EXPECT_NE (edit->getParameterInfo (314, info), kResultOk);
	EXPECT_NE (edit->getParameterInfo (-1, info), kResultOk);
	EXPECT_TRUE (h.handler->calls ().empty ()) << "a refused id must not reach the host";

	// Out-of-range values a host might ask about: texts of the nearest end.
	const double nan = std::numeric_limits<double>::quiet_NaN ();
	EXPECT_EQ (text (edit, 1003, -0.5), "Low");
	EXPECT_EQ (text (edit, 1003, 7.0), "Max");
	EXPECT_EQ (text (edit, 2001, nan), "Bell");
	EXPECT_EQ (text (edit, 2003, 1e300), "1.0000");
	EXPECT_EQ (text (edit, 2003, -1e300), "0.0000");

	// Stored values are clamped; a NaN is stored as 0.
	EXPECT_EQ (edit->setParamNormalized (2003, 1.5), kResultOk);
	EXPECT_EQ (edit->getParamNormalized (2003), 1.0);
	EXPECT_EQ (edit->setParamNormalized (2003, -2.0), kResultOk);
	EXPECT_EQ (edit->getParamNormalized (2003), 0.0);
	EXPECT_EQ (edit->setParamNormalized (2004, nan), kResultOk);
	EXPECT_EQ (edit->getParamNormalized (2004), 0.0);
}
