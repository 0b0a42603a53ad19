#pragma once

#include "tests/support/ShellQuote.h"

#include <string>

// Test data made by real encoders at run time.

// Bytes 0..size-1 of a fixed pseudo-random sequence chosen by seed.
std::string RandomBytes(size_t size, unsigned seed);

// Runs a shell command and returns what it wrote to standard output; the test fails if it exits non-zero.
std::string CommandOutput(const std::string& command);

// The output of sharutils uuencode for the file at path, with begin-line name `name`.
std::string UUEncodeFile(const std::string& path, const std::string& name);

// LF line ends turned into CR LF, as bodies arrive from a news server.
std::string ToCrLf(const std::string& text);

// A string literal with the NUL bytes inside it (without the terminating one).
template <size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}
