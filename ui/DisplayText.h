#pragma once

#include <QString>

#include <string>

// Text from posts, servers and the disk as the windows show it: bytes that are not UTF-8 and control
// characters become the replacement character, so every name is shown and none can disturb the screen.
QString DisplayText(const std::string& bytes);
