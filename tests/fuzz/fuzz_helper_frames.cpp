// Fuzzes what the editor's browser helper sends the plug-in: the input is a
// sequence of datagrams (two length bytes, little-endian, then that many
// bytes), written to the helper's end of the socket of a HelperWebview that
// holds the controller's three binding sets. Invariants: nothing crashes or
// throws; the plug-in answers only with init scripts, Quit and scripts that
// pass checkScripts (answers of bound functions, change notifications),
// whatever the helper claims; the controller's values stay normalised.
#include <cstdint>
#include <string>

#include "../webview/fake_helper.h"
#include "helper_webview.h"
#include "script_checks.h"

using namespace QuenrilEQ;
using webbridge::ipc::MessageType;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static fuzzing::EditorBindings editor;
  {
    qeqtest::FakeHelper helper;
    webbridge::HelperWebview view(helper.pluginEnd());
    editor.bindInto(view);
    // Reassembles what was sent the way the plug-in must, to know which page message an answer belongs to.
    webbridge::ipc::MessageAssembler sent;
    std::string pageMessage;
    for (size_t at = 0, n = 0; n < 64 && at + 2 <= size && view.HelperConnected(); ++n) {
      const size_t length = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
      const std::string datagram(reinterpret_cast<const char*>(data + at + 2), length);
      at += 2 + length;
      helper.sendRaw(datagram);
      if (sent.Add(datagram.data(), datagram.size()) == webbridge::ipc::MessageAssembler::Result::Complete) {
        webbridge::ipc::Message m = sent.Take();
        if (m.type == MessageType::PageMessage) pageMessage = m.payload;
      }
      view.OnHelperReadable();
      for (const webbridge::ipc::Message& m : helper.receiveAll()) {
        if (m.type == MessageType::AddInitScript || m.type == MessageType::Quit) continue;
        std::uint32_t id = 0;
        std::string_view script;
        fuzzing::check(m.type == MessageType::EvalJS && webbridge::ipc::SplitNumber(m.payload, id, script));
        fuzzing::checkScripts({std::string(script)}, pageMessage);
      }
      editor.checkValues();
    }
    editor.parameters.DetachWebview();
  }
  editor.forgetInput();
  return 0;
}
