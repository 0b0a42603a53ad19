// The configuration reader on arbitrary files: it never crashes, and what it read survives a save and a
// second load unchanged (a value the reader accepts is one the writer can write).
#include <cstdint>

#include "config/ConfigFile.h"
#include "fuzz/support/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile input("spindrel.cfg");
    static FuzzFile saved("spindrel.cfg");
    Settings first;
    LoadConfig(first, input.Write(data, size));
    const std::string text = FormatConfig(first);
    Settings second;
    LoadConfig(second, saved.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    FuzzCheck(FormatConfig(second) == text, "a loaded configuration survives save and load");
    return 0;
}
