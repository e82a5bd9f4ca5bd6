// The editor's preset functions: list, load and save presets, recall the
// automatically saved current state, keep the page's A/B and undo-history
// texts, read the version and open web links.
#pragma once

#include "webview/webview.h"

namespace QuenrilEQ {

class QuenrilEQController;

/// Binds "listPresets", "loadPresetByName", "savePresetByName",
/// "restoreCurrentState", "getPluginVersion", "openExternalUrl",
/// "getAbActiveSlot", "setAbActiveSlot", "getAbInactiveSlotJson",
/// "setAbInactiveSlotJson", "getHistoryState" and "setHistoryState".
/// Every function answers; refusals are false (an empty list for the
/// listing). Owned by the controller, which must outlive every web view
/// bound. All functions run on the UI thread; file access and xdg-open block it.
class PresetBindings final : public webbridge::Bindings {
 public:
  explicit PresetBindings(QuenrilEQController* controller) : controller_(controller) {}

  void Bind(webbridge::Webview* webview) override;

 private:
  QuenrilEQController* controller_;  // not owned
};

}  // namespace QuenrilEQ
