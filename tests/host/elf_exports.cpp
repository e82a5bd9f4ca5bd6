#include "elf_exports.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace QuenrilEQ {
namespace testing {

namespace {
template <typename T>
bool readAt (const std::vector<char>& file, size_t offset, T& value)
{
	if (offset > file.size () || file.size () - offset < sizeof (T))
		return false;
	std::memcpy (&value, file.data () + offset, sizeof (T));
	return true;
}
std::vector<char> readFile (const std::string& path)
{
	std::ifstream stream (path, std::ios::binary);
	return std::vector<char> ((std::istreambuf_iterator<char> (stream)), std::istreambuf_iterator<char> ());
}

bool readHeader (const std::vector<char>& file, Elf64_Ehdr& header)
{
	return readAt (file, 0, header) && std::memcmp (header.e_ident, ELFMAG, SELFMAG) == 0 &&
	       header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_shentsize == sizeof (Elf64_Shdr);
}

std::string stringAt (const std::vector<char>& file, size_t at)
{
	if (at >= file.size ())
		return {};
	return std::string (file.data () + at, strnlen (file.data () + at, file.size () - at));
}

} // namespace

std::vector<std::string> exportedSymbols (const std::string& path)
{
	std::vector<std::string> names;
	const std::vector<char> file = readFile (path);
	Elf64_Ehdr header {};
	if (!readHeader (file, header))
		return names;

	for (size_t s = 0; s < header.e_shnum; ++s)
	{
		Elf64_Shdr section {};
		if (!readAt (file, header.e_shoff + s * sizeof (Elf64_Shdr), section) || section.sh_type != SHT_DYNSYM)
			continue;
		Elf64_Shdr strings {};
		if (!readAt (file, header.e_shoff + section.sh_link * sizeof (Elf64_Shdr), strings))
			return names;
		// Entry 0 is the reserved null symbol.
		for (size_t offset = sizeof (Elf64_Sym); offset + sizeof (Elf64_Sym) <= section.sh_size; offset += sizeof (Elf64_Sym))
		{
			Elf64_Sym symbol {};
			if (!readAt (file, section.sh_offset + offset, symbol))
				break;
			const int binding = ELF64_ST_BIND (symbol.st_info);
			if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK))
				continue;
			const size_t at = strings.sh_offset + symbol.st_name;
			if (at < file.size ())
				names.push_back (stringAt (file, at));
		}
	}
	std::sort (names.begin (), names.end ());
	return names;
}

std::vector<std::string> neededLibraries (const std::string& path)
{
	std::vector<std::string> needed;
	const std::vector<char> file = readFile (path);
	Elf64_Ehdr header {};
	if (!readHeader (file, header))
		return needed;
	for (size_t s = 0; s < header.e_shnum; ++s)
	{
		Elf64_Shdr section {};
		if (!readAt (file, header.e_shoff + s * sizeof (Elf64_Shdr), section) || section.sh_type != SHT_DYNAMIC)
			continue;
		Elf64_Shdr strings {};
		if (!readAt (file, header.e_shoff + section.sh_link * sizeof (Elf64_Shdr), strings))
			return needed;
		for (size_t offset = 0; offset + sizeof (Elf64_Dyn) <= section.sh_size; offset += sizeof (Elf64_Dyn))
		{
			Elf64_Dyn entry {};
			if (!readAt (file, section.sh_offset + offset, entry) || entry.d_tag == DT_NULL)
				break;
			if (entry.d_tag == DT_NEEDED)
				needed.push_back (stringAt (file, strings.sh_offset + entry.d_un.d_val));
		}
	}
	return needed;
}

} // namespace testing
} // namespace QuenrilEQ
