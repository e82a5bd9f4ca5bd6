// The plug-in view as a Linux host sees it: size, platform type, the run loop
// it needs, the X11 window it puts into the host's window, the page and the
// plug-in talking through the real browser (bound functions from the first
// script on, answers, change notifications and reloads), and its helper
// process, which must end with the view.
#include <gtest/gtest.h>

#include <memory>

#include "editor_session.h"  // brings Xlib, without its "None"

namespace {

using namespace Steinberg;
using qeqtest::EditorSession;
using nlohmann::json;

constexpr Vst::ParamID kBand1Gain = 2003;

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

// The windows inside the host's window as the X server has them now: count, and the first's geometry.
std::vector<int> childrenOf(Display* display, Window parent, Window* first = nullptr) {
  XSync(display, False);
  Window root = 0, up = 0, *children = nullptr;
  unsigned count = 0;
  std::vector<int> g{0};
  if (XQueryTree(display, parent, &root, &up, &children, &count) && count > 0) {
    XWindowAttributes a;
    XGetWindowAttributes(display, children[0], &a);
    g = {int(count), a.x, a.y, a.width, a.height};
    if (first) *first = children[0];
  }
  if (children) XFree(children);
  return g;
}

TEST(WebviewPluginView, RefusesWhatItCannotLiveInTalksWithItsPageAndLeavesNothingBehindWhenRemovedOrClosed) {
  EditorSession session;
  Display* display = session.Frame().XDisplay();
  const Window host = session.Frame().WindowId();
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(host));
  IPtr<webbridge::WebviewPluginView> view =
      owned(new webbridge::WebviewPluginView(&session.Controller(), "QuenrilEQ", {}, ViewRect(0, 0, 1400, 900)));
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_TRUE(size.left == 0 && size.top == 0 && size.right == 1400 && size.bottom == 900);
  EXPECT_EQ(view->canResize(), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(view->GetWebview(), nullptr);
  IPtr<FrameWithoutRunLoop> plain = owned(new FrameWithoutRunLoop);
  view->setFrame(plain);  // without a run loop nothing would drive the browser: refused, not frozen
  EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_FALSE(view->isAttached());
  view->setFrame(&session.Frame());
  EXPECT_EQ(view->attached(parent, kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->attached(parent, nullptr), kResultFalse);
  EXPECT_EQ(session.Frame().TimerCount(), 0u);
  EXPECT_EQ(childrenOf(display, host)[0], 0);
  view->setFrame(nullptr);

  ASSERT_EQ(session.Open(qeqtest::PageAddress("bridge.html")), kResultOk);
  // Right after attachment no document exists yet: a script sent now waits for the page.
  auto queued = std::make_shared<json>("not called");
  session.View()->GetWebview()->EvalJS("window.__queued = 41 + 1", [queued](const json& value) { *queued = value; });
  for (int load = 0; load < 2; ++load) {
    ASSERT_TRUE(session.WaitFor("!window.__old && window.__answer !== undefined")) << "no answer reached the page " << load;
    EXPECT_DOUBLE_EQ(session.Eval("window.__answer").get<double>(), session.Controller().getParamNormalized(kBand1Gain));
    // Every message also comes back to the page unchanged, numbered from 1 in each document.
    ASSERT_TRUE(session.WaitFor("window.__echoes.length >= 1", 5000));
    EXPECT_EQ(json::parse(session.Eval("window.__echoes[0]").get<std::string>()),
              json::parse(R"({"id":1,"method":"getParamNormalized","params":[2003]})")) << load;
    if (load == 0) session.Eval("window.__old = true; setTimeout(() => location.reload(), 0); 1");
  }
  EXPECT_EQ(*queued, 42);
  // The page's own change reaches the controller and is announced to it, and so is a change the host makes.
  session.Eval("subscribeParameter(2003).then((ok) => setParamNormalized(2003, ok === true ? 0.6 : 0.1)); 1");
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 1", 5000));
  EXPECT_NEAR(session.Controller().getParamNormalized(kBand1Gain), 0.6, 1e-12);
  EXPECT_EQ(session.Eval("window.__notes[0].info.id"), kBand1Gain);
  EXPECT_NEAR(session.Eval("window.__notes[0].normalized").get<double>(), 0.6, 1e-12);
  session.Controller().setParamNormalized(kBand1Gain, 0.25);
  ASSERT_TRUE(session.WaitFor("window.__notes.length >= 2", 5000));
  EXPECT_NEAR(session.Eval("window.__notes[window.__notes.length - 1].normalized").get<double>(), 0.25, 1e-12);

  EXPECT_GT(session.Frame().EventHandlerCount() + session.Frame().TimerCount(), 0u);
  Window child = 0;
  EXPECT_EQ(childrenOf(display, host, &child), (std::vector<int>{1, 0, 0, 1400, 900})) << "the editor's window inside the host's";
  EXPECT_EQ(reinterpret_cast<uintptr_t>(session.View()->GetWebview()->GetNativeWindow()), child);
  // The host may still size the view; the window follows.
  ViewRect smaller(0, 0, 800, 600);
  EXPECT_EQ(session.View()->onSize(&smaller), kResultOk);
  session.Frame().RunFor(300);
  EXPECT_EQ(childrenOf(display, host), (std::vector<int>{1, 0, 0, 800, 600}));
  // Focus lost and given back, the page keeps working.
  EXPECT_TRUE(session.View()->onFocus(false) == kResultOk && session.View()->onFocus(true) == kResultOk);
  EXPECT_EQ(session.Eval("1 + 2"), 3);

  // Removed, it leaves the run loop and the host's window; its helper ends and is collected (a zombie
  // still counts); the web view object stays, inert, until the view goes.
  pid_t helper = session.HelperPid();
  ASSERT_GT(helper, 0);
  session.View()->removed();
  EXPECT_EQ(session.Frame().TimerCount() + session.Frame().EventHandlerCount(), 0u) << "the run loop is left with the editor";
  EXPECT_TRUE(session.EndsWithin(helper, 5000)) << "helper " << helper << " left running or unreaped";
  EXPECT_EQ(childrenOf(display, host)[0], 0);
  ASSERT_NE(session.View()->GetWebview(), nullptr);
  EXPECT_EQ(session.View()->GetWebview()->GetNativeWindow(), nullptr);
  EXPECT_EQ(session.Eval("1", 300), "timeout");
  // The same view attached again gets a new, working web view; closed and reopened, the same again.
  ASSERT_EQ(session.View()->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_TRUE(session.WaitFor(qeqtest::kAnswered));
  helper = session.HelperPid();
  session.Close();
  EXPECT_EQ(session.Frame().TimerCount() + session.Frame().EventHandlerCount(), 0u);
  EXPECT_TRUE(session.EndsWithin(helper, 5000)) << "helper " << helper << " left running or unreaped";
  EXPECT_TRUE(session.OpenAnswered());
}

}  // namespace
