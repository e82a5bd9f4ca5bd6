// Shared by the fuzz targets that reach the bridge: the controller with its
// three binding sets bound into a web view, and the checks every script the
// bridge evaluates in the page must pass: one answer "window._rpc[N].resolve(R);
// delete window._rpc[N]" whose R parses as JSON, or "notifyParameterChange(J);"
// whose J parses. A violation aborts the run.
#pragma once

#include "fuzz_support.h"

#include "../controller/controller_test_support.h"
#include "controller.h"
#include "eq_bindings.h"
#include "preset_bindings.h"
#include "webview/controller_bindings.h"

#include <nlohmann/json.hpp>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace QuenrilEQ {
namespace fuzzing {

using nlohmann::json;

inline bool parses (const std::string& text)
{
	try
	{
		(void)json::parse (text);
		return true;
	}
	catch (const json::exception&)
	{
		return false;
	}
}

inline bool endsWith (const std::string& s, const std::string& tail)
{
	return s.size () >= tail.size () && s.compare (s.size () - tail.size (), tail.size (), tail) == 0;
}

/** The call number of an answer script; aborts on anything malformed. */
inline long long checkAnswer (const std::string& script)
{
	const std::string head = "window._rpc[";
	size_t p = head.size ();
	const size_t digits = p + (script[p] == '-' ? 1 : 0);
	size_t q = digits;
	while (q < script.size () && script[q] >= '0' && script[q] <= '9')
		++q;
	if (q == digits || q - digits > 10)
		std::abort ();
	const std::string number = script.substr (p, q - p);
	const std::string middle = "].resolve(";
	const std::string tail = "); delete window._rpc[" + number + "]";
	if (script.compare (q, middle.size (), middle) != 0 || !endsWith (script, tail))
		std::abort ();
	const size_t start = q + middle.size ();
	if (script.size () < start + tail.size () || !parses (script.substr (start, script.size () - start - tail.size ())))
		std::abort ();
	return std::stoll (number);
}

inline void checkScripts (const std::vector<std::string>& scripts, const std::string& message)
{
	int answers = 0;
	for (const std::string& script : scripts)
	{
		const std::string notify = "notifyParameterChange(";
		if (script.compare (0, notify.size (), notify) == 0)
		{
			if (!endsWith (script, ");") || script.size () < notify.size () + 2 ||
			    !parses (script.substr (notify.size (), script.size () - notify.size () - 2)))
				std::abort ();
			continue;
		}
		if (script.compare (0, 12, "window._rpc[") != 0)
			std::abort ();
		const long long seq = checkAnswer (script);
		++answers;
		// An integral id that fits an int comes back unchanged.
		try
		{
			const json m = json::parse (message);
			if (m.is_object () && m.contains ("id") && m["id"].is_number_integer ())
			{
				const long long id = m["id"].get<long long> ();
				if (id >= INT_MIN && id <= INT_MAX && id != seq)
					std::abort ();
			}
		}
		catch (const json::exception&)
		{
			std::abort ();  // answered although the message was not JSON
		}
	}
	if (answers > 1)
		std::abort ();
}

/** A folder on PATH whose xdg-open succeeds without opening anything. */
inline void harmlessXdgOpen ()
{
	const std::string bin = fuzzSandbox () + "/bin";
	std::filesystem::create_directories (bin);
	std::ofstream (bin + "/xdg-open") << "#!/bin/sh\nexit 0\n";
	std::filesystem::permissions (bin + "/xdg-open", std::filesystem::perms::owner_all);
	setenv ("PATH", bin.c_str (), 1);
}

/** A controller with the editor's three binding sets. */
struct EditorBindings
{
	EditorBindings ()
	: parameters (hosted.controller.get ()), eq (hosted.controller.get ()), presets (hosted.controller.get ())
	{
	}
	~EditorBindings () { parameters.UnsubscribeAll (); }

	/** Binds the three sets in the editor's order. */
	void bindInto (webbridge::Webview& view)
	{
		parameters.Bind (&view);
		eq.Bind (&view);
		presets.Bind (&view);
	}

	testing::HostedController hosted;
	webbridge::WebviewControllerBindings parameters;
	EqBindings eq;
	PresetBindings presets;
};

} // namespace fuzzing
} // namespace QuenrilEQ
