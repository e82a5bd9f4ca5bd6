// Fuzzes preset names as the page hands them to save, load and list. Each
// input is a short sequence of operations on an emptied presets folder.
// Invariants: the validator agrees with an independent reading of the name
// rules; a save succeeds only for a valid name and then lies inside the
// presets folder (after resolving every link and ".."); a load succeeds for
// a valid name with a preset file at its path and never without one; the listing
// is exactly the saved names, byte-wise sorted; nothing appears in the
// documents tree or beside HOME but the plug-in's own folders.
#include "fuzz_support.h"

#include "../controller/controller_test_support.h"
#include "controller.h"
#include "preset_files.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace QuenrilEQ;
namespace fs = std::filesystem;

namespace {

// Valid UTF-8 as the JSON library sees it: its strict serialiser throws on
// anything else (overlong forms, surrogates, cut-off sequences).
bool jsonAcceptsUtf8 (const std::string& text)
{
	try
	{
		(void)nlohmann::json (text).dump ();
		return true;
	}
	catch (const nlohmann::json::exception&)
	{
		return false;
	}
}

bool referenceNameValid (const std::string& name)
{
	if (name.empty () || name.front () == '/' || name.back () == '/')
		return false;
	if (name.find ('\\') != std::string::npos || name.find ('\0') != std::string::npos)
		return false;
	std::istringstream segments (name);
	for (std::string segment; std::getline (segments, segment, '/');)
	{
		bool onlyDotsAndSpaces = true;
		for (char c : segment)
			onlyDotsAndSpaces = onlyDotsAndSpaces && (c == '.' || c == ' ');
		if (onlyDotsAndSpaces)  // also the empty segment of "a//b"
			return false;
	}
	return jsonAcceptsUtf8 (name);
}

std::string resolved (const std::string& path)
{
	char buffer[PATH_MAX];
	return realpath (path.c_str (), buffer) ? std::string (buffer) : std::string ();
}

/** Entry names of a folder ("" entries never occur). */
std::set<std::string> entries (const std::string& folder)
{
	std::set<std::string> names;
	std::error_code error;
	for (fs::directory_iterator it (folder, error), end; !error && it != end; it.increment (error))
		names.insert (it->path ().filename ().string ());
	return names;
}

bool onlyOwnFolders ()
{
	const std::set<std::string> home {"home"}, documents {"Documents"}, base {"QuenrilEQ"};
	const std::string docs = fuzzing::fuzzHome () + "/Documents";
	if (entries (fuzzing::fuzzSandbox ()) != home)
		return false;
	const std::set<std::string> top = entries (fuzzing::fuzzHome ());
	if (!top.empty () && top != documents)
		return false;
	const std::set<std::string> inDocs = entries (docs);
	if (!inDocs.empty () && inDocs != base)
		return false;
	for (const std::string& name : entries (docs + "/QuenrilEQ"))
		if (name != "presets" && name != "state")
			return false;
	return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
	fuzzing::fuzzHome ();
	static testing::HostedController hosted;
	QuenrilEQController& controller = *hosted.controller;
	std::error_code ignored;
	fs::remove_all (fuzzing::fuzzPresets (), ignored);
	hosted.handler->clear ();

	FuzzedDataProvider input (data, size);
	std::set<std::string> saved;
	for (int op = 0; op < 8 && input.remaining_bytes () > 0; ++op)
	{
		const bool save = input.ConsumeBool ();
		const std::string name = input.ConsumeRandomLengthString (300);
		const bool valid = referenceNameValid (name);
		if (isPresetNameValid (name) != valid)
			std::abort ();
		const std::string path = fuzzing::fuzzPresets () + "/" + name + ".quenrileqpreset";
		if (save)
		{
			if (!controller.savePresetByName (name))
				continue;
			if (!valid)
				std::abort ();
			const std::string real = resolved (path);
			const std::string folder = resolved (fuzzing::fuzzPresets ()) + "/";
			if (real.empty () || real.compare (0, folder.size (), folder) != 0)
				std::abort ();
			saved.insert (name);
		}
		else
		{
			// A folder named like a preset file (left by "x.quenrileqpreset/y")
			// cannot be read: either answer is fine for it.
			const fs::file_status status = fs::symlink_status (path, ignored);
			const bool loaded = controller.loadPresetByName (name);
			if (loaded && !(valid && fs::exists (status)))
				std::abort ();
			if (!loaded && valid && fs::is_regular_file (status))
				std::abort ();
		}
		if (!onlyOwnFolders ())
			std::abort ();
	}

	const std::vector<std::string> listed = controller.listPresets ();
	if (std::set<std::string> (listed.begin (), listed.end ()) != saved || listed.size () != saved.size ())
		std::abort ();
	for (size_t i = 1; i < listed.size (); ++i)
		if (!(listed[i - 1] < listed[i]))
			std::abort ();
	if (!onlyOwnFolders ())
		std::abort ();
	return 0;
}
