#pragma once

#include "idlkit/ShellFolder.h"

#include <optional>
#include <string>

// The whole display name of `list` in `folder` (null: the desktop) in the locale's multibyte text; none when
// the folder gives no usable name.
std::optional<std::string> DisplayNameText(IShellFolder* folder, const ITEMIDLIST* list, unsigned flags);
