#include "webkit_browser.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <memory>
#include <utility>

#include "egl_probe.h"

namespace webbridge {

namespace {

using nlohmann::json;
using ScriptCallback = std::function<void(const json&)>;

// The one web context of this helper. Kept until the process ends.
WebKitWebContext* sharedContext(const std::string& folder) {
  static WebKitWebContext* context = [&folder] {
    WebKitWebsiteDataManager* data =
        folder.empty() ? webkit_website_data_manager_new_ephemeral()
                       : webkit_website_data_manager_new(
                             "base-data-directory", folder.c_str(), "base-cache-directory",
                             (folder + "/cache").c_str(), nullptr);
    WebKitWebContext* made = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    // The page comes from local files: nothing is worth a disk cache, which
    // several editors' helpers would otherwise share.
    webkit_web_context_set_cache_model(made, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    return made;
  }();
  return context;
}

// Hands a script's result to its callback as JSON. Owns the callback, which
// GLib carried as user data; a failed or cancelled script drops it uncalled.
void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ScriptCallback> callback(static_cast<ScriptCallback*>(data));
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (!value) {
    g_clear_error(&error);
    return;
  }
  json parsed = nullptr;
  if (!jsc_value_is_undefined(value)) {
    if (char* text = jsc_value_to_json(value, 0)) {
      parsed = json::parse(text, nullptr, false);
      if (parsed.is_discarded()) parsed = nullptr;
      g_free(text);
    }
  }
  g_object_unref(value);
  if (!*callback) return;
  try {
    (*callback)(parsed);
  } catch (...) {
    // Must not unwind through GLib.
  }
}

}  // namespace

WebKitBrowser::WebKitBrowser(unsigned long parent, bool debug, std::string profileFolder,
                             MessageSink sink, std::function<void()> gone)
    : WebviewGtk(parent, std::move(gone)),
      debug_(debug),
      profileFolder_(std::move(profileFolder)),
      sink_(std::move(sink)) {}

WebKitBrowser::~WebKitBrowser() {
  Terminate();  // while this part still exists, so OnWindowGone reaches it
  releaseBrowser();
}

bool WebKitBrowser::CreateBrowser() {
  if (!HasWindow() || view_) return false;
  GdkDisplay* display = gtk_widget_get_display(Window());
  if (!GDK_IS_X11_DISPLAY(display) || !EglUsable(GDK_DISPLAY_XDISPLAY(display))) return false;

  content_ = webkit_user_content_manager_new();
  // Connected before the channel is registered, so no message can slip by.
  g_signal_connect(content_, "script-message-received::webbridge",
                   G_CALLBACK(&WebKitBrowser::onScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(content_, kMessageChannel);

  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", sharedContext(profileFolder_),
                                       "user-content-manager", content_, nullptr));
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  if (debug_) webkit_settings_set_enable_developer_extras(settings, TRUE);
  if (!GpuRenderNodeAvailable())
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&WebKitBrowser::onLoadChanged), this);
  g_signal_connect(view_, "permission-request", G_CALLBACK(&WebKitBrowser::onPermissionRequest),
                   this);
  gtk_container_add(GTK_CONTAINER(Window()), GTK_WIDGET(view_));
  gtk_widget_show(GTK_WIDGET(view_));
  if (debug_) webkit_web_inspector_show(webkit_web_view_get_inspector(view_));
  cancel_ = g_cancellable_new();

  AddInitScript(kTransportScript);
  return true;
}

void WebKitBrowser::Navigate(const std::string& url) {
  if (!view_) return;
  std::string uri = url;
  if (!url.empty() && url.front() == '/') {
    const std::string path = std::filesystem::path(url).lexically_normal().string();
    if (char* fileUri = g_filename_to_uri(path.c_str(), nullptr, nullptr)) {
      uri = fileUri;
      g_free(fileUri);
    }
  }
  webkit_web_view_load_uri(view_, uri.c_str());
}

void WebKitBrowser::EvalJS(const std::string& script, ScriptCallback callback) {
  if (!view_) return;  // no browser (yet, or any more): lost, as promised
  if (provisional_) return;  // meant for the document being replaced
  if (!committed_) {
    // Nothing is loaded yet; the first document gets it.
    pending_.push_back({script, std::move(callback)});
    return;
  }
  evaluate(script, std::move(callback));
}

void WebKitBrowser::evaluate(const std::string& script, ScriptCallback callback) {
  // The callback travels through GLib as user data; onEvaluated takes it back.
  auto carried = std::make_unique<ScriptCallback>(std::move(callback));
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, cancel_, &onEvaluated, carried.release());
}

void WebKitBrowser::AddInitScript(const std::string& script) {
  if (!content_) return;
  WebKitUserScript* user = webkit_user_script_new(
      script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content_, user);
  webkit_user_script_unref(user);
}

void WebKitBrowser::SetVisible(bool visible) {
  if (!view_) return;
  gtk_widget_set_visible(GTK_WIDGET(view_), visible);
  if (visible) Resize();
}

void WebKitBrowser::Resize() {
  if (view_) gtk_widget_queue_resize(GTK_WIDGET(view_));
}

void WebKitBrowser::OnWindowGone() { releaseBrowser(); }

void WebKitBrowser::releaseBrowser() {
  if (cancel_) {
    g_cancellable_cancel(cancel_);  // pending results are dropped, not delivered
    g_object_unref(cancel_);
    cancel_ = nullptr;
  }
  if (content_) {
    g_signal_handlers_disconnect_by_data(content_, this);
    webkit_user_content_manager_unregister_script_message_handler(content_, kMessageChannel);
    g_object_unref(content_);
    content_ = nullptr;
  }
  if (view_) {
    g_signal_handlers_disconnect_by_data(view_, this);
    view_ = nullptr;  // the window owns the widget
  }
  pending_.clear();
  committed_ = false;
  provisional_ = false;
}

void WebKitBrowser::onScriptMessage(WebKitUserContentManager*, void* result, void* self) {
  auto* browser = static_cast<WebKitBrowser*>(self);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  JSCValue* value = webkit_javascript_result_get_js_value(static_cast<WebKitJavascriptResult*>(result));
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (!value || !jsc_value_is_string(value)) return;  // the stubs only post text
  char* text = jsc_value_to_string(value);
  const std::string message = text ? text : "";
  g_free(text);
  if (browser->sink_) browser->sink_(message);
  // Every message is also handed back to the page, as the Windows browser's
  // web messages are.
  try {
    const std::string data =
        json(message).dump(-1, ' ', false, json::error_handler_t::replace);
    browser->EvalJS("window.dispatchEvent(new MessageEvent('message',{data:" + data + "}))",
                    ScriptCallback());
  } catch (...) {
  }
}

void WebKitBrowser::onLoadChanged(WebKitWebView*, int event, void* self) {
  auto* browser = static_cast<WebKitBrowser*>(self);
  switch (static_cast<WebKitLoadEvent>(event)) {
    case WEBKIT_LOAD_STARTED:
      // Until the new document is committed, scripts would reach the old one
      // or none: answers for the old document are dropped.
      browser->provisional_ = browser->committed_;
      break;
    case WEBKIT_LOAD_REDIRECTED:
      break;
    case WEBKIT_LOAD_COMMITTED: {
      browser->provisional_ = false;
      browser->committed_ = true;
      std::deque<PendingScript> waiting;
      waiting.swap(browser->pending_);
      for (auto& p : waiting) browser->evaluate(p.script, std::move(p.callback));
      break;
    }
    case WEBKIT_LOAD_FINISHED:
      // Also the end of a failed load, after which the old document stays.
      browser->provisional_ = false;
      break;
  }
}

int WebKitBrowser::onPermissionRequest(WebKitWebView*, void* request, void*) {
  auto* asked = static_cast<WebKitPermissionRequest*>(request);
  if (!WEBKIT_IS_CLIPBOARD_PERMISSION_REQUEST(asked)) return FALSE;  // WebKit's default
  webkit_permission_request_allow(asked);
  return TRUE;
}

}  // namespace webbridge
