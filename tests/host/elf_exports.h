// Reads the names a shared library exports from its ELF dynamic symbol table.
#pragma once

#include <string>
#include <vector>

namespace QuenrilEQ {
namespace testing {

/** Sorted names of the defined global and weak symbols in .dynsym of a
 *  64-bit little-endian ELF file; empty when the file cannot be read as one. */
std::vector<std::string> exportedSymbols (const std::string& path);

} // namespace testing
} // namespace QuenrilEQ
