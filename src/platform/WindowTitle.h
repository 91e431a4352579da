#pragma once

class QWindow;

namespace tavrenhold::platform {

// Puts the window's own title, as it is, in the X window's _NET_WM_NAME and WM_NAME. Qt's X11
// plugin writes "<title> — <application display name>" there; a window whose title already names
// the program shows it once. Makes the native window if there is none yet; does nothing on other
// platforms. Qt writes its form again only when the title changes, so call it after each change.
void showPlainTitle(QWindow &window);

} // namespace tavrenhold::platform
