// Fuzzes the messages the editor page posts: each line of the input is one
// message text handed to OnMessage of a web view holding all three binding
// sets of the controller, bound in the editor's order. Invariants: OnMessage
// never throws (it is noexcept, so a throw ends the run); every evaluated
// script is either one answer "window._rpc[N].resolve(R); delete
// window._rpc[N]" whose R parses as JSON, or "notifyParameterChange(J);"
// whose J parses; the controller's values stay normalised.
#include "script_checks.h"

#include "../webview/recording_webview.h"

#include <cstdint>
#include <string>

using namespace QuenrilEQ;

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
	static const bool ready = (fuzzing::fuzzHome (), fuzzing::harmlessXdgOpen (), true);
	(void)ready;
	static qeqtest::RecordingWebview view;
	static fuzzing::EditorBindings editor;
	static const bool bound = (editor.bindInto (view), true);
	(void)bound;
	const std::string input (reinterpret_cast<const char*> (data), size);
	size_t start = 0;
	for (int n = 0; n < 16 && start <= input.size (); ++n)
	{
		size_t end = input.find ('\n', start);
		if (end == std::string::npos)
			end = input.size ();
		const std::string message = input.substr (start, end - start);
		start = end + 1;
		fuzzing::checkScripts (view.post (message), message);
		if (!fuzzing::controllerValuesInRange (*editor.hosted.controller))
			std::abort ();
	}
	// Subscriptions pile up dependents; each input starts without them.
	editor.parameters.UnsubscribeAll ();
	editor.hosted.handler->clear ();
	return 0;
}
