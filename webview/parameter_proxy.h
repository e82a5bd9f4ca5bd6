// The SDK dependent that turns parameter changes into page notifications.
// Internal to the bridge.
#pragma once

#include "base/source/fobject.h"
#include "webview.h"

namespace webbridge {

/// Registered as dependent of each subscribed parameter; on every change it
/// evaluates "notifyParameterChange(<ParameterObject>);" in its web view.
/// Reference counted by the SDK (count 1 at creation).
class ParameterDependenciesProxy final : public Steinberg::FObject {
 public:
  explicit ParameterDependenciesProxy(Webview* webview) : webview_(webview) {}

  /// The web view to notify; null stops forwarding. [UI thread]
  void setWebview(Webview* webview) { webview_ = webview; }
  Webview* webview() const { return webview_; }

  /// Called by the SDK's update handler, synchronously, on the thread that
  /// changed the parameter. Never throws.
  void PLUGIN_API update(Steinberg::FUnknown* changedUnknown, Steinberg::int32 message) override;

  OBJ_METHODS(ParameterDependenciesProxy, FObject)

 private:
  Webview* webview_;  // not owned
};

}  // namespace webbridge
