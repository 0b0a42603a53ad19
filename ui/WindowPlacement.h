#pragma once

#include <QString>

class QWidget;

// The program's own INI file in the user's configuration directory: the main window's placement and the
// property sheet's position.
QString ProfilePath();

// How the restored window is to be shown.
enum class ShowState { Normal, Minimized, Maximized };

// Section "Spindrel 1.4w", integer keys "flags", "showCmd", "x1", "y1", "x2", "y2": the placement flags, the
// show state and the normal (restored) rectangle.
void SaveWindowPlacement(const QWidget& window);
// Does nothing as soon as one key is missing or -1; otherwise puts the window at the stored rectangle, kept
// on the screen, and returns the stored show state.
ShowState RestoreWindowPlacement(QWidget& window);
