// The browser helper processes as the system lists them (/proc), for tests
// that check none is left behind.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace qeqtest {

/// Reads /proc/<pid>/stat: the program name (cut to 15 bytes), the state ('Z'
/// for a zombie waiting for its parent) and the parent; false when there is no such process.
inline bool ReadProcess(pid_t pid, std::string& comm, char& state, int& parent) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  // "pid (comm) state ppid ...": comm may hold anything, so split at the last ')'.
  if (!std::getline(stat, line) || line.find('(') == std::string::npos || line.rfind(')') == std::string::npos) return false;
  comm = line.substr(line.find('(') + 1, line.rfind(')') - line.find('(') - 1);
  return std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &parent) == 2;
}

/// Running, not merely a zombie.
inline bool Running(pid_t pid) {
  std::string comm;
  char state = 0;
  int parent = 0;
  return ReadProcess(pid, comm, state, parent) && state != 'Z';
}

/// Children of `parent` that run the browser helper, zombies included.
inline std::vector<pid_t> HelperChildrenOf(pid_t parent) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  while (dirent* e = proc ? readdir(proc) : nullptr) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    std::string comm;
    char state = 0;
    int up = 0;
    if (pid > 0 && ReadProcess(pid, comm, state, up) && up == parent && comm.rfind("quenrileq-webvi", 0) == 0) found.push_back(pid);
  }
  if (proc) closedir(proc);
  return found;
}

}  // namespace qeqtest
