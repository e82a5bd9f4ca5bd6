#include "helper_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "module_paths.h"

extern char** environ;

namespace webbridge {

namespace {

std::mutex& overrideMutex() {
  static std::mutex m;
  return m;
}
std::string& programOverride() {
  static std::string path;
  return path;
}

// Environment variables a helper must not inherit: preloads meant for the
// host, and library paths that could pull another toolkit build into it.
bool inheritable(const char* entry) {
  return std::strncmp(entry, "LD_PRELOAD=", 11) != 0 && std::strncmp(entry, "LD_LIBRARY_PATH=", 16) != 0 &&
         std::strncmp(entry, "GDK_BACKEND=", 12) != 0;
}

// Waits for retired helpers on a thread of its own, so no run loop (the view's
// is gone by then) has to. The thread exists only while children are pending.
class Reaper {
 public:
  static Reaper& Instance() {
    static Reaper reaper;
    return reaper;
  }

  void Adopt(pid_t pid) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back({pid, Clock::now(), false});
    if (!running_) {
      if (worker_.joinable()) worker_.join();  // finished: it set running_ = false last
      running_ = true;
      worker_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
  }

  // At module unload or process exit: nothing may outlive the code that
  // waits for it, so whatever is left is killed and collected now.
  ~Reaper() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    for (const Child& c : pending_) kill(c.pid, SIGKILL);
    wake_.notify_one();
    lock.unlock();
    if (worker_.joinable()) worker_.join();
    for (const Child& c : pending_)
      while (waitpid(c.pid, nullptr, 0) < 0 && errno == EINTR) {
      }
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Child {
    pid_t pid;
    Clock::time_point since;
    bool termSent;
  };

  // Collected, or no longer ours to collect (a host's SIGCHLD handler or
  // SIG_IGN took it).
  static bool gone(pid_t pid) {
    for (;;) {
      const pid_t r = waitpid(pid, nullptr, WNOHANG);
      if (r == pid) return true;
      if (r == 0) return false;
      if (errno != EINTR) return true;
    }
  }

  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_ && !pending_.empty()) {
      const Clock::time_point now = Clock::now();
      std::vector<Child> still;
      for (Child& c : pending_) {
        if (gone(c.pid)) continue;
        const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(now - c.since).count();
        if (age >= kKillAfterMs) {
          kill(c.pid, SIGKILL);
        } else if (age >= kTermAfterMs && !c.termSent) {
          kill(c.pid, SIGTERM);
          c.termSent = true;
        }
        still.push_back(c);
      }
      pending_.swap(still);
      if (pending_.empty()) break;
      // Children usually end within milliseconds of being asked; a short
      // poll keeps this free of signal handlers, which belong to the host.
      wake_.wait_for(lock, std::chrono::milliseconds(20));
    }
    running_ = false;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Child> pending_;
  std::thread worker_;
  bool running_ = false;
  bool stopping_ = false;
};

}  // namespace

std::string HelperProgramPath() {
  {
    std::lock_guard<std::mutex> lock(overrideMutex());
    if (!programOverride().empty()) return programOverride();
  }
  const std::string module = ModuleFilePath();
  if (module.empty()) return {};
  return (std::filesystem::path(module).parent_path() / WEBBRIDGE_HELPER_NAME).string();
}

void SetHelperProgramPath(std::string path) {
  std::lock_guard<std::mutex> lock(overrideMutex());
  programOverride() = std::move(path);
}

SpawnedHelper SpawnHelper(const std::string& program) {
  SpawnedHelper spawned;
  if (program.empty()) return spawned;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return spawned;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on fd 3, even when ends[1] already is 3.
  posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
  posix_spawn_file_actions_addclosefrom_np(&actions, 4);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);  // a host's SIG_IGN for SIGPIPE is not ours
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e)
    if (inheritable(*e)) env.emplace_back(*e);
  env.emplace_back("GDK_BACKEND=x11");
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string argv0 = program;
  char* argv[] = {argv0.data(), nullptr};

  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(ends[1]);
  if (error != 0) {
    close(ends[0]);
    return spawned;
  }
  spawned.pid = pid;
  spawned.fd = ends[0];
  return spawned;
}

void RetireHelper(pid_t pid) {
  if (pid > 0) Reaper::Instance().Adopt(pid);
}

}  // namespace webbridge
