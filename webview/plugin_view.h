// The editor view the edit controller hands to the host: an IPlugView that,
// once attached to the host's window, runs the editor page in a web view with
// the controller's binding sets installed.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "public.sdk/source/vst/vsteditcontroller.h"
#include "webview.h"

namespace webbridge {

/// Reaches the web view of an editor view, for hosts built with this library
/// (the stand-alone editor, tests) that need to run scripts in the page.
/// An interface with a fixed identifier, because the view may come from
/// another module, where the SDK's class identities differ.
class IWebviewAccess : public Steinberg::FUnknown {
 public:
  /// The view's current web view, or null. [UI thread]
  virtual Webview* PLUGIN_API getWebview() = 0;
  static const Steinberg::FUID iid;
};
DECLARE_CLASS_IID(IWebviewAccess, 0x5E1A0C37, 0x2B7D4F90, 0x9C41D6E8, 0x0A3F7B52)

/// VST 3 editor view holding one web view. On Linux the host attaches it with
/// the platform type "X11EmbedWindowID" and must offer
/// Steinberg::Linux::IRunLoop through its plug frame (it drives the browser).
/// Every operation runs on the host's user-interface thread.
class WebviewPluginView : public Steinberg::Vst::EditorView, public IWebviewAccess {
 public:
  /// controller: the edit controller (retained by the SDK base); title: the
  /// window title (UTF-8); bindings: the sets installed into every web view,
  /// in this order, owned by the controller and outliving this view; rect:
  /// the view's size in pixels (the editor is 1400 x 900); pageAddress: the
  /// page to load, empty for Resources/index.html beside the module.
  WebviewPluginView(Steinberg::Vst::EditController* controller, const std::string& title,
                    std::vector<Bindings*> bindings, Steinberg::ViewRect rect,
                    std::string pageAddress = {});
  ~WebviewPluginView() override;

  /// Refuses (kResultFalse) a null parent, a platform type other than
  /// "X11EmbedWindowID", a second attachment and a host whose plug frame has
  /// no IRunLoop; otherwise attaches as the SDK does and answers kResultOk.
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  /// Answers kResultTrue for every type; attached is the one that checks.
  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  /// Fits the web view to the host's new rectangle (pixels).
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
  /// Shows (true) or hides (false) the browser.
  Steinberg::tresult PLUGIN_API onFocus(Steinberg::TBool state) override;
  /// Keeps the frame with a reference of its own.
  Steinberg::tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override;
  /// kResultFalse: the editor has a fixed size.
  Steinberg::tresult PLUGIN_API canResize() override;

  /// Creates a new web view in the host's window (any earlier one is
  /// replaced); the editor stays empty when that fails.
  void attachedToParent() override;
  /// Destroys the web view's window; the web view object stays until the
  /// next attachment or the view's end, so pointers to it stay valid.
  void removedFromParent() override;

  /// The current web view, or null (not attached yet, or creation failed).
  /// For hosts and tests that evaluate scripts in the page.
  Webview* GetWebview() const { return webview_.get(); }
  Webview* PLUGIN_API getWebview() override { return webview_.get(); }

  OBJ_METHODS(WebviewPluginView, EditorView)
  DEFINE_INTERFACES
    DEF_INTERFACE(IWebviewAccess)
  END_DEFINE_INTERFACES(EditorView)
  REFCOUNT_METHODS(EditorView)

 private:
  void OnBrowserReady(Webview* webview);

  std::mutex sizeMutex_;  // held while onSize resizes the web view
  std::unique_ptr<Webview> webview_;
  std::string title_;
  std::vector<Bindings*> bindings_;
  std::string pageAddress_;
};

}  // namespace webbridge
