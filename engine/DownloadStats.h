#pragma once

#include <cstdint>
#include <mutex>

#include "engine/EngineHost.h"

// The status panels' counters: per category a count and a byte total, once per server and once per group.
class DownloadStats {
  public:
    struct Counter {
        int64_t count = 0;
        double bytes = 0;
    };

    // Resets one scope and shows "0" and "0.0" in its eight fields.
    void Reset(PanelScope scope, EngineHost& host);
    // Adds one item of `bytes` to `row` in both scopes and shows the two updated rows.
    void Add(PanelRow row, double bytes, EngineHost& host);

    Counter Get(PanelScope scope, PanelRow row) const;

  private:
    void Show(PanelScope scope, PanelRow row, EngineHost& host) const;

    mutable std::mutex mutex_;
    Counter counters_[2][4];
};
