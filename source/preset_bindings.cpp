#include "preset_bindings.h"

#include <cstdint>
#include <optional>

#include "controller.h"
#include "plugids.h"
#include "preset_files.h"
#include "url_opener.h"

namespace QuenrilEQ {

using nlohmann::json;

namespace {

// Argument 1 of a call when present: none for null or empty arguments. A
// string or object in place of the argument array throws type_error 305,
// which the bridge turns into "no answer".
const json* firstArgument(const json& args) {
  if (args.is_null() || args.empty()) return nullptr;
  return &args[0];
}

std::optional<std::string> stringArgument(const json& args) {
  const json* first = firstArgument(args);
  if (!first || !first->is_string()) return std::nullopt;
  return first->get<std::string>();
}

}  // namespace

void PresetBindings::Bind(webbridge::Webview* webview) {
  QuenrilEQController* controller = controller_;
  using Args = const json&;
  auto bind = [webview](const char* name, std::function<json(Args)> body) {
    webview->BindFunction(name, [body = std::move(body)](webbridge::Webview*, int, const std::string&, Args args) {
      return body(args);
    });
  };

  bind("listPresets", [controller](Args) {
    json names = json::array();
    // A file name that is no valid preset name (e.g. invalid UTF-8) could not
    // be loaded and would make the whole answer unserialisable: leave it out.
    for (const std::string& name : controller->listPresets())
      if (isPresetNameValid(name)) names.push_back(name);
    return names;
  });
  bind("loadPresetByName", [controller](Args args) -> json {
    const auto name = stringArgument(args);
    return name && controller->loadPresetByName(*name);
  });
  bind("savePresetByName", [controller](Args args) -> json {
    const auto name = stringArgument(args);
    return name && controller->savePresetByName(*name);
  });
  bind("restoreCurrentState", [controller](Args) -> json { return controller->restoreCurrentState(); });
  bind("getPluginVersion", [](Args) -> json { return kVersion; });
  bind("openExternalUrl", [](Args args) -> json {
    const auto url = stringArgument(args);
    return url && openExternalUrl(*url);
  });
  bind("getAbActiveSlot", [controller](Args) -> json { return controller->getAbActiveSlot(); });
  bind("setAbActiveSlot", [controller](Args args) -> json {
    const json* first = firstArgument(args);
    if (!first || !first->is_number_integer()) return false;  // 1.5, 1e0 and "1" are refused
    // Any integer is kept; its low 32 bits, as the project stream stores 32.
    const auto bits = first->is_number_unsigned() ? static_cast<std::uint32_t>(first->get<std::uint64_t>())
                                                  : static_cast<std::uint32_t>(first->get<std::int64_t>());
    controller->setAbActiveSlot(static_cast<Steinberg::int32>(bits));
    return true;
  });
  bind("getAbInactiveSlotJson", [controller](Args) -> json { return controller->getAbInactiveSlotText(); });
  bind("setAbInactiveSlotJson", [controller](Args args) -> json {
    auto text = stringArgument(args);
    if (!text) return false;
    controller->setAbInactiveSlotText(std::move(*text));
    return true;
  });
  bind("getHistoryState", [controller](Args) -> json { return controller->getHistoryText(); });
  bind("setHistoryState", [controller](Args args) -> json {
    auto text = stringArgument(args);
    if (!text) return false;
    controller->setHistoryText(std::move(*text));
    return true;
  });
}

}  // namespace QuenrilEQ
