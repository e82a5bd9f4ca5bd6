#include "preset_files.h"

#include "preset_format.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace QuenrilEQ {

namespace {
void createFolders (const std::string& folder)
{
	std::error_code ignored;
	fs::create_directories (fs::path (folder), ignored);
}

bool exists (const std::string& path)
{
	std::error_code ec;
	const fs::file_status status = fs::status (fs::path (path), ec);
	return !ec && fs::exists (status);
}

bool onlyDotsAndSpaces (const std::string& segment)
{
	return segment.find_first_not_of (". ") == std::string::npos;
}

bool isValidUtf8 (const std::string& text)
{
	size_t i = 0;
	while (i < text.size ())
	{
		const auto c = static_cast<unsigned char> (text[i]);
		int extra = 0;
		unsigned min = 0;
		unsigned code = 0;
		if (c < 0x80)
			extra = 0, code = c;
		else if (c >= 0xC2 && c <= 0xDF)
			extra = 1, code = c & 0x1Fu, min = 0x80;
		else if (c >= 0xE0 && c <= 0xEF)
			extra = 2, code = c & 0x0Fu, min = 0x800;
		else if (c >= 0xF0 && c <= 0xF4)
			extra = 3, code = c & 0x07u, min = 0x10000;
		else
			return false;
		if (text.size () - i <= static_cast<size_t> (extra))
			return false;  // sequence cut off by the end of the text
		for (int k = 1; k <= extra; ++k)
		{
			const auto cc = static_cast<unsigned char> (text[i + static_cast<size_t> (k)]);
			if ((cc & 0xC0u) != 0x80u)
				return false;
			code = (code << 6) | (cc & 0x3Fu);
		}
		// Overlong forms, surrogates and code points past U+10FFFF.
		if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
			return false;
		i += static_cast<size_t> (extra) + 1;
	}
	return true;
}
} // namespace

std::string baseFolder ()
{
	const char* home = std::getenv ("HOME");
	// An empty HOME would put the files below the file system's root.
	if (!home || !*home)
		return {};
	std::string base (home);
	if (base.back () != '/')
		base += '/';
	return base + "Documents/QuenrilEQ";
}

std::string presetsFolder ()
{
	const std::string base = baseFolder ();
	return base.empty () ? base : base + "/presets";
}

std::string stateFolder ()
{
	const std::string base = baseFolder ();
	return base.empty () ? base : base + "/state";
}

std::string createdPresetsFolder ()
{
	const std::string folder = presetsFolder ();
	if (!folder.empty ())
		createFolders (folder);
	return folder;
}

std::string currentStatePath (std::uint64_t instanceNumber)
{
	const std::string folder = stateFolder ();
	if (folder.empty ())
		return folder;
	createFolders (folder);
	char hex[32];
	std::snprintf (hex, sizeof (hex), "%llx", static_cast<unsigned long long> (instanceNumber));
	return folder + "/_current_state_" + hex + kPresetExtension;
}

bool isPresetNameValid (const std::string& name)
{
	if (name.empty ())
		return false;
	if (name.front () == '/' || name.back () == '/')
		return false;
	if (name.find ("//") != std::string::npos)
		return false;
	if (name.find ('\\') != std::string::npos)
		return false;
	size_t start = 0;
	while (start <= name.size ())
	{
		size_t end = name.find ('/', start);
		if (end == std::string::npos)
			end = name.size ();
		if (onlyDotsAndSpaces (name.substr (start, end - start)))
			return false;  // also ".", ".." and the empty segment
		start = end + 1;
	}
	return name.find ('\0') == std::string::npos && isValidUtf8 (name);
}

std::string presetPath (const std::string& folder, const std::string& name)
{
	return folder + "/" + name + kPresetExtension;
}

bool writePresetFile (PresetTarget& target, const std::string& path, const FileOps& ops)
{
	const std::string text = formatPresetText ([&target] (ParamId id) { return target.presetValue (id); });
	return replaceFileAtomically (path, text, ops);
}

bool readPresetFile (PresetTarget& target, const std::string& path)
{
	// Read completely before applying anything: a read error then changes
	// nothing, and the saves that applying triggers may rewrite this very
	// file (restoring the current state) without disturbing the reader.
	std::string text;
	if (!readWholeFile (path, text))
		return false;
	for (const PresetLine& line : parsePresetText (text))
		target.applyPresetValue (line.id, line.value);
	target.presetApplied ();
	return true;
}

std::vector<std::string> listPresets ()
{
	const std::string folder = createdPresetsFolder ();
	if (folder.empty () || !exists (folder))
		return {};
	const fs::path root (folder);
	std::vector<std::string> names;
	std::error_code ec;
	fs::recursive_directory_iterator it (root, fs::directory_options::skip_permission_denied, ec);
	for (; !ec && it != fs::recursive_directory_iterator (); it.increment (ec))
	{
		std::error_code typeError;
		if (!it->is_regular_file (typeError) || typeError)
			continue;
		const fs::path& file = it->path ();
		if (file.extension ().native () != kPresetExtension)
			continue;
		// The walk yields root/sub/file, so the name is the lexical remainder;
		// resolving links here would turn a linked preset into "../..".
		fs::path relative = file.lexically_relative (root);
		if (relative.empty ())
			continue;
		relative.replace_extension ();
		std::string name = relative.generic_string ();
		if (isValidUtf8 (name))
			names.push_back (std::move (name));
	}
	if (ec)
		return {};
	std::sort (names.begin (), names.end ());
	return names;
}

namespace {
/** The file of a valid preset name in the presets folder (created on the way); empty when the
    name is refused or there is no folder. */
std::string presetPathForName (const std::string& name)
{
	if (!isPresetNameValid (name))
		return {};
	const std::string folder = createdPresetsFolder ();
	return folder.empty () ? std::string () : presetPath (folder, name);
}
} // namespace

bool loadPresetByName (PresetTarget& target, const std::string& name)
{
	const std::string path = presetPathForName (name);
	if (path.empty () || !exists (path))
		return false;
	return readPresetFile (target, path);
}

bool savePresetByName (PresetTarget& target, const std::string& name, const FileOps& ops)
{
	const std::string path = presetPathForName (name);
	if (path.empty ())
		return false;
	createFolders (fs::path (path).parent_path ().string ());
	return writePresetFile (target, path, ops);
}

bool restoreCurrentState (PresetTarget& target, std::uint64_t instanceNumber)
{
	const std::string path = currentStatePath (instanceNumber);
	if (path.empty () || !exists (path))
		return false;
	return readPresetFile (target, path);
}

} // namespace QuenrilEQ
