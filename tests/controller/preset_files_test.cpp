// Preset files by name: name rules, folders, listing, overwriting, and what
// happens when the file system refuses (no HOME, blocked folders, failing
// writes). Writes that fail must leave the previous file as it was.
#include "controller_test_support.h"

#include "preset_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Steinberg;
using QuenrilEQ::testing::HostedController;
using QuenrilEQ::testing::NoHome;
using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::TempHome;
using QuenrilEQ::testing::writeFile;
namespace fs = std::filesystem;

namespace {
const std::vector<std::string> kRejected {
    "", "/x", "x/", "a//b", "a\\b", "\\", ".", "..", "a/../b", " . ", "a/ /b", "...", "a/.", "./a",
    " ", "a/..", std::string ("a\0b", 3), "bad\xff", "cut\xc3", "overlong\xc0\xaf", "surrogate\xed\xa0\x80"};
const std::vector<std::string> kAccepted {"My Preset 1", "Rock/Kick", "a/b/c", u8"Bässe/Überblick ♪",
                                          ".hidden", "a.b", "x y/z.", "  lead", "1e-05", "a/..b", u8"Ängste"};

std::vector<std::string> filesBelow (const std::string& folder)
{
	std::vector<std::string> files;
	for (const auto& e : fs::recursive_directory_iterator (folder))
		if (e.is_regular_file ())
			files.push_back (fs::relative (e.path (), folder).generic_string ());
	std::sort (files.begin (), files.end ());
	return files;
}

// A write that stops half-way with a full disk, and other failing calls.
ssize_t writeHalfThenFail (int fd, const void* data, size_t size)
{
	static bool wroteHalf = false;
	if (!wroteHalf)
	{
		wroteHalf = true;
		return ::write (fd, data, size / 2);
	}
	wroteHalf = false;
	errno = ENOSPC;
	return -1;
}
int failFsync (int) { errno = EIO; return -1; }
int closeThenFail (int fd) { ::close (fd); errno = EIO; return -1; }
int failRename (const char*, const char*) { errno = EXDEV; return -1; }

class PresetFiles : public ::testing::Test
{
protected:
	TempHome home;
	HostedController h;
};
} // namespace

TEST_F (PresetFiles, RejectedNamesFailAndTouchNothing)
{
	for (const std::string& name : kRejected)
	{
		SCOPED_TRACE (name);
		EXPECT_FALSE (QuenrilEQ::isPresetNameValid (name));
		EXPECT_FALSE (h.controller->savePresetByName (name));
		EXPECT_FALSE (h.controller->loadPresetByName (name));
	}
	EXPECT_TRUE (filesBelow (home.path ()).empty ());
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (PresetFiles, AcceptedNamesRoundTripThroughTheListing)
{
	for (const std::string& name : kAccepted)
	{
		SCOPED_TRACE (name);
		EXPECT_TRUE (QuenrilEQ::isPresetNameValid (name));
		EXPECT_TRUE (h.controller->savePresetByName (name));
		EXPECT_TRUE (h.controller->loadPresetByName (name));
	}
	EXPECT_TRUE (fs::is_regular_file (home.presets () + "/a/b/c.quenrileqpreset"));
	// Byte order: blanks and punctuation first, capitals before small letters, non-ASCII last.
	const std::vector<std::string> sorted {"  lead", ".hidden", "1e-05", u8"Bässe/Überblick ♪", "My Preset 1",
	                                       "Rock/Kick", "a.b", "a/..b", "a/b/c", "x y/z.", u8"Ängste"};
	EXPECT_EQ (h.controller->listPresets (), sorted);
}

TEST_F (PresetFiles, ListingTakesOnlyPresetFilesFromAllSubfolders)
{
	const std::string p = home.presets ();
	writeFile (p + "/b.quenrileqpreset", "");
	writeFile (p + "/A.quenrileqpreset", "");
	writeFile (p + "/deep/er/x.quenrileqpreset", "");
	writeFile (p + "/upper.QUENRILEQPRESET", "");
	writeFile (p + "/text.txt", "");
	writeFile (p + "/double.quenrileqpreset.bak", "");
	writeFile (p + "/noext", "");
	writeFile (p + "/.quenrileqpreset", "");  // a hidden file without a name
	fs::create_directories (p + "/folder.quenrileqpreset");
	fs::create_directories (p + "/empty");
	fs::create_directory_symlink (p + "/deep", p + "/link");  // not followed
	EXPECT_EQ (h.controller->listPresets (), (std::vector<std::string> {"A", "b", "deep/er/x"}));
	// A folder named like a preset exists but cannot be read.
	EXPECT_FALSE (h.controller->loadPresetByName ("folder"));
	EXPECT_FALSE (h.controller->loadPresetByName ("missing"));
	EXPECT_FALSE (h.controller->loadPresetByName ("upper"));
}

TEST_F (PresetFiles, PresetsThatExistButCannotBeReadReportFalseAndChangeNothing)
{
	const std::string p = home.presets ();
	fs::create_directories (p);
	ASSERT_EQ (mkfifo ((p + "/pipe.quenrileqpreset").c_str (), 0666), 0);  // would block a plain open
	writeFile (p + "/huge.quenrileqpreset", "2003=1\n" + std::string (16 * 1024 * 1024, '#'));
	fs::create_symlink ("/dev/zero", p + "/zero.quenrileqpreset");
	fs::create_symlink (p + "/nowhere.quenrileqpreset", p + "/dangling.quenrileqpreset");
	for (const char* name : {"pipe", "huge", "zero", "dangling"})
		EXPECT_FALSE (h.controller->loadPresetByName (name)) << name;
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.5);
	EXPECT_TRUE (h.handler->calls ().empty ());
	EXPECT_EQ (h.controller->listPresets (), (std::vector<std::string> {"huge"}));
}

TEST_F (PresetFiles, ListingCreatesTheFolderAndIsEmptyAtFirst)
{
	EXPECT_TRUE (h.controller->listPresets ().empty ());
	EXPECT_TRUE (fs::is_directory (home.presets ()));
}

TEST_F (PresetFiles, SavingTwiceOverwrites)
{
	h.edit ()->setParamNormalized (2003, 0.25);
	ASSERT_TRUE (h.controller->savePresetByName ("Rock/Kick"));
	h.edit ()->setParamNormalized (2003, 0.75);
	ASSERT_TRUE (h.controller->savePresetByName ("Rock/Kick"));
	EXPECT_NE (readFile (home.presets () + "/Rock/Kick.quenrileqpreset").find ("\n2003=0.75\n"), std::string::npos);
	EXPECT_EQ (filesBelow (home.presets ()), (std::vector<std::string> {"Rock/Kick.quenrileqpreset"}));
	EXPECT_EQ (h.controller->listPresets (), (std::vector<std::string> {"Rock/Kick"}));
}

TEST_F (PresetFiles, WithoutHomeEverythingFails)
{
	ASSERT_TRUE (h.controller->savePresetByName ("kept"));
	NoHome noHome;
	EXPECT_EQ (QuenrilEQ::baseFolder (), "");
	EXPECT_TRUE (h.controller->listPresets ().empty ());
	EXPECT_FALSE (h.controller->savePresetByName ("kept"));
	EXPECT_FALSE (h.controller->loadPresetByName ("kept"));
	EXPECT_FALSE (h.controller->restoreCurrentState ());
	setenv ("HOME", "", 1);  // empty counts as unset: never the file system's root
	EXPECT_FALSE (h.controller->savePresetByName ("kept"));
	EXPECT_TRUE (h.controller->listPresets ().empty ());
}

TEST_F (PresetFiles, BlockedFoldersMakeSavesFailWithoutDamage)
{
	// A regular file where the presets folder should be.
	writeFile (home.path () + "/Documents/QuenrilEQ/presets", "not a folder");
	EXPECT_FALSE (h.controller->savePresetByName ("x"));
	EXPECT_TRUE (h.controller->listPresets ().empty ());
	EXPECT_EQ (readFile (home.presets ()), "not a folder");
	fs::remove (home.presets ());

	// A file where a subfolder should be, and a folder where the file should be.
	writeFile (home.presets () + "/sub", "file");
	EXPECT_FALSE (h.controller->savePresetByName ("sub/x"));
	fs::create_directories (home.presets () + "/dir.quenrileqpreset/inner");
	EXPECT_FALSE (h.controller->savePresetByName ("dir"));
	EXPECT_TRUE (fs::is_directory (home.presets () + "/dir.quenrileqpreset/inner"));
	EXPECT_EQ (filesBelow (home.presets ()), (std::vector<std::string> {"sub"}));
}

TEST_F (PresetFiles, AFailingWriteLeavesTheOldFileIntact)
{
	h.edit ()->setParamNormalized (2003, 0.25);
	ASSERT_TRUE (h.controller->savePresetByName ("keep"));
	const std::string path = home.presets () + "/keep.quenrileqpreset";
	const std::string before = readFile (path);
	h.edit ()->setParamNormalized (2003, 0.75);

	const QuenrilEQ::FileOps& real = QuenrilEQ::systemFileOps ();
	const std::vector<std::pair<const char*, QuenrilEQ::FileOps>> failures {
	    {"disk full half-way", {writeHalfThenFail, real.fsync, real.close, real.rename}},
	    {"flush", {real.write, failFsync, real.close, real.rename}},
	    {"close", {real.write, real.fsync, closeThenFail, real.rename}},
	    {"rename", {real.write, real.fsync, real.close, failRename}},
	};
	for (const auto& [what, ops] : failures)
	{
		SCOPED_TRACE (what);
		EXPECT_FALSE (QuenrilEQ::savePresetByName (*h.controller, "keep", ops));
		EXPECT_EQ (readFile (path), before);
		EXPECT_EQ (filesBelow (home.presets ()), (std::vector<std::string> {"keep.quenrileqpreset"}))
		    << "no temporary file left behind";
	}
	EXPECT_TRUE (QuenrilEQ::savePresetByName (*h.controller, "keep", real));
	EXPECT_NE (readFile (path).find ("\n2003=0.75\n"), std::string::npos);
}

TEST_F (PresetFiles, APresetFileCanBeReadWithoutAController)
{
	struct Recorder : QuenrilEQ::PresetTarget
	{
		double presetValue (QuenrilEQ::ParamId id) override { return id == 1003 ? 1.0 / 3.0 : 0.0; }
		void applyPresetValue (QuenrilEQ::ParamId id, double v) override { applied.emplace_back (id, v); }
		void presetApplied () override { ++finished; }
		std::vector<std::pair<QuenrilEQ::ParamId, double>> applied;
		int finished = 0;
	} target;
	const std::string path = home.path () + "/plain.quenrileqpreset";
	ASSERT_TRUE (QuenrilEQ::writePresetFile (target, path));
	EXPECT_EQ (readFile (path).substr (0, 36), "# QuenrilEQ preset\n1002=0\n1003=0.333");
	ASSERT_TRUE (QuenrilEQ::readPresetFile (target, path));
	ASSERT_EQ (target.applied.size (), 314u);
	EXPECT_EQ (target.applied[1].second, 0.333333);
	EXPECT_EQ (target.finished, 1);
	// Unreadable: nothing applied, no completion.
	EXPECT_FALSE (QuenrilEQ::readPresetFile (target, home.path ()));
	EXPECT_FALSE (QuenrilEQ::readPresetFile (target, home.path () + "/none"));
	EXPECT_EQ (target.applied.size (), 314u);
	EXPECT_EQ (target.finished, 1);
}
