#include "tests/parts/FullScanStore.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "log/Log.h"
#include "parts/IndexRewrite.h"
#include "parts/PartAssembly.h"
#include "parts/PartRecord.h"
#include "parts/PartsPaths.h"

namespace {

std::vector<PartRecord> ReadIndex(const std::string& partsDir) {
    std::vector<PartRecord> records;
    FILE* in = fopen(IndexPath(partsDir).c_str(), "r");
    PartRecord record;
    while (in && !feof(in)) {
        if (ReadRecord(in, record)) {
            records.push_back(record);
        }
    }
    if (in) {
        fclose(in);
    }
    return records;
}

void Remove(const std::string& partsDir, const std::string& name) {
    std::string path = PartFilePath(partsDir, name);
    if (std::remove(path.c_str()) != 0) {
        LogMessage("   Error removing part \"%s\"", path.c_str());
    }
}

} // namespace

std::optional<std::string> FullScanStore::Store(Header& header, const std::string& body, long maxAgeDays,
                                                time_t now) {
    std::filesystem::create_directories(PartsDirectory(partsDir_));
    counter_ = now == second_ ? counter_ + 1 : 0;
    second_ = now;
    char name[48];
    snprintf(name, sizeof name, "%08ld%03d", static_cast<long>(now), counter_);
    FILE* file = fopen(PartFilePath(partsDir_, name).c_str(), "wb");
    fwrite(body.data(), 1, body.size(), file);
    fclose(file);
    LogMessage("   Part %d of %d \"%s\"", header.getPartNumber(), header.getPartTotal(),
               header.getPartName().c_str());
    std::string signature = header.getPartLine();
    while (!signature.empty() && signature.back() == ' ') {
        signature.pop_back();
    }
    std::vector<PartRecord> records = ReadIndex(partsDir_);
    records.push_back(
        {static_cast<long>(now), header.getPartNumber(), header.getPartTotal(), name, signature});

    long cutoff = static_cast<long>(now) - maxAgeDays * 86400L;
    std::map<int, PartRecord> slots;
    std::vector<PartRecord> kept;
    std::vector<std::string> doomed;
    int complete = 0;
    for (const PartRecord& record : records) {
        if (record.time < cutoff) {
            LogMessage("   Removing old Parts... (%s)", PartFilePath(partsDir_, record.file).c_str());
            doomed.push_back(record.file);
        } else if (complete || record.signature != signature || record.part < 1 || record.part > 500) {
            kept.push_back(record);
        } else {
            if (slots.count(record.part)) {
                LogMessage("   Hmmm... we've seen this part before (removing)");
                if (slots[record.part].file != record.file) {
                    doomed.push_back(record.file);
                }
            } else {
                slots[record.part] = record;
            }
            bool all = record.total >= 1 && record.total <= 500;
            for (int part = 1; all && part <= record.total; ++part) {
                all = slots.count(part) > 0;
            }
            complete = all ? record.total : 0;
        }
    }
    std::optional<std::string> joined;
    std::vector<PartRecord> set;
    if (complete) {
        LogMessage("   Found all parts");
        for (auto& [part, record] : slots) {
            if (part <= complete) {
                set.push_back(record);
            }
        }
        joined = AssembleParts(partsDir_, set);
    } else {
        LogMessage("   Incomplete post, %d part%s so far", static_cast<int>(slots.size()),
                   slots.size() == 1 ? "" : "s");
    }
    IndexRewrite out(partsDir_);
    for (const PartRecord& record : kept) {
        out.write(record);
    }
    for (auto& [part, record] : slots) {
        if (!joined || part > complete) {
            PartRecord restamped = record;
            restamped.time = now;
            out.write(restamped);
        }
    }
    out.commit();
    for (const std::string& file : doomed) {
        Remove(partsDir_, file);
    }
    if (joined) {
        for (const PartRecord& record : set) {
            Remove(partsDir_, record.file);
        }
        ++counter;
    }
    return joined;
}
