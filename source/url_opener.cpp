#include "url_opener.h"

#include <cerrno>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace QuenrilEQ {

namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

bool isOpenableUrl(const std::string& url) {
  if (url.find('\0') != std::string::npos) return false;  // argv would cut it short
  return startsWith(url, "https://") || startsWith(url, "http://");
}

bool openExternalUrl(const std::string& url) {
  if (!isOpenableUrl(url)) return false;
  // argv strings must be writable char* for the C interface; copies keep the
  // caller's data intact.
  std::string program = "xdg-open";
  std::string address = url;
  char* argv[] = {program.data(), address.data(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  pid_t waited = 0;
  do {
    waited = waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace QuenrilEQ
