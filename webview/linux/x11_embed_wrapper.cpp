#include "x11_embed_wrapper.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace webbridge {

namespace {

// xcb hands out replies and events allocated with malloc.
template <typename T>
struct Freed {
  T* p;
  explicit Freed(T* pointer) : p(pointer) {}
  ~Freed() { std::free(p); }
  Freed(const Freed&) = delete;
  Freed& operator=(const Freed&) = delete;
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

void selectEvents(xcb_connection_t* c, std::uint32_t window, std::uint32_t mask) {
  xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
}

}  // namespace

std::unique_ptr<X11EmbedWrapper> X11EmbedWrapper::Create(std::uint32_t parent, int width, int height) {
  if (parent == 0 || width < 1 || height < 1) return nullptr;
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return nullptr;
  }
  // The parent must be a window on this display; its root tells the screen.
  Freed<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, parent), nullptr));
  const xcb_screen_t* screen = nullptr;
  if (geometry)
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
      if (it.data->root == geometry->root) screen = it.data;
  if (!screen) {
    xcb_disconnect(c);
    return nullptr;
  }
  const std::uint32_t window = xcb_generate_id(c);
  // The empty editor (before the page paints, or after the helper failed) is
  // black rather than the garbage an unpainted window shows.
  const std::uint32_t values[] = {screen->black_pixel,
                                  XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                                      XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
  xcb_void_cookie_t made = xcb_create_window_checked(
      c, XCB_COPY_FROM_PARENT, window, parent, 0, 0, static_cast<std::uint16_t>(width),
      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  if (xcb_generic_error_t* error = xcb_request_check(c, made)) {
    std::free(error);
    xcb_disconnect(c);
    return nullptr;
  }
  std::unique_ptr<X11EmbedWrapper> wrapper(new X11EmbedWrapper(c, parent, window));
  wrapper->watchAncestors();
  xcb_map_window(c, window);
  xcb_flush(c);
  wrapper->viewable_ = wrapper->viewableNow();
  return wrapper;
}

X11EmbedWrapper::X11EmbedWrapper(xcb_connection_t* connection, std::uint32_t parent, std::uint32_t window)
    : connection_(connection), parent_(parent), window_(window) {}

X11EmbedWrapper::~X11EmbedWrapper() {
  if (!parentGone_) xcb_destroy_window(connection_, window_);
  xcb_flush(connection_);
  xcb_disconnect(connection_);
}

int X11EmbedWrapper::Fd() const { return xcb_get_file_descriptor(connection_); }

void X11EmbedWrapper::Resize(int width, int height) {
  if (width < 1 || height < 1 || parentGone_) return;
  const std::uint32_t size[] = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
  xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
  xcb_flush(connection_);
}

void X11EmbedWrapper::watchAncestors() {
  // Structure events only: other masks on host windows (redirects, button
  // presses) can be held by one client at a time and belong to the host.
  ancestors_.clear();
  std::uint32_t at = parent_;
  for (int depth = 0; at != 0 && depth < 64; ++depth) {
    Freed<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, at), nullptr));
    if (!tree) break;
    ancestors_.push_back(at);
    selectEvents(connection_, at, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    if (tree->parent == tree->root) break;
    at = tree->parent;
  }
  xcb_flush(connection_);
}

bool X11EmbedWrapper::viewableNow() {
  Freed<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
      connection_, xcb_get_window_attributes(connection_, window_), nullptr));
  return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

void X11EmbedWrapper::forwardKey(void* event) {
  if (embedded_ == 0) return;
  auto* key = static_cast<xcb_key_press_event_t*>(event);
  key->event = embedded_;
  key->child = 0;
  // An empty mask delivers the event to the client that made the window:
  // the helper.
  xcb_send_event(connection_, 0, embedded_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(key));
  xcb_flush(connection_);
}

X11EmbedWrapper::Changes X11EmbedWrapper::HandleEvents() {
  Changes changes;
  bool recheck = false, rewalk = false;
  auto isAncestor = [this](std::uint32_t w) {
    return std::find(ancestors_.begin(), ancestors_.end(), w) != ancestors_.end();
  };
  // Replies waited for below may read further events into xcb's queue, where
  // they no longer wake the run loop: go round until the queue is empty.
  for (int round = 0; round < 4; ++round) {
    while (xcb_generic_event_t* raw = round == 0 ? xcb_poll_for_event(connection_)
                                                : xcb_poll_for_queued_event(connection_)) {
      Freed<xcb_generic_event_t> event(raw);
      switch (raw->response_type & 0x7f) {
        case XCB_DESTROY_NOTIFY: {
          const auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(raw);
          if (e->window == window_ || e->window == parent_) parentGone_ = changes.parentDestroyed = true;
          if (e->window == embedded_) embedded_ = 0;
          break;
        }
        case XCB_REPARENT_NOTIFY: {
          const auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(raw);
          if (e->parent == window_) embedded_ = e->window;
          else if (e->window == embedded_) embedded_ = 0;
          if (isAncestor(e->window)) rewalk = true;
          break;
        }
        case XCB_MAP_NOTIFY:
        case XCB_UNMAP_NOTIFY:
          recheck = true;
          break;
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE:
          forwardKey(raw);
          break;
        default:
          break;  // errors of requests on windows that vanished meanwhile, and the rest
      }
    }
    if (parentGone_ || !(recheck || rewalk)) break;
    if (rewalk) watchAncestors();
    const bool viewable = viewableNow();
    if (viewable != viewable_) {
      viewable_ = viewable;
      changes.visibilityChanged = true;
    }
    recheck = rewalk = false;
  }
  changes.viewable = viewable_;
  if (xcb_connection_has_error(connection_)) parentGone_ = changes.parentDestroyed = true;
  return changes;
}

}  // namespace webbridge
