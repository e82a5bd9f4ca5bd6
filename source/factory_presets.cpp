#include "factory_presets.h"

#include "atomic_file.h"
#include "module_paths.h"
#include "plugids.h"
#include "preset_files.h"
#include "preset_format.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace QuenrilEQ {

namespace {
constexpr const char* kFactoryFolder = "Factory";
constexpr const char* kMarkerName = "factory-presets.version";

std::vector<fs::path> shippedPresets (const std::string& source)
{
	std::vector<fs::path> presets;
	std::error_code ec;
	fs::directory_iterator it (fs::path (source), ec);
	for (; !ec && it != fs::directory_iterator (); it.increment (ec))
	{
		std::error_code typeError;
		if (it->is_regular_file (typeError) && it->path ().extension ().native () == kPresetExtension)
			presets.push_back (it->path ());
	}
	return ec ? std::vector<fs::path> () : presets;
}

std::string markerText (const std::string& version) { return version + "\n"; }

bool markerNames (const std::string& marker, const std::string& version)
{
	std::string text;
	return readWholeFile (marker, text) && text == markerText (version);
}

/** True when a preset of that name is in place afterwards, whoever put it there. */
bool copyUnlessPresent (const fs::path& from, const fs::path& to)
{
	std::error_code ec;
	if (fs::symlink_status (to, ec).type () != fs::file_type::not_found)
		return !ec;  // the user's entry, whatever it is, stays as it is
	std::string text;
	if (!readWholeFile (from.string (), text))
		return false;
	// Another instance may copy the same file at the same moment: its copy counts.
	return createFileAtomically (to.string (), text) || fs::exists (fs::symlink_status (to, ec));
}
} // namespace

bool installFactoryPresets (const FactoryPresetPlaces& places, const std::string& version)
{
	if (places.destination.empty () || places.marker.empty ())
		return false;
	const std::vector<fs::path> presets = shippedPresets (places.source);
	if (presets.empty ())
		return false;  // a bundle without presets must not mark this version as done
	if (markerNames (places.marker, version))
		return true;

	std::error_code ignored;
	fs::create_directories (fs::path (places.destination), ignored);
	fs::create_directories (fs::path (places.marker).parent_path (), ignored);
	bool complete = true;
	for (const fs::path& preset : presets)
		complete = copyUnlessPresent (preset, fs::path (places.destination) / preset.filename ()) && complete;
	return complete && replaceFileAtomically (places.marker, markerText (version));
}

void installBundledFactoryPresets ()
{
	const std::string presets = presetsFolder ();
	const std::string state = stateFolder ();
	if (presets.empty () || state.empty ())
		return;
	const std::string resources = webbridge::ResourcesFolderFor (webbridge::ModuleFilePath ());
	if (resources.empty ())
		return;
	installFactoryPresets ({resources + "presets", presets + "/" + kFactoryFolder, state + "/" + kMarkerName}, kVersion);
}

} // namespace QuenrilEQ
