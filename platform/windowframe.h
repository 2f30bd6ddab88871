// The frame the desktop's window manager puts around a top-level window. An X11 window manager
// that follows the EWMH says, when asked, which frame it will give a window that is not mapped
// yet, so that the window can get its outer size and place before it appears.
#pragma once

#include <QMargins>
#include <optional>

class QWindow;

// The frame the window will get when it is mapped: no margins when no window manager runs;
// nothing when the platform or the window manager cannot tell. Call once the native window
// exists and before it is mapped; waits a moment for the window manager's answer.
std::optional<QMargins> announcedFrame(QWindow* window);

// Switched off, announcedFrame() does not ask the window manager, as with one that cannot
// answer. Tests switch it off to see windows framed unannounced.
void setFrameAnnouncementsEnabled(bool enabled);
