#pragma once

// Formats a trace message printf-style into a 513-byte buffer (longer messages are cut at 512 characters)
// and hands it to the shell's debug channel.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
