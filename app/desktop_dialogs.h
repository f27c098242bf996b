#pragma once

namespace tonbrook {

// Before the application object exists: picks the Qt platform theme whose file and folder
// dialogs the app shows, unless the user chose one with QT_QPA_PLATFORMTHEME.
// - "xdgdesktopportal" where org.freedesktop.portal.Desktop runs or is activatable on the
//   session bus: the desktop's own chooser, through the FileChooser portal;
// - else "gtk3" where its plugin is installed: the GTK file chooser in process;
// - else Qt's default, whose dialogs Qt.labs.platform replaces with QFileDialog widgets.
// The bus is asked with short timeouts on a private connection that is closed again, and only
// where a session bus is configured (no autolaunch). Platforms other than X11 and Wayland
// (offscreen, minimal, eglfs...) are left alone.
void chooseDesktopDialogs();

} // namespace tonbrook
