// The editor's browser helper: started by the plug-in's view, one per open
// editor, with its end of the socket pair as fd 3. Runs GTK 3 and WebKitGTK
// outside the host's process.
#include <fcntl.h>

#include <cstdio>

#include "helper_session.h"

int main() {
  constexpr int kSocket = 3;
  if (fcntl(kSocket, F_GETFD) < 0) {
    std::fprintf(stderr, "this program is started by its plug-in, not by hand\n");
    return webbridge::HelperSession::kBadStart;
  }
  // WebKit's own processes must not inherit the plug-in's socket: its end of
  // the conversation would then never see us go.
  fcntl(kSocket, F_SETFD, FD_CLOEXEC);
  webbridge::HelperSession session(kSocket);
  return session.Run();
}
