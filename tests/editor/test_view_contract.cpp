// The plug-in view as a Linux host sees it: size, platform type, the run loop
// it needs, and the X11 window it puts into the host's window.
#include <gtest/gtest.h>

#include <vector>

#include "editor_session.h"  // brings Xlib, without its "None"

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;

// A plug frame of a host that offers no run loop.
class FrameWithoutRunLoop : public FObject, public IPlugFrame {
 public:
  tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultOk; }
  OBJ_METHODS(FrameWithoutRunLoop, FObject)
  DEFINE_INTERFACES
    DEF_INTERFACE(IPlugFrame)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)
};

struct ChildGeometry {
  int count = 0;
  int x = -1, y = -1, width = 0, height = 0;
  Window id = 0;
};

// The windows inside the host's window, as the X server has them now.
ChildGeometry childOf(Display* display, Window parent) {
  XSync(display, False);
  ChildGeometry g;
  Window root = 0, up = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count)) return g;
  g.count = static_cast<int>(count);
  if (count > 0) {
    XWindowAttributes a;
    XGetWindowAttributes(display, children[0], &a);
    g.x = a.x;
    g.y = a.y;
    g.width = a.width;
    g.height = a.height;
    g.id = children[0];
  }
  if (children) XFree(children);
  return g;
}

void* windowArg(unsigned long id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }

TEST(WebviewPluginView, AnswersTheHostBeforeAttachment) {
  EditorSession session;
  IPtr<webbridge::WebviewPluginView> view = owned(new webbridge::WebviewPluginView(
      &session.Controller(), "QuenrilEQ", {}, ViewRect(0, 0, 1400, 900)));
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.left, 0);
  EXPECT_EQ(size.top, 0);
  EXPECT_EQ(size.right, 1400);
  EXPECT_EQ(size.bottom, 900);
  EXPECT_EQ(view->canResize(), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(view->GetWebview(), nullptr);
}

TEST(WebviewPluginView, RefusesWhatItCannotLiveIn) {
  EditorSession session;
  IPtr<webbridge::WebviewPluginView> view = owned(new webbridge::WebviewPluginView(
      &session.Controller(), "QuenrilEQ", {}, ViewRect(0, 0, 1400, 900)));
  void* parent = windowArg(session.Frame().WindowId());

  // Without a run loop nothing would drive the browser: refused, not frozen.
  IPtr<FrameWithoutRunLoop> plain = owned(new FrameWithoutRunLoop);
  view->setFrame(plain);
  EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_FALSE(view->isAttached());

  view->setFrame(&session.Frame());
  EXPECT_EQ(view->attached(parent, kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->attached(parent, nullptr), kResultFalse);
  EXPECT_EQ(session.Frame().TimerCount(), 0u);
  EXPECT_EQ(childOf(session.Frame().XDisplay(), session.Frame().WindowId()).count, 0);
  view->setFrame(nullptr);
}

TEST(WebviewPluginView, EmbedsAFixedSizeWindowAndUsesTheRunLoopOnlyWhileAttached) {
  EditorSession session;
  Display* display = session.Frame().XDisplay();
  const Window host = session.Frame().WindowId();
  ASSERT_EQ(session.Open(qeqtest::PageAddress("subscribe.html")), kResultOk);
  ASSERT_NE(session.View()->GetWebview(), nullptr);
  EXPECT_GT(session.Frame().EventHandlerCount() + session.Frame().TimerCount(), 0u);
  session.Frame().RunFor(300);

  ChildGeometry child = childOf(display, host);
  ASSERT_EQ(child.count, 1) << "the editor's window is not inside the host's window";
  EXPECT_EQ(child.x, 0);
  EXPECT_EQ(child.y, 0);
  EXPECT_EQ(child.width, 1400);
  EXPECT_EQ(child.height, 900);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(session.View()->GetWebview()->GetNativeWindow()), child.id);

  // The host may still size the view; the window follows.
  ViewRect smaller(0, 0, 800, 600);
  EXPECT_EQ(session.View()->onSize(&smaller), kResultOk);
  session.Frame().RunFor(300);
  child = childOf(display, host);
  EXPECT_EQ(child.width, 800);
  EXPECT_EQ(child.height, 600);
  ViewRect stored;
  session.View()->getSize(&stored);
  EXPECT_EQ(stored.getWidth(), 800);

  // Hidden and shown again, the page keeps working.
  EXPECT_EQ(session.View()->onFocus(false), kResultOk);
  EXPECT_EQ(session.View()->onFocus(true), kResultOk);
  EXPECT_EQ(session.Eval("1 + 2"), 3);

  session.View()->removed();
  EXPECT_EQ(session.Frame().TimerCount() + session.Frame().EventHandlerCount(), 0u)
      << "the run loop must be left with the editor";
  session.Frame().RunFor(200);
  EXPECT_EQ(childOf(display, host).count, 0);
  // The web view object stays, inert, until the view goes.
  ASSERT_NE(session.View()->GetWebview(), nullptr);
  EXPECT_EQ(session.View()->GetWebview()->GetNativeWindow(), nullptr);
  EXPECT_EQ(session.Eval("1", 300), "timeout");
}

}  // namespace
