#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "parts/Header.h"

// The parts store done the straightforward way: every store reads the whole index, decides about every record
// and writes the whole index anew. The differential test holds the real store against it.
class FullScanStore {
  public:
    explicit FullScanStore(std::string partsDir) : partsDir_(std::move(partsDir)) {}
    std::optional<std::string> Store(Header& header, const std::string& body, long maxAgeDays, time_t now);
    // As a new process starts.
    void Restart() { second_ = 0, counter_ = 0; }
    long counter = 0;

  private:
    std::string partsDir_;
    time_t second_ = 0;
    int counter_ = 0;
};
