// Keyboard focus for a window embedded into another program's window. The
// host's window manager gives the keyboard to the host's top-level, and
// toolkit hosts keep it on a focus window of their own, so keys would never
// reach the page. The editor takes the X input focus when it is clicked and
// gives it back to the host's top-level when the pointer leaves, so the
// host's own shortcuts (the space bar) work again outside the editor.
#pragma once

typedef struct _GtkWidget GtkWidget;

namespace webbridge {

/// Installs the focus handling for `toplevel` (a realized GTK window living
/// inside the X window `wrapper`) for the life of that window. [main thread]
void FollowClicksWithKeyboardFocus(GtkWidget* toplevel, unsigned long wrapper);

}  // namespace webbridge
