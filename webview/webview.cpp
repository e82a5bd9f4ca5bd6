// Function binding and the JSON message exchange with the page.
#include "webview.h"

#include <utility>

#include "json_convert.h"

namespace webbridge {

namespace {

using nlohmann::json;

// The page side of one bound name. Each call takes the document's next call
// number, parks its promise in window._rpc under that number and posts
// {id, method, params} through window.external.invoke, which the browser
// implementation provides. window._rpc lives per document, so numbering
// restarts at 1 on every load.
const char* const kStubBody =
    "\n     var RPC = window._rpc = (window._rpc || {nextSeq: 1});"
    "\n     window[name] = function() {"
    "\n       var seq = RPC.nextSeq++;"
    "\n       var promise = new Promise(function(resolve, reject) {"
    "\n         RPC[seq] = {"
    "\n           resolve: resolve,"
    "\n           reject: reject,"
    "\n         };"
    "\n       });"
    "\n       window.external.invoke(JSON.stringify({"
    "\n         id: seq,"
    "\n         method: name,"
    "\n         params: Array.prototype.slice.call(arguments),"
    "\n       }));"
    "\n       return promise;"
    "\n     }"
    "\n   })()";

std::string stubScript(const std::string& name) {
  return "(function() { var name = '" + name + "';" + kStubBody;
}

}  // namespace

Webview::~Webview() = default;

void Webview::SetVisible(bool) {}

void Webview::BindFunction(const std::string& name, BindingFunction fn) {
  AddInitScript(stubScript(name));
  bindings_[name] = std::move(fn);
}

void Webview::UnbindFunction(const std::string& name) {
  auto found = bindings_.find(name);
  if (found == bindings_.end()) return;
  const std::string script = "delete window['" + name + "'];";
  AddInitScript(script);
  EvalJS(script, [](const json&) {});
  bindings_.erase(found);
}

void Webview::OnMessage(const std::string& message) noexcept {
  // Anything that goes wrong here means "no answer": the exception must not
  // reach the browser's event loop, and the plug-in logs nothing.
  try {
    json msg = json::parse(message);  // strict: no comments, no trailing text
    if (msg.is_null()) msg = json::object();
    // Non-const operator[] so a missing member reads as null (and fails the
    // type check) instead of being undefined behaviour.
    const int seq = jsonToInt(msg["id"]);
    const std::string method = msg["method"].get<std::string>();
    const json params = msg["params"];

    auto found = bindings_.find(method);
    if (found == bindings_.end()) return;
    // A copy: the function may rebind its own name while it runs.
    const BindingFunction fn = found->second;
    ResolveFunctionDispatch(seq, 0, fn(this, seq, method, params));
  } catch (...) {
  }
}

void Webview::ResolveFunctionDispatch(int seq, int status, json result) {
  // The result moves into the dispatched function: a 2048-point curve is
  // not worth copying.
  Dispatch([view = this, seq, status, result = std::move(result)]() {
    try {
      const std::string s = std::to_string(seq);
      const char* settle = status == 0 ? "].resolve(" : "].reject(";
      std::string script = "window._rpc[" + s + settle + jsonCompact(result) +
                           "); delete window._rpc[" + s + "]";
      view->EvalJS(script, [](const json&) {});
    } catch (...) {
      // Unserialisable result (invalid UTF-8): the call stays unanswered.
    }
  });
}

}  // namespace webbridge
