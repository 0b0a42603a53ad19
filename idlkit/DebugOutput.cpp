#include "idlkit/DebugOutput.h"

#include <atomic>

namespace {

std::atomic<DebugTextHandler> currentHandler{nullptr};

} // namespace

void OutputDebugText(const char* text) {
    if (DebugTextHandler handler = currentHandler.load()) {
        handler(text);
    }
}

DebugTextHandler SetDebugTextHandler(DebugTextHandler handler) {
    return currentHandler.exchange(handler);
}
