// Installing the factory presets into the user's presets folder: once per
// version, never over a user's file, never deleting one, and without harm
// when the folders or the marker are not what they should be.
#include "controller_test_support.h"

#include "factory_presets.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using QuenrilEQ::FactoryPresetPlaces;
using QuenrilEQ::installFactoryPresets;
using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::TempHome;
using QuenrilEQ::testing::writeFile;
namespace fs = std::filesystem;

namespace {

class FactoryPresetInstall : public ::testing::Test
{
protected:
	void SetUp () override
	{
		writeFile (places.source + "/Rumble Cut.quenrileqpreset", "2000=1\n");
		writeFile (places.source + "/Telephone.quenrileqpreset", "2016=1\n");
		writeFile (places.source + "/notes.txt", "not a preset\n");
	}
	std::string installed (const std::string& name) const { return places.destination + "/" + name + ".quenrileqpreset"; }

	TempHome home;
	FactoryPresetPlaces places {home.path () + "/bundle/presets", home.presets () + "/Factory",
	                            home.state () + "/factory-presets.version"};
};

TEST_F (FactoryPresetInstall, OncePerVersionAndNeverOverAUsersFile)
{
	ASSERT_TRUE (installFactoryPresets (places, "1.0.0.0"));
	EXPECT_EQ (readFile (installed ("Rumble Cut")), "2000=1\n");
	EXPECT_EQ (readFile (installed ("Telephone")), "2016=1\n");
	EXPECT_FALSE (fs::exists (places.destination + "/notes.txt"));
	EXPECT_EQ (readFile (places.marker), "1.0.0.0\n");

	// The user deletes one preset and saves over the other.
	fs::remove (installed ("Rumble Cut"));
	writeFile (installed ("Telephone"), "2016=0.5\n");
	EXPECT_TRUE (installFactoryPresets (places, "1.0.0.0"));
	EXPECT_FALSE (fs::exists (installed ("Rumble Cut")));
	EXPECT_EQ (readFile (installed ("Telephone")), "2016=0.5\n");

	// A new version brings the deleted one back and still keeps the user's.
	EXPECT_TRUE (installFactoryPresets (places, "1.1.0.0"));
	EXPECT_EQ (readFile (installed ("Rumble Cut")), "2000=1\n");
	EXPECT_EQ (readFile (installed ("Telephone")), "2016=0.5\n");
	EXPECT_EQ (readFile (places.marker), "1.1.0.0\n");
}

/** Every regular file below folder with its contents. */
std::map<std::string, std::string> filesBelow (const std::string& folder)
{
	std::map<std::string, std::string> files;
	for (const auto& entry : fs::recursive_directory_iterator (folder))
		if (entry.is_regular_file ())
			files[entry.path ().string ()] = readFile (entry.path ().string ());
	return files;
}

TEST_F (FactoryPresetInstall, OddPlacesLoseNothingAndAreTriedAgain)
{
	struct Case
	{
		const char* what;
		std::function<void (FactoryPresetPlaces&)> spoil;
		bool complete;  // what the installation answers; the marker names the version exactly then
		bool copies;    // "Rumble Cut" is installed
	};
	const std::vector<Case> cases {
	    {"no shipped presets", [] (FactoryPresetPlaces& p) { p.source += "-missing"; }, false, false},
	    {"Factory is a file of the user's", [] (FactoryPresetPlaces& p) { writeFile (p.destination, "mine"); }, false, false},
	    {"marker is a folder", [] (FactoryPresetPlaces& p) { fs::create_directories (p.marker); }, false, true},
	    {"a folder of the user's in a preset's place",
	     [] (FactoryPresetPlaces& p) { fs::create_directories (p.destination + "/Telephone.quenrileqpreset"); }, true, true},
	    {"marker of another version", [] (FactoryPresetPlaces& p) { writeFile (p.marker, "0.9.0.0\n"); }, true, true},
	    {"marker of binary junk", [] (FactoryPresetPlaces& p) { writeFile (p.marker, std::string ("\0\xff\n", 3)); }, true, true},
	};
	for (const Case& c : cases)
	{
		TempHome caseHome;
		FactoryPresetPlaces spoilt {places.source, caseHome.presets () + "/Factory",
		                            caseHome.state () + "/factory-presets.version"};
		c.spoil (spoilt);
		std::map<std::string, std::string> before = filesBelow (caseHome.path ());
		before.erase (spoilt.marker);

		EXPECT_EQ (installFactoryPresets (spoilt, "1.0.0.0"), c.complete) << c.what;
		EXPECT_EQ (fs::is_regular_file (spoilt.destination + "/Rumble Cut.quenrileqpreset"), c.copies) << c.what;
		EXPECT_EQ (readFile (spoilt.marker) == "1.0.0.0\n", c.complete) << c.what;
		std::map<std::string, std::string> after = filesBelow (caseHome.path ());
		for (const auto& [path, text] : before)
			EXPECT_EQ (after[path], text) << c.what << ": " << path;
	}
}

} // namespace
