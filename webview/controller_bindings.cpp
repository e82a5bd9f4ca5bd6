#include "controller_bindings.h"

#include <algorithm>
#include <cstring>

#include "json_convert.h"
#include "parameter_object.h"
#include "parameter_proxy.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "utf.h"

namespace webbridge {

using nlohmann::json;
using Steinberg::FUnknownPtr;
using Steinberg::IPtr;
using Steinberg::kResultOk;
using Steinberg::Vst::ParamID;

namespace {

// Argument n of the page's call. Too few arguments (or none at all) throw,
// which leaves the call unanswered like any other malformed call.
const json& arg(const json& args, std::size_t n) { return args.at(n); }

ParamID paramId(const json& args, std::size_t n) {
  return static_cast<ParamID>(jsonToInt(arg(args, n)));
}

// Values are doubles; integers convert, a boolean throws type_error 302.
double value(const json& args, std::size_t n) { return arg(args, n).get<double>(); }

void setAttribute(Steinberg::Vst::IAttributeList& attributes, const std::string& key,
                  const json& member) {
  const char* id = key.c_str();
  switch (member.type()) {
    case json::value_t::number_float:
      attributes.setFloat(id, member.get<double>());
      break;
    case json::value_t::number_integer:
      attributes.setInt(id, member.get<std::int64_t>());
      break;
    case json::value_t::number_unsigned:
      attributes.setInt(id, static_cast<Steinberg::int64>(member.get<std::uint64_t>()));
      break;
    case json::value_t::boolean:
      // Attributes have no boolean kind; refuse rather than guess 0/1.
      member.get<double>();  // throws "type must be number, but is boolean"
      break;
    case json::value_t::string: {
      // The attribute holds at most 127 units plus the terminating zero;
      // longer text is cut, never in the middle of a surrogate pair.
      Steinberg::Vst::String128 buffer{};
      const std::u16string text = utf8ToUtf16(member.get<std::string>());
      std::size_t n = std::min<std::size_t>(text.size(), 127);
      if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
      std::memcpy(buffer, text.data(), n * sizeof(char16_t));
      attributes.setString(id, buffer);
      break;
    }
    case json::value_t::binary: {
      const auto& bytes = member.get_binary();
      attributes.setBinary(id, bytes.data(), static_cast<Steinberg::uint32>(bytes.size()));
      break;
    }
    default:  // null, object, array, discarded: nothing to store
      break;
  }
}

}  // namespace

WebviewControllerBindings::WebviewControllerBindings(Steinberg::Vst::EditController* controller)
    : controller_(controller) {
  const std::pair<const char*, Method> table[] = {
      {"getParameterObject", &WebviewControllerBindings::getParameterObject},
      {"getParameterObjects", &WebviewControllerBindings::getParameterObjects},
      {"subscribeParameter", &WebviewControllerBindings::subscribeParameter},
      {"setParamNormalized", &WebviewControllerBindings::setParamNormalized},
      {"normalizedParamToPlain", &WebviewControllerBindings::normalizedParamToPlain},
      {"getParamNormalized", &WebviewControllerBindings::getParamNormalized},
      {"beginEdit", &WebviewControllerBindings::beginEdit},
      {"performEdit", &WebviewControllerBindings::performEdit},
      {"endEdit", &WebviewControllerBindings::endEdit},
      {"getParameterCount", &WebviewControllerBindings::getParameterCount},
      {"getSelectedUnit", &WebviewControllerBindings::getSelectedUnit},
      {"selectUnit", &WebviewControllerBindings::selectUnit},
      {"sendMessage", &WebviewControllerBindings::sendMessage},
  };
  for (const auto& [name, method] : table) {
    functions_.emplace_back(name, [this, method = method](Webview* webview, int, const std::string&,
                                                           const json& args) {
      return (this->*method)(webview, args);
    });
  }
}

WebviewControllerBindings::~WebviewControllerBindings() {
  UnsubscribeAll();
  if (proxy_) proxy_->release();
}

void WebviewControllerBindings::Bind(Webview* webview) {
  for (const auto& [name, function] : functions_) webview->BindFunction(name, function);
  pointProxyAt(webview);
}

void WebviewControllerBindings::pointProxyAt(Webview* webview) {
  if (proxy_)
    proxy_->setWebview(webview);
  else
    proxy_ = new ParameterDependenciesProxy(webview);  // SDK reference counting, released in the destructor
}

void WebviewControllerBindings::DetachWebview() {
  if (proxy_) proxy_->setWebview(nullptr);
}

void WebviewControllerBindings::UnsubscribeAll() {
  if (proxy_ && controller_) {
    for (ParamID id : subscribed_) {
      if (auto* parameter = controller_->getParameterObject(id)) parameter->removeDependent(proxy_);
    }
  }
  subscribed_.clear();
}

json WebviewControllerBindings::getParameterObject(Webview*, const json& args) {
  auto* parameter = controller_->getParameterObject(paramId(args, 0));
  return parameter ? parameterObject(*parameter) : json(nullptr);
}

json WebviewControllerBindings::getParameterObjects(Webview*, const json& args) {
  // The result is indexed by identifier, so the page can look objects up
  // directly; gaps are null. Iterating a lone number visits it once.
  json result = nullptr;
  for (const json& element : arg(args, 0)) {
    const int id = jsonToInt(element);
    if (id < 0) continue;  // cannot index an array
    auto* parameter = controller_->getParameterObject(static_cast<ParamID>(id));
    if (!parameter) continue;
    if (result.is_null()) result = json::array();
    result[static_cast<std::size_t>(id)] = parameterObject(*parameter);  // pads with null
  }
  return result;
}

json WebviewControllerBindings::subscribeParameter(Webview* webview, const json& args) {
  const ParamID id = paramId(args, 0);
  auto* parameter = controller_->getParameterObject(id);
  if (!parameter) return nullptr;
  if (!proxy_) pointProxyAt(webview);
  // Added on every call: a page that subscribes again after a reload must
  // keep getting notifications; the SDK removes all copies at once.
  parameter->addDependent(proxy_);
  if (std::find(subscribed_.begin(), subscribed_.end(), id) == subscribed_.end())
    subscribed_.push_back(id);
  return true;
}

json WebviewControllerBindings::setParamNormalized(Webview*, const json& args) {
  const ParamID id = paramId(args, 0);
  return controller_->setParamNormalized(id, value(args, 1)) == kResultOk;
}

json WebviewControllerBindings::normalizedParamToPlain(Webview*, const json& args) {
  const ParamID id = paramId(args, 0);
  return controller_->normalizedParamToPlain(id, value(args, 1));
}

json WebviewControllerBindings::getParamNormalized(Webview*, const json& args) {
  return controller_->getParamNormalized(paramId(args, 0));
}

json WebviewControllerBindings::beginEdit(Webview*, const json& args) {
  return controller_->beginEdit(paramId(args, 0)) == kResultOk;
}

json WebviewControllerBindings::performEdit(Webview*, const json& args) {
  const ParamID id = paramId(args, 0);
  return controller_->performEdit(id, value(args, 1)) == kResultOk;
}

json WebviewControllerBindings::endEdit(Webview*, const json& args) {
  return controller_->endEdit(paramId(args, 0)) == kResultOk;
}

json WebviewControllerBindings::getParameterCount(Webview*, const json&) {
  return controller_->getParameterCount();
}

json WebviewControllerBindings::getSelectedUnit(Webview*, const json&) {
  FUnknownPtr<Steinberg::Vst::IUnitInfo> units(controller_->unknownCast());
  return units ? units->getSelectedUnit() : Steinberg::Vst::kRootUnitId;
}

json WebviewControllerBindings::selectUnit(Webview*, const json& args) {
  const auto unit = static_cast<Steinberg::Vst::UnitID>(jsonToInt(arg(args, 0)));
  FUnknownPtr<Steinberg::Vst::IUnitInfo> units(controller_->unknownCast());
  // The SDK's own result code, not a boolean: the page may tell them apart.
  return static_cast<int>(units ? units->selectUnit(unit) : Steinberg::kNoInterface);
}

json WebviewControllerBindings::sendMessage(Webview*, const json& args) {
  const std::string messageId = arg(args, 0).get<std::string>();
  const json attributes = args.size() > 1 ? args[1] : json(nullptr);
  // allocateMessage hands over a new reference; IPtr's owned form releases it.
  IPtr<Steinberg::Vst::IMessage> message = Steinberg::owned(controller_->allocateMessage());
  if (!message) return true;  // no host message support: nothing to send
  message->setMessageID(messageId.c_str());
  Steinberg::Vst::IAttributeList* list = message->getAttributes();
  if (list) {
    for (const auto& member : attributes.items()) setAttribute(*list, member.key(), member.value());
  }
  controller_->sendMessage(message);
  return true;
}

}  // namespace webbridge
