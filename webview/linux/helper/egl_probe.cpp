#include "egl_probe.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <gdk/gdkx.h>

namespace webbridge {

namespace {

// The few EGL entry points needed, declared here so that nothing links libEGL.
using EglDisplay = void*;
using GetDisplayFn = EglDisplay (*)(void* nativeDisplay);
using InitializeFn = unsigned (*)(EglDisplay display, int* major, int* minor);

bool probe(void* xDisplay) {
  if (!xDisplay) return false;
  void* egl = dlopen("libEGL.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!egl) return false;
  // Deliberately never closed: WebKit loads the same library right after.
  auto getDisplay = reinterpret_cast<GetDisplayFn>(dlsym(egl, "eglGetDisplay"));
  auto initialize = reinterpret_cast<InitializeFn>(dlsym(egl, "eglInitialize"));
  if (!getDisplay || !initialize) return false;

  GdkDisplay* gdk = gdk_display_get_default();
  const bool trap = gdk && GDK_IS_X11_DISPLAY(gdk);
  if (trap) gdk_x11_display_error_trap_push(gdk);
  EglDisplay display = getDisplay(xDisplay);
  int major = 0, minor = 0;
  const bool ok = display != nullptr && initialize(display, &major, &minor) != 0;
  if (trap) gdk_x11_display_error_trap_pop_ignored(gdk);
  return ok;
}

}  // namespace

bool EglUsable(void* xDisplay) {
  static const bool usable = probe(xDisplay);
  return usable;
}

bool GpuRenderNodeAvailable() {
  DIR* dri = opendir("/dev/dri");
  if (!dri) return false;
  bool found = false;
  while (dirent* entry = readdir(dri)) {
    if (std::strncmp(entry->d_name, "renderD", 7) != 0) continue;
    const std::string node = std::string("/dev/dri/") + entry->d_name;
    if (access(node.c_str(), R_OK | W_OK) == 0) {
      found = true;
      break;
    }
  }
  closedir(dri);
  return found;
}

}  // namespace webbridge
