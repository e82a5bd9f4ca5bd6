// Fuzzes the messages the editor page posts: each line of the input is one
// message text handed to OnMessage of a web view holding all three binding
// sets of the controller, bound in the editor's order. Invariants: OnMessage
// never throws (it is noexcept, so a throw ends the run); every evaluated
// script passes checkScripts; the controller's values stay normalised.
#include <cstdint>
#include <string>

#include "../webview/recording_webview.h"
#include "script_checks.h"

using namespace QuenrilEQ;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static qeqtest::RecordingWebview view;
  static fuzzing::EditorBindings editor;
  static const bool bound = (editor.bindInto(view), true);
  (void)bound;
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (size_t start = 0, n = 0; n < 16 && start <= input.size(); ++n) {
    const size_t end = std::min(input.find('\n', start), input.size());
    const std::string message = input.substr(start, end - start);
    start = end + 1;
    fuzzing::checkScripts(view.post(message), message);
    editor.checkValues();
  }
  editor.forgetInput();
  return 0;
}
