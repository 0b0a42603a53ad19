#include "tests/support/PeakMemory.h"

#include <cstdlib>
#include <fstream>
#include <string>

long PeakResidentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

void ResetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
