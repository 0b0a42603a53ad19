#pragma once

class QWidget;

// The property sheet's top-left corner in the program's INI file: section "Spindrel", key "ConfigDlg",
// value "(%d,%d)" in screen pixels.
void SaveSheetPosition(const QWidget& sheet);
// Moves the sheet there, without resizing it; a missing or damaged value, or one on no screen, leaves it
// where it is.
void RestoreSheetPosition(QWidget& sheet);
