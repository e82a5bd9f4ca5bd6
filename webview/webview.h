// The abstract web view of the editor bridge: a browser window that runs the
// editor page, plus the table of functions the page may call by name.
//
// A browser implementation (GTK/WebKit on Linux) derives from Webview and
// implements the pure operations; the bridge itself (binding, message
// dispatch, answers) lives here and knows nothing about any particular
// plug-in. Every operation runs on the user-interface thread that owns the
// browser window; there are no locks.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace webbridge {

/// How SetViewSize treats its width and height.
enum class SizeHint : int {
  None = 0,   ///< set the window size
  Min = 1,    ///< record the minimum size the user may shrink the window to
  Max = 2,    ///< record the maximum size
  Fixed = 3,  ///< set the size and remove the sizing frame
};

class Webview;

/// A function the page can call by name.
/// Arguments: the web view that received the call, the page's call number,
/// the name it was called under (UTF-8), and the call's argument array
/// (null when the page's message carried no "params").
/// Returns the JSON value that resolves the page's promise; refusals are
/// ordinary values (false, null, []). Throwing means "no answer".
/// Called on the user-interface thread only.
using BindingFunction = std::function<nlohmann::json(
    Webview* webview, int seq, const std::string& name, const nlohmann::json& args)>;

/// The abstract web view. The virtual operations are declared in their fixed
/// slot order; keep it that way, browser implementations rely on it.
/// Not copyable: the binding table belongs to this one window.
class Webview {
 public:
  Webview() = default;
  Webview(const Webview&) = delete;
  Webview& operator=(const Webview&) = delete;

  /// Destroys the binding table (not the native window; see Terminate).
  virtual ~Webview();

  /// Window title, UTF-8.
  virtual void SetTitle(const std::string& title) = 0;
  /// Width and height in pixels; the hint says what to do with them.
  virtual void SetViewSize(int width, int height, SizeHint hint) = 0;
  /// The folder holding the editor page, UTF-8, without a trailing slash
  /// being required (callers append "/index.html").
  virtual std::string GetResourcesPath() = 0;
  /// Loads the address (UTF-8 URL or file path) into the browser.
  virtual void Navigate(const std::string& url) = 0;
  /// Runs the script in the current document. Returns before the script has
  /// run; the callback later receives the script's result as JSON, on the
  /// user-interface thread. A script that cannot run is lost silently and the
  /// callback is not called.
  virtual void EvalJS(const std::string& script,
                      std::function<void(const nlohmann::json&)> callback) = 0;
  /// Registers a script that runs in every document created after this call,
  /// before the document's own scripts. Not run in the current document.
  virtual void AddInitScript(const std::string& script) = 0;
  /// The native window handle. On Linux this is the X11 window id (XID)
  /// converted with reinterpret_cast<void*>(static_cast<uintptr_t>(xid)),
  /// or the toolkit's window pointer where there is no X11 window; null when
  /// there is no window.
  virtual void* GetNativeWindow() = 0;
  /// Destroys the native window; the object stays usable but inert.
  virtual void Terminate() = 0;
  /// Shows or hides the browser. The base does nothing.
  virtual void SetVisible(bool visible);
  /// Runs fn for the user-interface thread. Implementations run it at once
  /// on the calling thread (which is that thread), then destroy it.
  virtual void Dispatch(std::function<void()> fn) = 0;

  /// Makes `name` callable from every document created from now on as a
  /// global function returning a promise, and stores fn under it (replacing
  /// an earlier function of that name). Bind before navigating.
  /// `name` must be a plain JavaScript identifier: it is inserted into the
  /// page script unescaped. [UI thread]
  void BindFunction(const std::string& name, BindingFunction fn);

  /// Removes the name from the table and from future and current documents.
  /// A name that is not bound is ignored. [UI thread]
  void UnbindFunction(const std::string& name);

  /// Handles one message text (UTF-8 JSON {"id","method","params"}) posted
  /// by the page: runs the bound function and evaluates the answer script.
  /// Never throws: a malformed message, an unknown method, a throwing
  /// function or an unserialisable result get no answer, and the page's
  /// promise stays pending. Called by the browser implementation. [UI thread]
  void OnMessage(const std::string& message) noexcept;

 private:
  /// Hands the answer for call `seq` to Dispatch; status 0 resolves the
  /// page's promise, any other status rejects it.
  void ResolveFunctionDispatch(int seq, int status, nlohmann::json result);

  std::map<std::string, BindingFunction> bindings_;
};

/// A group of page functions installed together. Sets are owned by whoever
/// creates them (the edit controller) and deleted through their own type,
/// hence the protected non-virtual destructor. The functions a set binds may
/// capture the set or its owner, which must outlive every web view bound.
class Bindings {
 public:
  /// Registers every function of the set on the web view with BindFunction.
  /// [UI thread]
  virtual void Bind(Webview* webview) = 0;

 protected:
  Bindings() = default;
  ~Bindings() = default;
  Bindings(const Bindings&) = default;
  Bindings& operator=(const Bindings&) = default;
};

}  // namespace webbridge
