// Reads what a shared library exports and needs from its ELF dynamic tables.
#pragma once

#include <string>
#include <vector>

namespace QuenrilEQ {
namespace testing {

/** Sorted names of the defined global and weak symbols in .dynsym of a
 *  64-bit little-endian ELF file; empty when the file cannot be read as one. */
std::vector<std::string> exportedSymbols (const std::string& path);

/** The DT_NEEDED entries (libraries the loader brings in) of such a file, in
 *  file order; empty when it cannot be read as one. */
std::vector<std::string> neededLibraries (const std::string& path);

} // namespace testing
} // namespace QuenrilEQ
