// The plug-in's own window inside the host's editor window. The helper's
// browser window is put into this wrapper, never directly into the host's
// window: hosts size, adopt and watch their child, and a helper that dies
// then takes only our wrapper's content with it, not the host's socket.
// Talks to the X server over a connection of its own (xcb, no toolkit), so
// nothing here touches the host's X or toolkit state.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace webbridge {

class X11EmbedWrapper {
 public:
  /// Opens $DISPLAY, creates a width x height window at 0, 0 in `parent`
  /// (the host's window) and maps it. Null when there is no display or the
  /// parent is not a window.
  static std::unique_ptr<X11EmbedWrapper> Create(std::uint32_t parent, int width, int height);
  ~X11EmbedWrapper();
  X11EmbedWrapper(const X11EmbedWrapper&) = delete;
  X11EmbedWrapper& operator=(const X11EmbedWrapper&) = delete;

  std::uint32_t Window() const { return window_; }
  /// The connection's descriptor, for the host's run loop.
  int Fd() const;
  void Resize(int width, int height);

  struct Changes {
    bool parentDestroyed = false;  ///< the host's window (and with it ours) is gone
    bool visibilityChanged = false;
    bool viewable = true;  ///< current state, valid when visibilityChanged
  };
  /// Handles every event that has arrived: follows the host's window up the
  /// tree (hosts hide editors by unmapping an ancestor, and some move them
  /// into new windows), and passes on key events the host sends to its child
  /// (now this wrapper) to the helper's window inside it.
  Changes HandleEvents();

 private:
  X11EmbedWrapper(xcb_connection_t* connection, std::uint32_t parent, std::uint32_t window);
  void watchAncestors();
  bool viewableNow();
  void forwardKey(void* event);

  xcb_connection_t* connection_;
  std::uint32_t parent_;
  std::uint32_t window_;
  std::uint32_t embedded_ = 0;  // the helper's window, once it is inside ours
  std::vector<std::uint32_t> ancestors_;  // parent_ up to (not including) the root
  bool viewable_ = false;
  bool parentGone_ = false;
};

}  // namespace webbridge
