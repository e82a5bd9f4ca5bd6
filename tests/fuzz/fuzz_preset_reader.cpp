// Fuzzes the preset file reader as the page reaches it: the input becomes
// the preset file "x" and is loaded by name. The controller's values must
// stay normalised, the host must hear of every value line as one complete
// edit (begin, perform, end of the same id, the value as written; a NaN as
// 0), and the current-state file written afterwards must be a complete
// preset file.
#include "fuzz_support.h"

#include "../controller/controller_test_support.h"
#include "controller.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace QuenrilEQ;
using Kind = host::HandlerCall::Kind;

namespace {

struct ValueLine
{
	std::uint32_t id;
	double value;
};

// The value lines a reader must apply, worked out here from the file text
// alone: lines split at "\n", empty and "#" lines skipped, the first "="
// splits identifier from value.
std::vector<ValueLine> expectedLines (const std::string& text)
{
	std::vector<ValueLine> lines;
	size_t start = 0;
	while (start < text.size ())
	{
		size_t end = text.find ('\n', start);
		if (end == std::string::npos)
			end = text.size ();
		const std::string line = text.substr (start, end - start);
		start = end + 1;
		if (line.empty () || line[0] == '#')
			continue;
		const size_t eq = line.find ('=');
		if (eq == std::string::npos)
			continue;
		const std::string id = line.substr (0, eq);
		const std::string value = line.substr (eq + 1);
		// A "nan" value goes to the host as 0: a NaN would poison its automation.
		const double v = std::strtod (value.c_str (), nullptr);
		lines.push_back ({static_cast<std::uint32_t> (std::strtoul (id.c_str (), nullptr, 10)), std::isnan (v) ? 0.0 : v});
	}
	return lines;
}

bool editsMatch (const std::vector<host::HandlerCall>& calls, const std::vector<ValueLine>& lines)
{
	std::vector<host::HandlerCall> edits;
	for (const host::HandlerCall& c : calls)
		if (c.kind != Kind::RestartComponent)
			edits.push_back (c);
	if (edits.size () != 3 * lines.size ())
		return false;
	for (size_t i = 0; i < lines.size (); ++i)
	{
		const host::HandlerCall* t = &edits[3 * i];
		const std::uint32_t id = lines[i].id;
		if (t[0].kind != Kind::BeginEdit || t[1].kind != Kind::PerformEdit || t[2].kind != Kind::EndEdit)
			return false;
		if (t[0].id != id || t[1].id != id || t[2].id != id || !(t[1].value == lines[i].value))
			return false;
	}
	return true;
}

// 315 lines: the header, then every parameter in table order with a
// normalised value.
bool wellFormedStateFile (const std::string& path)
{
	std::ifstream in (path, std::ios::binary);
	std::vector<std::string> lines;
	for (std::string line; std::getline (in, line);)
		lines.push_back (line);
	if (lines.size () != 315 || lines[0] != "# QuenrilEQ preset")
		return false;
	for (int i = 1; i < 315; ++i)
	{
		const int p = i - 1;
		const unsigned id = p < 2 ? 1002u + p : 2000u + 16u * ((p - 2) / 13) + (p - 2) % 13;
		const std::string prefix = std::to_string (id) + "=";
		if (lines[i].compare (0, prefix.size (), prefix) != 0)
			return false;
		const std::string text = lines[i].substr (prefix.size ());
		char* end = nullptr;
		const double v = std::strtod (text.c_str (), &end);
		if (text.empty () || *end != '\0' || !(v >= 0.0 && v <= 1.0))
			return false;
	}
	return true;
}

std::string stateFile (std::uint64_t instance)
{
	std::ostringstream name;
	name << fuzzing::fuzzStateFolder () << "/_current_state_" << std::hex << instance << ".quenrileqpreset";
	return name.str ();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
	fuzzing::fuzzHome ();
	static testing::HostedController hosted;
	const std::string text (reinterpret_cast<const char*> (data), size);
	testing::writeFile (fuzzing::fuzzPresets () + "/x.quenrileqpreset", text);
	hosted.handler->clear ();

	if (!hosted.controller->loadPresetByName ("x"))
		std::abort ();
	if (!fuzzing::controllerValuesInRange (*hosted.controller))
		std::abort ();
	if (!editsMatch (hosted.handler->calls (), expectedLines (text)))
		std::abort ();
	if (!wellFormedStateFile (stateFile (hosted.controller->getInstanceNumber ())))
		std::abort ();
	return 0;
}
