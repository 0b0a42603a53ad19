#pragma once

#include <string>

class Dialogs;
class MainWindow;
struct Settings;

// The Config command: saves the settings, loads a copy of them from the file, lets the property sheet edit
// the copy and, on OK, applies it: the log switch, the tray icon, the running connection's bandwidth
// limit, the settings themselves (the download's filter list is read again), the file, and the tree when
// the output directory or the file view changed. Cancel changes nothing.
void RunConfigSheet(MainWindow& window, Settings& settings, Dialogs& dialogs, const std::string& configFile);
