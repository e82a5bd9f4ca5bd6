// Installing the factory presets into the user's presets folder: once per
// version, never over a user's file, never deleting one, and without harm
// when the folders or the marker are not what they should be.
#include "controller_fixture.h"

#include "atomic_file.h"
#include "factory_presets.h"

#include <functional>
#include <unistd.h>

using QuenrilEQ::FactoryPresetPlaces;
using QuenrilEQ::installFactoryPresets;
using namespace QuenrilEQ::testing;
namespace fs = std::filesystem;

namespace {

// Shipped presets "Rumble Cut" and "Telephone" (and a stray text file) in a bundle folder of home.
FactoryPresetPlaces placesIn (const TempHome& home, const std::string& bundle)
{
	writeFile (bundle + "/Rumble Cut.quenrileqpreset", "2000=1\n");
	writeFile (bundle + "/Telephone.quenrileqpreset", "2016=1\n");
	writeFile (bundle + "/notes.txt", "not a preset\n");
	return {bundle, home.presets () + "/Factory", home.state () + "/factory-presets.version"};
}

std::string racedPath;  // where the user saves a preset while the copy of that name is being written

} // namespace

TEST (FactoryPresetInstall, OncePerVersionAndNeverOverAUsersFile)
{
	TempHome home;
	const FactoryPresetPlaces places = placesIn (home, home.path () + "/bundle");
	ASSERT_TRUE (installFactoryPresets (places, "1.0.0.0"));
	EXPECT_EQ (filesBelow (places.destination),
	           (Files {{"Rumble Cut.quenrileqpreset", "2000=1\n"}, {"Telephone.quenrileqpreset", "2016=1\n"}}));
	EXPECT_EQ (readFile (places.marker), "1.0.0.0\n");
	// The user deletes one preset and saves over the other; the same version leaves both so.
	fs::remove (places.destination + "/Rumble Cut.quenrileqpreset");
	writeFile (places.destination + "/Telephone.quenrileqpreset", "2016=0.5\n");
	EXPECT_TRUE (installFactoryPresets (places, "1.0.0.0"));
	EXPECT_EQ (filesBelow (places.destination), (Files {{"Telephone.quenrileqpreset", "2016=0.5\n"}}));
	// A new version brings the deleted one back and still keeps the user's.
	EXPECT_TRUE (installFactoryPresets (places, "1.1.0.0"));
	EXPECT_EQ (filesBelow (places.destination),
	           (Files {{"Rumble Cut.quenrileqpreset", "2000=1\n"}, {"Telephone.quenrileqpreset", "2016=0.5\n"}}));
	EXPECT_EQ (readFile (places.marker), "1.1.0.0\n");

	// The copy's own write: a file of the user's that appears meanwhile stays as the user saved it,
	// and no temporary file is left.
	racedPath = places.destination + "/Late.quenrileqpreset";
	auto userSavesMeanwhile = [] (int fd, const void* data, size_t size) {
		writeFile (racedPath, "2016=0.5\n");
		return ::write (fd, data, size);
	};
	const QuenrilEQ::FileOps& real = QuenrilEQ::systemFileOps ();
	EXPECT_FALSE (QuenrilEQ::createFileAtomically (racedPath, "2016=1\n", {userSavesMeanwhile, real.fsync, real.close, real.rename}));
	EXPECT_EQ (filesBelow (places.destination).size (), 3u);
	EXPECT_EQ (readFile (racedPath), "2016=0.5\n");
}

TEST (FactoryPresetInstall, OddPlacesLoseNothingAndAreTriedAgain)
{
	const struct
	{
		const char* what;
		std::function<void (FactoryPresetPlaces&)> spoil;
		bool complete;  // the answer; the marker names the version exactly then
		bool copies;    // "Rumble Cut" is installed
	} cases[] = {
	    {"no shipped presets", [] (auto& p) { p.source += "-missing"; }, false, false},
	    {"Factory is a file of the user's", [] (auto& p) { writeFile (p.destination, "mine"); }, false, false},
	    {"marker is a folder", [] (auto& p) { fs::create_directories (p.marker); }, false, true},
	    {"a folder of the user's in a preset's place",
	     [] (auto& p) { fs::create_directories (p.destination + "/Telephone.quenrileqpreset"); }, true, true},
	    {"marker of binary junk", [] (auto& p) { writeFile (p.marker, std::string ("\0\xff\n", 3)); }, true, true},
	};
	const TempHome shipped;
	for (const auto& c : cases)
	{
		TempHome home;
		FactoryPresetPlaces places = placesIn (home, shipped.path () + "/bundle");
		c.spoil (places);
		auto before = filesBelow (home.path ());
		before.erase (fs::relative (places.marker, home.path ()).string ());
		EXPECT_EQ (installFactoryPresets (places, "1.0.0.0"), c.complete) << c.what;
		EXPECT_EQ (fs::is_regular_file (places.destination + "/Rumble Cut.quenrileqpreset"), c.copies) << c.what;
		EXPECT_EQ (readFile (places.marker) == "1.0.0.0\n", c.complete) << c.what;
		auto after = filesBelow (home.path ());
		for (const auto& [path, text] : before)
			EXPECT_EQ (after[path], text) << c.what << ": " << path;
	}
}
