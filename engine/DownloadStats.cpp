#include "engine/DownloadStats.h"

#include <cstdio>
#include <string>

namespace {

constexpr PanelRow kRows[] = {PanelRow::Extracted, PanelRow::Culled, PanelRow::Filtered, PanelRow::Reposts};

std::string Format(const char* format, auto value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

void DownloadStats::Reset(PanelScope scope, EngineHost& host) {
    for (PanelRow row : kRows) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            counters_[static_cast<int>(scope)][static_cast<int>(row)] = Counter{};
        }
        Show(scope, row, host);
    }
}

void DownloadStats::Add(PanelRow row, double bytes, EngineHost& host) {
    for (PanelScope scope : {PanelScope::Server, PanelScope::Group}) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Counter& counter = counters_[static_cast<int>(scope)][static_cast<int>(row)];
            counter.count += 1;
            counter.bytes += bytes;
        }
        Show(scope, row, host);
    }
}

DownloadStats::Counter DownloadStats::Get(PanelScope scope, PanelRow row) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_[static_cast<int>(scope)][static_cast<int>(row)];
}

void DownloadStats::Show(PanelScope scope, PanelRow row, EngineHost& host) const {
    Counter counter = Get(scope, row);
    host.SetPanelRow(scope, row, Format("%ld", static_cast<long>(counter.count)),
                     Format("%1.1f", counter.bytes / 1048576.0));
}
