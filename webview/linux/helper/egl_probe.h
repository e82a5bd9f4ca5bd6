// Checks that EGL works before WebKit needs it. WebKitGTK ends the whole
// process when it cannot create its EGL display, and in a plug-in that
// process is the user's DAW; an editor that stays empty is the better outcome.
#pragma once

namespace webbridge {

/// True when libEGL can be loaded and initialised on the given Xlib display
/// (`Display*`, passed untyped to keep Xlib out of this header). Loads libEGL
/// with dlopen, so a machine without it answers false instead of failing to
/// load the module. X errors raised meanwhile are trapped on GDK's display.
/// The display is left initialised (WebKit goes on to use the same one).
/// The first answer is kept for the life of the process. [UI thread]
bool EglUsable(void* xDisplay);

/// True when a GPU render node (/dev/dri/renderD*) can be opened for
/// reading and writing. WebKit's DMA-BUF renderer needs one: without it the
/// page stays unpainted, so the browser then renders in software. Any thread.
bool GpuRenderNodeAvailable();

}  // namespace webbridge
