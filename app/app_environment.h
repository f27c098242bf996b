#pragma once

class QQmlEngine;

namespace tonbrook {

// Before QGuiApplication exists: Qt Multimedia's FFmpeg back end (it plays MP3 without any
// GStreamer plugins), unless the user chose another with QT_MEDIA_BACKEND; and the desktop's
// own file dialogs (desktop_dialogs.h); and inspections that yield the processor to the
// window's thread.
void prepareProcessEnvironment();

// After QGuiApplication, before the first engine: the app's own style (TonbrookStyle), which
// draws with the palette of the light or dark scheme, unless QT_QUICK_CONTROLS_STYLE names
// another.
void prepareQuickStyle();

// Lets an engine import the Tonbrook module from the program's resources.
void prepareEngine(QQmlEngine &engine);

} // namespace tonbrook
