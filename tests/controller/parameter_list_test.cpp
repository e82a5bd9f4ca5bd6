// The parameters as a host reads and sets them through IEditController,
// against a table written out here independently of the plug-in's own.
#include "controller_fixture.h"

#include "text.h"

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;
using QuenrilEQ::testing::HostedController;

namespace {

struct Expected
{
	const char* field;
	const char* units;  // nullptr: a list, which has no units
	int32 stepCount;
	double defaultNormalized;
	std::vector<std::string> entries;
};

const std::vector<Expected> kBandFields {
    {"Enabled", "", 1, 0.0, {"Off", "On"}},
    {"Shape", nullptr, 8, 0.0, {"Bell", "Low Shelf", "High Shelf", "Low Cut", "High Cut", "Notch", "Band Pass", "Tilt Shelf", "Allpass"}},
    {"Freq", "Hz", 0, 0.558615798817058, {}},
    {"Gain", "dB", 0, 0.5, {}},
    {"Q", "", 0, 0.4530040738117794, {}},
    {"Slope", nullptr, 4, 0.0, {"6 dB/oct", "12 dB/oct", "24 dB/oct", "48 dB/oct", "96 dB/oct"}},
    {"Channel", nullptr, 4, 0.0, {"Stereo", "Left", "Right", "Mid", "Side"}},
    {"Dynamics Enabled", "", 1, 0.0, {"Off", "On"}},
    {"Threshold", "dB", 0, 0.7, {}},
    {"Ratio", ":1", 0, 0.05263157894736842, {}},
    {"Attack", "ms", 0, 0.3705117131325855, {}},
    {"Release", "ms", 0, 0.5111151359486344, {}},
    {"Sidechain Source", nullptr, 1, 0.0, {"Internal", "External"}},
};

std::string text (IEditController* edit, ParamID id, ParamValue v)
{
	String128 s {};
	return edit->getParamStringByValue (id, v, s) == kResultOk ? QuenrilEQ::host::toUtf8 (s) : "<refused>";
}

} // namespace

TEST (ParameterList, HostSeesAll314InOrderWithTitlesUnitsStepsTextsAndExactDefaults)
{
	HostedController h;
	IEditController* edit = h.edit ();
	ASSERT_EQ (edit->getParameterCount (), 314);
	auto check = [&] (int32 index, ParamID id, const std::string& title, const Expected& f) {
		SCOPED_TRACE (title);
		ParameterInfo info {};
		ASSERT_EQ (edit->getParameterInfo (index, info), kResultOk);
		EXPECT_EQ (info.id, id);
		EXPECT_EQ (QuenrilEQ::host::toUtf8 (info.title), title);
		EXPECT_EQ (QuenrilEQ::host::toUtf8 (info.units), f.units ? f.units : "");
		EXPECT_EQ (info.stepCount, f.stepCount);
		EXPECT_EQ (info.defaultNormalizedValue, f.defaultNormalized);  // exact doubles
		EXPECT_EQ (edit->getParamNormalized (id), f.defaultNormalized);
		EXPECT_EQ (info.flags, f.units ? ParameterInfo::kCanAutomate : (ParameterInfo::kCanAutomate | ParameterInfo::kIsList));
		for (size_t n = 0; n < f.entries.size (); ++n)  // lists and toggles: every entry at n / steps
			EXPECT_EQ (text (edit, id, double (n) / f.stepCount), f.entries[n]);
	};
	check (0, 1002, "Phase Mode", {"", nullptr, 1, 0.0, {"Natural", "Linear"}});
	check (1, 1003, "Linear Latency", {"", nullptr, 3, 0.0, {"Low", "Medium", "High", "Max"}});
	for (int band = 0; band < 24; ++band)
		for (int k = 0; k < 13; ++k)
			check (2 + 13 * band + k, static_cast<ParamID> (2000 + 16 * band + k),
			       "Band " + std::to_string (band + 1) + " " + kBandFields[k].field, kBandFields[k]);

	// Toggles read "On" only above one half; continuous values as normalised, four decimals.
	EXPECT_EQ (text (edit, 2000, 0.5) + text (edit, 2007, 0.5000001) + text (edit, 2379, 0.55864), "OffOn0.5586");
	// The plain value of a list is its index, of anything else the normalised value.
	EXPECT_EQ (edit->normalizedParamToPlain (2001, 0.5), 4.0);
	EXPECT_EQ (edit->normalizedParamToPlain (2003, 0.25), 0.25);
}

// That either latency parameter, changed or not, asks the host to re-read the latency (and never
// edits it) is checked where whole states arrive: the current-state restore and the processor's state.
TEST (ParameterList, BadIdsAndViewNamesAreRefusedAndWildValuesStaySafe)
{
	HostedController h;
	IEditController* edit = h.edit ();
	for (ParamID id : {0u, 1001u, 1004u, 1999u, 2013u, 2015u, 2381u, 2384u, 0xFFFFFFFFu})
	{
		EXPECT_EQ (text (edit, id, 0.5), "<refused>") << id;
		EXPECT_NE (edit->setParamNormalized (id, 0.5), kResultOk) << id;
	}
	ParameterInfo info {};
	EXPECT_NE (edit->getParameterInfo (314, info), kResultOk);
	EXPECT_NE (edit->getParameterInfo (-1, info), kResultOk);
	EXPECT_TRUE (h.handler->calls ().empty ()) << "a refused id must not reach the host";
	for (const char* name : {"Editor", "", "editor ", static_cast<const char*> (nullptr)})
		EXPECT_EQ (edit->createView (name), nullptr) << (name ? name : "null");

	// Out-of-range values read as the nearest end; stored values are clamped, a NaN stored as 0.
	const double nan = std::nan ("");
	EXPECT_EQ (text (edit, 1003, -0.5) + text (edit, 1003, 7.0) + text (edit, 2001, nan), "LowMaxBell");
	for (const auto& [sent, stored] : {std::pair {1.5, 1.0}, std::pair {-2.0, 0.0}, std::pair {nan, 0.0}})
	{
		EXPECT_EQ (edit->setParamNormalized (2004, sent), kResultOk);
		EXPECT_EQ (edit->getParamNormalized (2004), stored) << sent;
	}
}
