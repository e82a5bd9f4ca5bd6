// Factory presets: the bundle ships them in Contents/Resources/presets/, and
// on the first use of each version the controller copies them into the user's
// presets folder under "Factory/", where the page lists and loads them like
// the user's own. The copy happens once per version (a marker file records
// it), so a factory preset the user deleted stays deleted until the next
// version; an existing file is never replaced and nothing is ever deleted.
#pragma once

#include <string>

namespace QuenrilEQ {

/** Where one installation reads and writes. */
struct FactoryPresetPlaces
{
	std::string source;       ///< folder holding the shipped "*.quenrileqpreset" files
	std::string destination;  ///< the user's "<presets>/Factory" folder
	std::string marker;       ///< file naming the version whose presets were installed
};

/** Unless the marker already names version: creates the destination folder,
    copies every shipped preset that has no file (or folder, or link) of its
    name there yet, and, when every preset is in place, writes version to the
    marker. True when the presets of this version are in place (now or
    before); false when there is nothing to install (no source folder, no
    preset in it) or a folder or file could not be written; the marker is then
    left alone, so the next use tries again. [UI thread; blocks on the disk] */
bool installFactoryPresets (const FactoryPresetPlaces& places, const std::string& version);

/** installFactoryPresets for this module and user, with this build's version:
    from the Resources/presets folder of the bundle holding this code into
    "<presets folder>/Factory", marker "<state folder>/factory-presets.version".
    Does nothing without HOME. [UI thread; blocks on the disk] */
void installBundledFactoryPresets ();

} // namespace QuenrilEQ
