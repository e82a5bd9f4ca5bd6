#include "make_webview.h"

#include <cstdint>

#include "linux/helper_webview.h"
#include "pluginterfaces/base/smartpointer.h"

namespace webbridge {

std::unique_ptr<Webview> MakeWebview(bool debug, Steinberg::IPlugFrame* frame, void* parent,
                                     std::function<void(Webview*)> ready) {
  if (!frame) return nullptr;
  Steinberg::FUnknownPtr<Steinberg::Linux::IRunLoop> runLoop(frame);
  if (!runLoop) return nullptr;  // nothing would drive the browser: a frozen editor
  auto browser = std::make_unique<HelperWebview>(
      static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(parent)), debug,
      std::move(ready), runLoop.get());
  if (!browser->CreateBrowser()) return nullptr;
  return browser;
}

}  // namespace webbridge
