// Where the editor finds its files on Linux: the module's own path, the
// bundle's Resources folder beside the module's folder, and the browser's
// per-module profile folder.
#pragma once

#include <cstdint>
#include <string>

namespace webbridge {

/// Absolute path of the shared object that holds this code (the plug-in
/// module, or the executable when linked statically), found with dladdr on
/// one of its own symbols. Empty when it cannot be found. Any thread.
std::string ModuleFilePath();

/// The Resources folder for a module file: for ".../Contents/x86_64-linux/X.so"
/// this is ".../Contents/Resources/", lexically normalised and ending in a
/// slash (callers append "/index.html"; the double slash is harmless).
/// Relative paths are taken against the current folder. Empty in, empty out.
/// Pure.
std::string ResourcesFolderFor(const std::string& moduleFile);

/// 64-bit FNV-1a (offset basis 0xcbf29ce484222325, prime 0x100000001b3) over
/// the UTF-16LE bytes of a UTF-8 path; malformed UTF-8 counts as U+FFFD.
/// Gives the same number for a path as the Windows build hashes for the
/// same path. Pure.
std::uint64_t PathHash(const std::string& utf8Path);

/// The browser profile folder for a module: "<data>/webbridge/<hash as 16
/// lower-case hex digits>", where <data> is xdgDataHome when set and
/// non-empty, else "<home>/.local/share". Empty when neither is usable or the
/// module path is empty (the browser then keeps no data on disk). Pure.
std::string ProfileFolderFor(const std::string& moduleFile, const char* xdgDataHome,
                             const char* home);

}  // namespace webbridge
