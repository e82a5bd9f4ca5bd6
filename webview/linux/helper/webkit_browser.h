// The helper's browser: WebKitGTK 4.1 in the GTK window of WebviewGtk.
// Installs the page transport, hands page messages to its sink, evaluates
// scripts and keeps its profile in the folder the plug-in names.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "webview_gtk.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitUserContentManager WebKitUserContentManager;
typedef struct _GCancellable GCancellable;

namespace webbridge {

/// Scripts handed to EvalJS before the first document is committed would be
/// lost, so they wait for it; results arrive later, on the main thread, and
/// never after the object has gone. A script that cannot run has its
/// callback destroyed uncalled. [main thread]
class WebKitBrowser : public WebviewGtk {
 public:
  using MessageSink = std::function<void(const std::string& message)>;
  using ScriptCallback = std::function<void(const nlohmann::json& result)>;

  /// The name of the script message channel the transport posts to.
  static constexpr const char* kMessageChannel = "webbridge";
  /// The transport that the bound stubs call: window.external.invoke(text).
  static constexpr const char* kTransportScript =
      "window.external={invoke:s=>window.webkit.messageHandlers.webbridge.postMessage(s)}";

  /// profileFolder: where the browser keeps its data (empty: nowhere);
  /// sink: receives every text the page posts.
  WebKitBrowser(unsigned long parent, bool debug, std::string profileFolder, MessageSink sink,
                std::function<void()> gone);
  ~WebKitBrowser() override;

  /// Checks EGL, creates the web view and installs the transport. False when
  /// there is no window or EGL does not work; then no web view exists.
  bool CreateBrowser();

  /// Addresses with a scheme load as they are; an absolute file path is turned
  /// into a file: URI (so "…/Resources//index.html" works).
  void Navigate(const std::string& url);
  void EvalJS(const std::string& script, ScriptCallback callback);
  void AddInitScript(const std::string& script);
  void SetVisible(bool visible);
  void Resize() override;

 protected:
  void OnWindowGone() override;

 private:
  struct PendingScript {
    std::string script;
    ScriptCallback callback;
  };

  static void onScriptMessage(WebKitUserContentManager*, void* result, void* self);
  static void onLoadChanged(WebKitWebView*, int event, void* self);
  static int onPermissionRequest(WebKitWebView*, void* request, void* self);
  void evaluate(const std::string& script, ScriptCallback callback);
  void releaseBrowser();

  bool debug_;
  std::string profileFolder_;
  MessageSink sink_;
  WebKitWebView* view_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  GCancellable* cancel_ = nullptr;
  bool committed_ = false;    // a document of ours exists
  bool provisional_ = false;  // a new load started and has not committed yet
  std::deque<PendingScript> pending_;
};

}  // namespace webbridge
