// The factory the plug-in view uses to create its web view.
#pragma once

#include <functional>
#include <memory>

#include "pluginterfaces/gui/iplugview.h"
#include "webview.h"

namespace webbridge {

/// Creates the platform's browser as a child of `parent` (on Linux the host's
/// X11 window id, passed as the pointer-sized value the host gave `attached`)
/// and starts it; `ready` is called with the web view once the browser can
/// take bindings and a page (on Linux during this call). The plug frame
/// supplies the host's run loop, which drives the browser. Returns null when
/// the browser cannot be created (no display, no run loop, EGL not working):
/// the editor then stays empty. `debug` opens the web inspector.
/// [UI thread]
std::unique_ptr<Webview> MakeWebview(bool debug, Steinberg::IPlugFrame* frame, void* parent,
                                     std::function<void(Webview*)> ready);

}  // namespace webbridge
