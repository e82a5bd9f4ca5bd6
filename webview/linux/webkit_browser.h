// The browser of the Linux web view: WebKitGTK 4.1 in the GTK window of
// WebviewGtk. Installs the page transport, hands page messages to the bridge,
// evaluates scripts and keeps its profile in a per-module folder.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "webview_gtk.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitUserContentManager WebKitUserContentManager;
typedef struct _GCancellable GCancellable;

namespace webbridge {

/// A WebviewGtk holding a WebKitWebView. Scripts handed to EvalJS before the
/// first document is committed would be lost, so they wait for it; script
/// results arrive later, on the user-interface thread, and never after the
/// object has gone. Every operation runs on the host's user-interface thread.
class WebKitBrowser : public WebviewGtk {
 public:
  /// The name of the script message channel the transport posts to.
  static constexpr const char* kMessageChannel = "webbridge";
  /// The transport that the bound stubs call: window.external.invoke(text).
  static constexpr const char* kTransportScript =
      "window.external={invoke:s=>window.webkit.messageHandlers.webbridge.postMessage(s)}";

  WebKitBrowser(unsigned long parent, bool debug, ReadyCallback ready,
                Steinberg::Linux::IRunLoop* runLoop);
  ~WebKitBrowser() override;

  /// Checks EGL, creates the web view, installs the transport and calls the
  /// ready callback (at once: nothing here is asynchronous). False when there
  /// is no window or EGL does not work; then no web view exists.
  bool CreateBrowser() override;

  /// Addresses with a scheme load as they are; an absolute file path is turned
  /// into a file: URI (so "…/Resources//index.html" works).
  void Navigate(const std::string& url) override;
  void EvalJS(const std::string& script,
              std::function<void(const nlohmann::json&)> callback) override;
  void AddInitScript(const std::string& script) override;
  void SetVisible(bool visible) override;
  void Dispatch(std::function<void()> fn) override;
  void Resize() override;

  /// True once the current navigation's document exists (scripts then run
  /// at once instead of waiting).
  bool DocumentCommitted() const { return committed_; }

 protected:
  void OnWindowGone() override;

 private:
  struct PendingScript {
    std::string script;
    std::function<void(const nlohmann::json&)> callback;
  };

  static void onScriptMessage(WebKitUserContentManager*, void* result, void* self);
  static void onLoadChanged(WebKitWebView*, int event, void* self);
  static int onPermissionRequest(WebKitWebView*, void* request, void* self);
  void evaluate(const std::string& script, std::function<void(const nlohmann::json&)> callback);
  void releaseBrowser();

  WebKitWebView* view_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  GCancellable* cancel_ = nullptr;
  bool committed_ = false;    // a document of ours exists
  bool provisional_ = false;  // a new load started and has not committed yet
  std::deque<PendingScript> pending_;
};

/// The browser profile folder of this module (see ProfileFolderFor), or
/// empty when none can be formed. Any thread.
std::string BrowserProfileFolder();

}  // namespace webbridge
