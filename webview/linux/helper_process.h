// Starting and ending the browser helper process. The helper is a program of
// ours beside the plug-in module; it gets one end of a socket pair as fd 3 and
// nothing else of the host's. Once a helper has been asked to end, a
// process-wide reaper waits for it, presses it with SIGTERM and SIGKILL if it
// lingers, and collects its exit status, so that no zombie is left in the
// host and the host's user-interface thread never waits for a child.
#pragma once

#include <sys/types.h>

#include <string>

namespace webbridge {

/// The helper program: the test override when set, else the file named
/// WEBBRIDGE_HELPER_NAME in the folder of the module holding this code.
/// Empty when the module's path is unknown. Any thread.
std::string HelperProgramPath();

/// For programs that link the bridge statically (tests, tools): the helper
/// program to start instead. Empty restores the default. Call before any
/// editor opens.
void SetHelperProgramPath(std::string path);

struct SpawnedHelper {
  pid_t pid = -1;
  int fd = -1;  ///< our end of the socket pair (close-on-exec); -1 when spawning failed
};

/// Starts the program with a fresh SOCK_SEQPACKET pair: the child's end
/// becomes its fd 3 and every other descriptor except 0-2 is closed in it;
/// signal mask and dispositions are reset; LD_PRELOAD and LD_LIBRARY_PATH are
/// left out of its environment and GDK_BACKEND=x11 is set (the window it
/// joins is an X11 window even in a Wayland session). No shell. [UI thread]
SpawnedHelper SpawnHelper(const std::string& program);

/// Hands a child that was asked to end to the reaper: SIGTERM after
/// kTermAfterMs, SIGKILL after kKillAfterMs, and its status is collected.
/// A child that a host's own handler already reaped counts as gone.
/// Any thread.
void RetireHelper(pid_t pid);

constexpr int kTermAfterMs = 1000;
constexpr int kKillAfterMs = 3000;

}  // namespace webbridge
