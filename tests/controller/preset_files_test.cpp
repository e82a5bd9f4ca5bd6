// Preset files by name: name rules, folders, listing, overwriting, and what
// happens when the file system refuses (no HOME, blocked folders, failing
// writes). A write that fails leaves the previous file as it was.
#include "controller_fixture.h"

#include "preset_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using QuenrilEQ::testing::readFile;
using QuenrilEQ::testing::writeFile;
namespace fs = std::filesystem;

namespace {

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
	if ((wroteHalf = !wroteHalf))
		return ::write (fd, data, size / 2);
	errno = ENOSPC;
	return -1;
}
int failFsync (int) { return errno = EIO, -1; }
int closeThenFail (int fd) { return ::close (fd), errno = EIO, -1; }
int failRename (const char*, const char*) { return errno = EXDEV, -1; }

using PresetFiles = QuenrilEQ::testing::ControllerTest;

} // namespace

TEST_F (PresetFiles, NamesAreRefusedOrSavedLoadedAndListedInByteOrder)
{
	const std::vector<std::string> rejected {"", "/x", "x/", "a//b", "a\\b", "\\", ".", "..", "a/../b", " . ", "a/ /b", "...", "./a", " ",
	                                         std::string ("a\0b", 3), "bad\xff", "cut\xc3", "overlong\xc0\xaf", "surrogate\xed\xa0\x80"};
	for (const std::string& name : rejected)
	{
		EXPECT_FALSE (QuenrilEQ::isPresetNameValid (name)) << name;
		EXPECT_FALSE (h.controller->savePresetByName (name)) << name;
		EXPECT_FALSE (h.controller->loadPresetByName (name)) << name;
	}
	EXPECT_TRUE (filesBelow (home.path ()).empty ());
	EXPECT_TRUE (h.handler->calls ().empty ());
	EXPECT_TRUE (h.controller->listPresets ().empty ());

	// Byte order: blanks and punctuation first, capitals before small letters, non-ASCII last.
	const std::vector<std::string> accepted {"  lead", ".hidden", "1e-05", u8"Bässe/Überblick ♪", "My Preset 1", "Rock/Kick",
	                                         "a.b", "a/..b", "a/b/c", "x y/z.", u8"Ängste"};
	for (const std::string& name : accepted)
	{
		EXPECT_TRUE (h.controller->savePresetByName (name)) << name;
		EXPECT_TRUE (h.controller->loadPresetByName (name)) << name;
	}
	EXPECT_TRUE (fs::is_regular_file (home.presets () + "/a/b/c.quenrileqpreset"));
	EXPECT_EQ (h.controller->listPresets (), accepted);
}

TEST_F (PresetFiles, ListingTakesOnlyReadablePresetFilesAndSavingAgainOverwrites)
{
	const std::string p = home.presets ();
	for (const char* file : {"b.quenrileqpreset", "A.quenrileqpreset", "deep/er/x.quenrileqpreset", "upper.QUENRILEQPRESET", "text.txt",
	                         "double.quenrileqpreset.bak", ".quenrileqpreset"})
		writeFile (p + "/" + file, "");
	writeFile (p + "/huge.quenrileqpreset", "2003=1\n" + std::string (16 * 1024 * 1024, '#'));
	fs::create_directories (p + "/folder.quenrileqpreset");
	fs::create_directory_symlink (p + "/deep", p + "/link");  // not followed
	ASSERT_EQ (mkfifo ((p + "/pipe.quenrileqpreset").c_str (), 0666), 0);  // would block a plain open
	fs::create_symlink ("/dev/zero", p + "/zero.quenrileqpreset");
	EXPECT_EQ (h.controller->listPresets (), (std::vector<std::string> {"A", "b", "deep/er/x", "huge"}));
	for (const char* name : {"folder", "missing", "upper", "pipe", "huge", "zero"})
		EXPECT_FALSE (h.controller->loadPresetByName (name)) << name;
	EXPECT_EQ (h.edit ()->getParamNormalized (2003), 0.5);
	EXPECT_TRUE (h.handler->calls ().empty ());

	fs::remove_all (p);
	h.edit ()->setParamNormalized (2003, 0.25);
	ASSERT_TRUE (h.controller->savePresetByName ("Rock/Kick"));
	h.edit ()->setParamNormalized (2003, 0.75);
	ASSERT_TRUE (h.controller->savePresetByName ("Rock/Kick"));
	EXPECT_NE (readFile (p + "/Rock/Kick.quenrileqpreset").find ("\n2003=0.75\n"), std::string::npos);
	EXPECT_EQ (filesBelow (p), (std::vector<std::string> {"Rock/Kick.quenrileqpreset"}));
}

TEST_F (PresetFiles, WithoutHomeOrWithBlockedFoldersNothingIsWritten)
{
	ASSERT_TRUE (h.controller->savePresetByName ("kept"));
	{
		QuenrilEQ::testing::TempHome noHome (false);
		EXPECT_TRUE (h.controller->listPresets ().empty ());
		EXPECT_FALSE (h.controller->savePresetByName ("kept"));
		EXPECT_FALSE (h.controller->loadPresetByName ("kept"));
		setenv ("HOME", "", 1);  // empty counts as unset: never the file system's root
		EXPECT_FALSE (h.controller->savePresetByName ("kept"));
	}
	fs::remove_all (home.presets ());
	writeFile (home.presets (), "not a folder");
	EXPECT_FALSE (h.controller->savePresetByName ("x"));
	EXPECT_TRUE (h.controller->listPresets ().empty ());
	EXPECT_EQ (readFile (home.presets ()), "not a folder");
	fs::remove (home.presets ());
	// A file where a subfolder should be, and a folder where the file should be.
	writeFile (home.presets () + "/sub", "file");
	EXPECT_FALSE (h.controller->savePresetByName ("sub/x"));
	fs::create_directories (home.presets () + "/dir.quenrileqpreset/inner");
	EXPECT_FALSE (h.controller->savePresetByName ("dir"));
	EXPECT_EQ (filesBelow (home.presets ()), (std::vector<std::string> {"sub"}));
}

TEST_F (PresetFiles, AFailingWriteLeavesTheOldFileIntact)
{
	h.edit ()->setParamNormalized (2003, 0.25);
	ASSERT_TRUE (h.controller->savePresetByName ("keep"));
	const std::string path = home.presets () + "/keep.quenrileqpreset", before = readFile (path);
	h.edit ()->setParamNormalized (2003, 0.75);
	const QuenrilEQ::FileOps& real = QuenrilEQ::systemFileOps ();
	const std::pair<const char*, QuenrilEQ::FileOps> failures[] = {
	    {"disk full half-way", {writeHalfThenFail, real.fsync, real.close, real.rename}},
	    {"flush", {real.write, failFsync, real.close, real.rename}},
	    {"close", {real.write, real.fsync, closeThenFail, real.rename}},
	    {"rename", {real.write, real.fsync, real.close, failRename}},
	};
	for (const auto& [what, ops] : failures)
	{
		EXPECT_FALSE (QuenrilEQ::savePresetByName (*h.controller, "keep", ops)) << what;
		EXPECT_EQ (readFile (path), before) << what;
		EXPECT_EQ (filesBelow (home.presets ()), (std::vector<std::string> {"keep.quenrileqpreset"})) << what << ": a temporary file left";
	}
	EXPECT_TRUE (QuenrilEQ::savePresetByName (*h.controller, "keep", real));
	EXPECT_NE (readFile (path).find ("\n2003=0.75\n"), std::string::npos);
}
