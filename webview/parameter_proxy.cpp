#include "parameter_proxy.h"

#include "json_convert.h"
#include "parameter_object.h"

namespace webbridge {

void PLUGIN_API ParameterDependenciesProxy::update(Steinberg::FUnknown* changedUnknown,
                                                   Steinberg::int32 message) {
  if (!webview_ || message != IDependent::kChanged) return;
  Steinberg::FObject* object = Steinberg::FObject::unknownToObject(changedUnknown);
  auto* parameter = Steinberg::FCast<Steinberg::Vst::Parameter>(object);
  if (!parameter) return;
  try {
    const std::string script = "notifyParameterChange(" + jsonCompact(parameterObject(*parameter)) + ");";
    webview_->EvalJS(script, [](const nlohmann::json&) {});
  } catch (...) {
    // The SDK's update loop cannot take exceptions; a lost notification is harmless.
  }
}

}  // namespace webbridge
