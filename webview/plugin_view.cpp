#include "plugin_view.h"

#include <cstring>
#include <utility>

#include "make_webview.h"
#include "pluginterfaces/base/smartpointer.h"

namespace webbridge {

using namespace Steinberg;

DEF_CLASS_IID(IWebviewAccess)

WebviewPluginView::WebviewPluginView(Vst::EditController* controller, const std::string& title,
                                     std::vector<Bindings*> bindings, ViewRect rect,
                                     std::string pageAddress)
    : EditorView(controller, &rect),
      title_(title),
      bindings_(std::move(bindings)),
      pageAddress_(std::move(pageAddress)) {}

WebviewPluginView::~WebviewPluginView() {
  // The web view goes before the SDK base tells the controller
  // (editorDestroyed), so nothing can reach the page after that.
  webview_.reset();
  if (plugFrame) plugFrame->release();
  plugFrame = nullptr;
}

tresult PLUGIN_API WebviewPluginView::attached(void* parent, FIDString type) {
  if (!parent || !type || std::strcmp(type, kPlatformTypeX11EmbedWindowID) != 0) return kResultFalse;
  if (isAttached()) return kResultFalse;
  // Linux hosts drive editors through the frame's run loop; without one the
  // browser would never get a turn and the editor would sit frozen.
  FUnknownPtr<Linux::IRunLoop> runLoop(plugFrame);
  if (!runLoop) return kResultFalse;
  return EditorView::attached(parent, type);
}

tresult PLUGIN_API WebviewPluginView::isPlatformTypeSupported(FIDString) { return kResultTrue; }

void WebviewPluginView::attachedToParent() {
  // A web view from an earlier attachment has lost its window; the new one is
  // made first, because the bindings re-point at it while it starts and must
  // never be left pointing at a deleted one.
  std::unique_ptr<Webview> fresh =
      MakeWebview(false, plugFrame, systemWindow, [this](Webview* w) { OnBrowserReady(w); });
  if (fresh) webview_ = std::move(fresh);
  EditorView::attachedToParent();
}

void WebviewPluginView::removedFromParent() {
  if (webview_) webview_->Terminate();
  EditorView::removedFromParent();
}

tresult PLUGIN_API WebviewPluginView::onSize(ViewRect* newSize) {
  if (!newSize) return kInvalidArgument;
  {
    std::lock_guard<std::mutex> lock(sizeMutex_);
    if (webview_)
      webview_->SetViewSize(newSize->getWidth(), newSize->getHeight(), SizeHint::None);
  }
  return CPluginView::onSize(newSize);
}

tresult PLUGIN_API WebviewPluginView::onFocus(TBool state) {
  if (webview_) webview_->SetVisible(state != 0);
  return kResultOk;
}

tresult PLUGIN_API WebviewPluginView::setFrame(IPlugFrame* frame) {
  if (frame) frame->addRef();
  if (plugFrame) plugFrame->release();
  plugFrame = frame;
  return kResultOk;
}

tresult PLUGIN_API WebviewPluginView::canResize() { return kResultFalse; }

void WebviewPluginView::OnBrowserReady(Webview* webview) {
  for (Bindings* set : bindings_)
    if (set) set->Bind(webview);
  webview->SetTitle(title_);
  webview->SetViewSize(rect.getWidth(), rect.getHeight(), SizeHint::Fixed);
  webview->Navigate(pageAddress_.empty() ? webview->GetResourcesPath() + "/index.html"
                                         : pageAddress_);
}

}  // namespace webbridge
