#pragma once

#include "idlkit/ShellTypes.h"

#include <cstddef>

// Conversions between the locale's multibyte text and wide characters, through the C library.
// With no output buffer (null or size 0) they return the size needed, terminator included.
// Otherwise they return the number written, terminator included, and 0 when the text is not valid in the
// current locale or does not fit together with its terminator (the output then holds an empty string).

IDLSHELL_API std::size_t MultiByteToWide(const char* text, wchar_t* out, std::size_t outChars);
IDLSHELL_API std::size_t WideToMultiByte(const wchar_t* text, char* out, std::size_t outBytes);
