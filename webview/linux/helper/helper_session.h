// The helper's side of the conversation with the plug-in: reads its
// messages from fd 3, runs them on the browser, and sends back what the page
// posts and what scripts return. Ends when the plug-in asks, when its end of
// the socket closes (host gone or module unloaded), when the host process
// ends, and when the window it lives in is destroyed.
#pragma once

#include <glib.h>

#include <memory>
#include <string>
#include <string_view>

#include "frame_channel.h"
#include "webkit_browser.h"

namespace webbridge {

class HelperSession {
 public:
  /// Exit statuses of the helper program.
  enum Status { kEnded = 0, kBadStart = 2, kNoBrowser = 3 };

  /// fd: our end of the socket pair (taken over).
  explicit HelperSession(int fd);
  ~HelperSession();
  HelperSession(const HelperSession&) = delete;
  HelperSession& operator=(const HelperSession&) = delete;

  /// Runs until the session ends; returns the exit status.
  int Run();

 private:
  static gboolean onSocket(gint fd, GIOCondition condition, gpointer self);
  static gboolean onWritable(gint fd, GIOCondition condition, gpointer self);
  static gboolean onHostEnded(gint fd, GIOCondition condition, gpointer self);
  void handle(ipc::Message&& message);
  bool start(const std::string& settings);
  void evalJS(std::string_view payload);
  void send(ipc::MessageType type, std::string_view payload);
  void end(int status);

  ipc::FrameChannel channel_;
  std::unique_ptr<WebKitBrowser> browser_;
  GMainLoop* loop_ = nullptr;
  guint socketWatch_ = 0, writeWatch_ = 0, hostWatch_ = 0;
  int hostPidFd_ = -1;
  int status_ = kEnded;
  bool ended_ = false;
};

}  // namespace webbridge
