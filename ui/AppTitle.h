#pragma once

// The program's title string: the placement store's section, the tray tip and the start of the caption.
inline constexpr const char* kAppTitle = "Spindrel 1.4w";
inline constexpr const char* kCaption = "Spindrel 1.4w - Fire & Forget Binary Downloading";
