// Preset files and per-instance current-state files in the user's documents
// folder: $HOME/Documents/QuenrilEQ/presets/<name>.quenrileqpreset and
// $HOME/Documents/QuenrilEQ/state/_current_state_<instance>.quenrileqpreset.
// Paths and names are UTF-8 strings with "/" as separator. Everything here
// runs on the UI thread and blocks it for the file access; failures are
// reported only as false or an empty list.
#pragma once

#include "atomic_file.h"
#include "parameters.h"

#include <cstdint>
#include <string>
#include <vector>

namespace QuenrilEQ {

/** What reading and writing preset files needs from the controller. */
class PresetTarget
{
public:
	/** Current normalised value (0..1) of a parameter. */
	virtual double presetValue (ParamId id) = 0;
	/** One value line of a file, value as written (not clamped, any id):
	    set the parameter and report it to the host as an edit. */
	virtual void applyPresetValue (ParamId id, double value) = 0;
	/** After the last line of a file that was read. */
	virtual void presetApplied () = 0;

protected:
	~PresetTarget () = default;
};

/** $HOME/Documents/QuenrilEQ, or "" when HOME is unset or empty. Creates nothing. */
std::string baseFolder ();
/** baseFolder + "/presets", or "". Creates nothing. */
std::string presetsFolder ();
/** baseFolder + "/state", or "". Creates nothing. */
std::string stateFolder ();

/** The presets folder after creating it with its parents (failures ignored); "" without HOME. */
std::string createdPresetsFolder ();

/** Creates the state folder and returns
    "<state>/_current_state_<instance in lower-case hex>.quenrileqpreset"; "" without HOME. */
std::string currentStatePath (std::uint64_t instanceNumber);

/** Name rules: not empty; no "/" at either end; no "//"; no "\"; no segment
    that is "." or ".." or made only of dots and spaces; and, because names
    reach the file system as UTF-8 and the page as JSON, no zero byte and no
    invalid UTF-8. Spaces, punctuation, non-ASCII and inner "/" are fine. */
bool isPresetNameValid (const std::string& name);

/** folder + "/" + name + ".quenrileqpreset" (no validation). */
std::string presetPath (const std::string& folder, const std::string& name);

/** Formats the target's current values and replaces the file at path
    atomically. False on any failure; an existing file is then unchanged. */
bool writePresetFile (PresetTarget& target, const std::string& path, const FileOps& ops = systemFileOps ());

/** Reads the whole file, then applies its value lines in file order and
    calls presetApplied. False, with nothing applied, when the file cannot be
    opened or read. */
bool readPresetFile (PresetTarget& target, const std::string& path);

/** Names of all "*.quenrileqpreset" files below the presets folder (also in
    subfolders, "/"-separated, extension removed), sorted byte-wise. Empty
    without HOME or on an error while walking the folder. */
std::vector<std::string> listPresets ();

/** False for an invalid name, no HOME, a missing file, or a file that
    cannot be opened or read; else the file was applied: true. */
bool loadPresetByName (PresetTarget& target, const std::string& name);

/** Writes the current values under name, creating subfolders; replaces an
    existing preset. False for an invalid name, no HOME or a failed write. */
bool savePresetByName (PresetTarget& target, const std::string& name, const FileOps& ops = systemFileOps ());

/** Applies this instance's current-state file. False without HOME, when
    the file does not exist, or when it cannot be opened or read. */
bool restoreCurrentState (PresetTarget& target, std::uint64_t instanceNumber);

} // namespace QuenrilEQ
