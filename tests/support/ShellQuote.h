#pragma once

#include <string>

// Single-quotes a word for the shell.
std::string ShellQuote(const std::string& word);
