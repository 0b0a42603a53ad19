#pragma once

#include <string>

class Dialogs;
class QWidget;

// Opens `path` with the default application of its MIME type, found and started through GIO (the desktop
// entry's field codes are honoured and no shell is involved). Without one, asks whether to use the
// application of `textType` instead, and does nothing when that type has none either. A failed start shows
// the system's text.
void ViewFile(const std::string& path, Dialogs& dialogs, QWidget* parent,
              const char* textType = "text/plain");
