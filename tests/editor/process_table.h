// The browser helper processes as the system lists them (/proc), for tests
// that check none is left behind.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace qeqtest {

struct ProcessEntry {
  std::string comm;  // the program name, cut to 15 bytes
  char state = 0;    // 'Z' for a zombie waiting for its parent
  pid_t parent = 0;
};

/// Reads /proc/<pid>/stat; false when there is no such process.
inline bool ReadProcess(pid_t pid, ProcessEntry& entry) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  // "pid (comm) state ppid ...": comm may hold anything, so split at the last ')'.
  const auto open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  entry.comm = line.substr(open + 1, close - open - 1);
  int parent = 0;
  if (std::sscanf(line.c_str() + close + 1, " %c %d", &entry.state, &parent) != 2) return false;
  entry.parent = parent;
  return true;
}

/// Running, not merely a zombie.
inline bool Running(pid_t pid) {
  ProcessEntry entry;
  return ReadProcess(pid, entry) && entry.state != 'Z';
}

/// Children of `parent` that run the browser helper, zombies included.
inline std::vector<pid_t> HelperChildrenOf(pid_t parent) {
  std::vector<pid_t> found;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return found;
  while (dirent* e = readdir(proc.get())) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    ProcessEntry entry;
    if (pid > 0 && ReadProcess(pid, entry) && entry.parent == parent &&
        entry.comm.rfind("quenrileq-webvi", 0) == 0)
      found.push_back(pid);
  }
  return found;
}

}  // namespace qeqtest
