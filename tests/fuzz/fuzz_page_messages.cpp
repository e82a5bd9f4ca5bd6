// Fuzzes the messages the editor page posts: each line of the input is one
// message text handed to OnMessage of a web view holding all three binding
// sets of the controller, bound in the editor's order. Invariants: OnMessage
// never throws (it is noexcept, so a throw ends the run); every evaluated
// script is either one answer "window._rpc[N].resolve(R); delete
// window._rpc[N]" whose R parses as JSON, or "notifyParameterChange(J);"
// whose J parses; the controller's values stay normalised.
#include "fuzz_support.h"

#include "../controller/controller_test_support.h"
#include "../webview/recording_webview.h"
#include "controller.h"
#include "eq_bindings.h"
#include "preset_bindings.h"
#include "webview/controller_bindings.h"

#include <nlohmann/json.hpp>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace QuenrilEQ;
using nlohmann::json;

namespace {

bool parses (const std::string& text)
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

bool endsWith (const std::string& s, const std::string& tail)
{
	return s.size () >= tail.size () && s.compare (s.size () - tail.size (), tail.size (), tail) == 0;
}

/** The call number of an answer script; aborts on anything malformed. */
long long checkAnswer (const std::string& script)
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

void checkScripts (const std::vector<std::string>& scripts, const std::string& message)
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
void harmlessXdgOpen ()
{
	const std::string bin = fuzzing::fuzzSandbox () + "/bin";
	std::filesystem::create_directories (bin);
	std::ofstream (bin + "/xdg-open") << "#!/bin/sh\nexit 0\n";
	std::filesystem::permissions (bin + "/xdg-open", std::filesystem::perms::owner_all);
	setenv ("PATH", bin.c_str (), 1);
}

struct Editor
{
	Editor ()
	: parameters (hosted.controller.get ()), eq (hosted.controller.get ()), presets (hosted.controller.get ())
	{
		parameters.Bind (&view);
		eq.Bind (&view);
		presets.Bind (&view);
	}
	~Editor () { parameters.UnsubscribeAll (); }

	testing::HostedController hosted;
	qeqtest::RecordingWebview view;
	webbridge::WebviewControllerBindings parameters;
	EqBindings eq;
	PresetBindings presets;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
	static const bool ready = (fuzzing::fuzzHome (), harmlessXdgOpen (), true);
	(void)ready;
	static Editor editor;
	const std::string input (reinterpret_cast<const char*> (data), size);
	size_t start = 0;
	for (int n = 0; n < 16 && start <= input.size (); ++n)
	{
		size_t end = input.find ('\n', start);
		if (end == std::string::npos)
			end = input.size ();
		const std::string message = input.substr (start, end - start);
		start = end + 1;
		checkScripts (editor.view.post (message), message);
		if (!fuzzing::controllerValuesInRange (*editor.hosted.controller))
			std::abort ();
	}
	// Subscriptions pile up dependents; each input starts without them.
	editor.parameters.UnsubscribeAll ();
	editor.hosted.handler->clear ();
	return 0;
}
