// Preset files by name as the page reaches them through the controller: name
// rules, listing, the text written and the reader's rules for hand-edited
// files (with the host recording the edits), and what happens when the file
// system refuses. A write that fails leaves the previous file as it was.
#include "controller_fixture.h"

#include "preset_files.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace Steinberg::Vst;
using namespace QuenrilEQ::testing;
using QuenrilEQ::host::HandlerCall;
namespace fs = std::filesystem;

namespace {

using Edits = std::vector<std::pair<ParamID, double>>;

class PresetFiles : public ControllerTest
{
protected:
	// Loads text as preset "t"; the host must hear each edit as one complete gesture.
	void expectLoad (const std::string& text, const Edits& edits)
	{
		writeFile (home.presets () + "/t.quenrileqpreset", text);
		h.handler->clear ();
		EXPECT_TRUE (h.controller->loadPresetByName ("t"));
		using Kind = HandlerCall::Kind;
		std::vector<HandlerCall> expected, calls;
		for (const auto& [id, v] : edits)
			expected.insert (expected.end (), {{Kind::BeginEdit, id, 0, 0}, {Kind::PerformEdit, id, v, 0},
			                                   {Kind::EndEdit, id, 0, 0}});
		for (const HandlerCall& c : h.handler->calls ())
			if (c.kind != Kind::RestartComponent)
				calls.push_back (c);
		EXPECT_EQ (calls, expected) << text;
	}
	double value (ParamID id) { return h.edit ()->getParamNormalized (id); }
};

} // namespace

TEST_F (PresetFiles, NamesAreRefusedOrSavedLoadedAndListedInByteOrder)
{
	const std::vector<std::string> rejected {"", "/x", "x/", "a//b", "a\\b", "\\", ".", "..", "a/../b", " . ",
	                                         "a/ /b", "...", "./a", " ", std::string ("a\0b", 3), "bad\xff",
	                                         "cut\xc3", "overlong\xc0\xaf", "surrogate\xed\xa0\x80"};
	for (const std::string& name : rejected)
		EXPECT_FALSE (h.controller->savePresetByName (name) || h.controller->loadPresetByName (name)) << name;
	EXPECT_TRUE (filesBelow (home.path ()).empty ());
	EXPECT_TRUE (h.handler->calls ().empty ());

	// Byte order: blanks and punctuation first, capitals before small letters, non-ASCII last.
	const std::vector<std::string> accepted {"  lead",   ".hidden", "1e-05", u8"Bässe/Überblick ♪", "My Preset 1",
	                                         "Rock/Kick", "a.b",    "a/..b", "a/b/c", "x y/z.", u8"Ängste"};
	for (const std::string& name : accepted)
		EXPECT_TRUE (h.controller->savePresetByName (name) && h.controller->loadPresetByName (name)) << name;
	EXPECT_TRUE (fs::is_regular_file (home.presets () + "/a/b/c.quenrileqpreset"));
	EXPECT_EQ (h.controller->listPresets (), accepted);
}

TEST_F (PresetFiles, ListingAndLoadingTakeOnlyReadablePresetFiles)
{
	const std::string p = home.presets ();
	for (const char* file : {"b.quenrileqpreset", "A.quenrileqpreset", "deep/er/x.quenrileqpreset",
	                         "upper.QUENRILEQPRESET", "text.txt", "double.quenrileqpreset.bak", ".quenrileqpreset"})
		writeFile (p + "/" + file, "");
	writeFile (p + "/huge.quenrileqpreset", "2003=1\n" + std::string (16 * 1024 * 1024, '#'));
	fs::create_directories (p + "/folder.quenrileqpreset");
	fs::create_directory_symlink (p + "/deep", p + "/link");  // not followed
	ASSERT_EQ (mkfifo ((p + "/pipe.quenrileqpreset").c_str (), 0666), 0);  // would block a plain open
	fs::create_symlink ("/dev/zero", p + "/zero.quenrileqpreset");
	EXPECT_EQ (h.controller->listPresets (), (std::vector<std::string> {"A", "b", "deep/er/x", "huge"}));
	for (const char* name : {"folder", "missing", "upper", "pipe", "huge", "zero"})
		EXPECT_FALSE (h.controller->loadPresetByName (name)) << name;
	EXPECT_EQ (value (2003), 0.5);
	EXPECT_TRUE (h.handler->calls ().empty ());
}

TEST_F (PresetFiles, FilesHoldEveryParameterInOrderAsPercentGWhateverTheLocale)
{
	h.edit ()->setParamNormalized (2002, 0.00001);
	h.edit ()->setParamNormalized (2003, 0.000123456789);
	// A host may switch the process to a decimal comma.
	const std::string previous = std::setlocale (LC_NUMERIC, nullptr);
	const bool comma = std::setlocale (LC_NUMERIC, "de_DE.UTF-8") != nullptr;
	ASSERT_TRUE (h.controller->savePresetByName ("g"));
	std::string expected = "# QuenrilEQ preset\n";
	char line[64];
	for (ParamID id : QuenrilEQ::allParameterIds ())
		expected += std::string (line, std::snprintf (line, sizeof line, "%u=%g\n", id, value (id)));
	if (comma)  // the reference as well: its decimal point only
		std::replace (expected.begin (), expected.end (), ',', '.');
	EXPECT_EQ (readFile (home.presets () + "/g.quenrileqpreset"), expected);
	EXPECT_NE (expected.find ("\n2002=1e-05\n2003=0.000123457\n2004=0.453004\n"), std::string::npos);
	if (comma)  // reading in that locale too
		expectLoad ("2003=0.25\n", {{2003, 0.25}});
	std::setlocale (LC_NUMERIC, previous.c_str ());
}

TEST_F (PresetFiles, ReaderSkipsCommentsAndLinesWithoutEqualsParsesLikeStrtodAndClampsHere)
{
	expectLoad ("# anything\n"
	            "\n"
	            "no equals sign\n"
	            "2003=0.1\n"  // repeated: the last value stays
	            "2003=0.75abc\n"
	            "2004=\r\n"       // no number: 0
	            "2008=0.125\r\n"  // CR line end
	            " 2009=+0.25\n"   // strtoul and strtod skip leading blanks
	            "2010=1e-1\n"
	            "2011=0x1p-2\n"     // strtod reads hexadecimal floats
	            "2002=1.5\n"        // out of range: clamped here but raw for the host
	            "2005=-3\n"
	            "4294967297=0.5\n"  // ids cut to 32 bits
	            "=0.5\n"            // id 0: not a parameter, still told to the host
	            "junk=0.5\n"
	            "2019=nan\n"
	            "#2017=1\n"  // a comment, not an edit of id 0
	            "1002=0.5\n"
	            "2020=0.375",  // last line without a line end
	            {{2003, 0.1}, {2003, 0.75}, {2004, 0.0}, {2008, 0.125}, {2009, 0.25}, {2010, 0.1}, {2011, 0.25},
	             {2002, 1.5}, {2005, -3.0}, {1, 0.5}, {0, 0.5}, {0, 0.5}, {2019, 0.0}, {1002, 0.5}, {2020, 0.375}});
	for (const auto& [id, v] : Edits {{2003, 0.75}, {2011, 0.25}, {2002, 1.0}, {2005, 0.0}, {2019, 0.0}})
		EXPECT_EQ (value (id), v) << id;
	EXPECT_EQ (value (2036), 0.4530040738117794) << "untouched parameters keep their values";
	EXPECT_EQ (h.handler->restartCount (kLatencyChanged), 1u);
	// Empty and header-only files change nothing.
	expectLoad ("", {});
	expectLoad ("# QuenrilEQ preset\n", {});
	EXPECT_EQ (value (2003), 0.75);
}

// A save that cannot happen writes nothing and leaves what was there as it was.
TEST_F (PresetFiles, WithoutHomeBlockedOrFailingSavesLeaveEverythingAsItWas)
{
	h.edit ()->setParamNormalized (2003, 0.25);
	ASSERT_TRUE (h.controller->savePresetByName ("Rock/keep"));
	const std::string path = home.presets () + "/Rock/keep.quenrileqpreset", before = readFile (path);
	{
		TempHome noHome (false);
		EXPECT_TRUE (h.controller->listPresets ().empty ());
		EXPECT_FALSE (h.controller->savePresetByName ("kept") || h.controller->loadPresetByName ("Rock/keep"));
		setenv ("HOME", "", 1);  // empty counts as unset: never the file system's root
		EXPECT_FALSE (h.controller->savePresetByName ("kept"));
	}
	// The copy, the presets folder, a subfolder or the file itself blocked by something of the user's.
	h.edit ()->setParamNormalized (2003, 0.75);
	const QuenrilEQ::FileOps& real = QuenrilEQ::systemFileOps ();
	const std::pair<const char*, QuenrilEQ::FileOps> failures[] = {
	    {"disk full half-way", {[] (int fd, const void* data, size_t size) -> ssize_t {
		                            static bool wroteHalf = false;
		                            return (wroteHalf = !wroteHalf) ? ::write (fd, data, size / 2) : (errno = ENOSPC, -1);
	                            },
	                            real.fsync, real.close, real.rename}},
	    {"flush", {real.write, [] (int) { return errno = EIO, -1; }, real.close, real.rename}},
	    {"close", {real.write, real.fsync, [] (int fd) { return ::close (fd), errno = EIO, -1; }, real.rename}},
	    {"rename", {real.write, real.fsync, real.close, [] (const char*, const char*) { return errno = EXDEV, -1; }}},
	};
	for (const auto& [what, ops] : failures)
	{
		EXPECT_FALSE (QuenrilEQ::savePresetByName (*h.controller, "Rock/keep", ops)) << what;
		EXPECT_EQ (filesBelow (home.presets ()), (Files {{"Rock/keep.quenrileqpreset", before}})) << what;
	}
	writeFile (home.presets () + "/sub", "file");
	EXPECT_FALSE (h.controller->savePresetByName ("sub/x"));
	fs::create_directories (home.presets () + "/dir.quenrileqpreset/inner");
	EXPECT_FALSE (h.controller->savePresetByName ("dir"));
	EXPECT_EQ (filesBelow (home.presets ()), (Files {{"Rock/keep.quenrileqpreset", before}, {"sub", "file"}}));
	EXPECT_TRUE (QuenrilEQ::savePresetByName (*h.controller, "Rock/keep", real));
	EXPECT_NE (readFile (path).find ("\n2003=0.75\n"), std::string::npos);
	fs::remove_all (home.presets ());
	writeFile (home.presets (), "not a folder");
	EXPECT_FALSE (h.controller->savePresetByName ("x"));
	EXPECT_EQ (readFile (home.presets ()), "not a folder");
}
