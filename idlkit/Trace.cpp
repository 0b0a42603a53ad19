#include "idlkit/Trace.h"

#include "idlkit/DebugOutput.h"

#include <cstdarg>
#include <cstdio>

void Trace(const char* format, ...) {
    char text[513];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    OutputDebugText(text);
}
