// Generic page access to any VST 3 edit controller: parameter descriptions
// and values, host edit gestures, units, messages to the processor, and
// change notifications pushed into the page (notifyParameterChange).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "public.sdk/source/vst/vsteditcontroller.h"
#include "webview.h"

namespace webbridge {

class ParameterDependenciesProxy;

/// Binds "getParameterObject", "getParameterObjects", "subscribeParameter",
/// "setParamNormalized", "normalizedParamToPlain", "getParamNormalized",
/// "beginEdit", "performEdit", "endEdit", "getParameterCount",
/// "getSelectedUnit", "selectUnit" and "sendMessage".
///
/// One instance per controller, shared by all of its views: change
/// notifications go to the web view of the latest Bind. The controller owns
/// the set and must outlive it. Everything runs on the UI thread.
class WebviewControllerBindings final : public Bindings {
 public:
  /// `controller` is not owned; it owns this set.
  explicit WebviewControllerBindings(Steinberg::Vst::EditController* controller);
  /// Drops every subscription, then the proxy.
  ~WebviewControllerBindings();

  WebviewControllerBindings(const WebviewControllerBindings&) = delete;
  WebviewControllerBindings& operator=(const WebviewControllerBindings&) = delete;

  /// Binds the thirteen functions and points change notifications at
  /// `webview` (creating the proxy on first use).
  void Bind(Webview* webview) override;

  /// Stops forwarding changes: the web view is about to go away. The
  /// subscriptions stay, so a later Bind resumes notifications.
  void DetachWebview();

  /// Removes the proxy from every subscribed parameter and forgets them.
  void UnsubscribeAll();

  /// Subscribed identifiers in subscription order, each once.
  const std::vector<Steinberg::Vst::ParamID>& subscribedParameters() const { return subscribed_; }

 private:
  using Method = nlohmann::json (WebviewControllerBindings::*)(Webview*, const nlohmann::json&);

  nlohmann::json getParameterObject(Webview*, const nlohmann::json& args);
  nlohmann::json getParameterObjects(Webview*, const nlohmann::json& args);
  nlohmann::json subscribeParameter(Webview*, const nlohmann::json& args);
  nlohmann::json setParamNormalized(Webview*, const nlohmann::json& args);
  nlohmann::json normalizedParamToPlain(Webview*, const nlohmann::json& args);
  nlohmann::json getParamNormalized(Webview*, const nlohmann::json& args);
  nlohmann::json beginEdit(Webview*, const nlohmann::json& args);
  nlohmann::json performEdit(Webview*, const nlohmann::json& args);
  nlohmann::json endEdit(Webview*, const nlohmann::json& args);
  nlohmann::json getParameterCount(Webview*, const nlohmann::json& args);
  nlohmann::json getSelectedUnit(Webview*, const nlohmann::json& args);
  nlohmann::json selectUnit(Webview*, const nlohmann::json& args);
  nlohmann::json sendMessage(Webview*, const nlohmann::json& args);

  void pointProxyAt(Webview* webview);

  std::vector<std::pair<std::string, BindingFunction>> functions_;
  ParameterDependenciesProxy* proxy_ = nullptr;  // owned: SDK reference count
  std::vector<Steinberg::Vst::ParamID> subscribed_;
  Steinberg::Vst::EditController* controller_;
};

}  // namespace webbridge
