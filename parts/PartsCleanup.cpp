#include "parts/PartsCleanup.h"

#include <vector>

#include "log/Log.h"
#include "parts/IndexRewrite.h"
#include "parts/PartRecord.h"
#include "parts/PartsIndex.h"
#include "parts/PartsLock.h"
#include "parts/PartsPaths.h"

namespace {

// Every readable record in file order. An unreadable line is skipped and reading goes on after it, so the
// records that follow damage are neither lost nor kept out of the count.
std::vector<PartRecord> ReadAllRecords(FILE* in) {
    std::vector<PartRecord> records;
    PartRecord record;
    while (!feof(in) && !ferror(in)) {
        if (ReadPartRecord(record, in)) {
            records.push_back(std::move(record));
        }
    }
    return records;
}

} // namespace

int RemoveOldestQuarter(const std::string& partsDir) {
    PartsLockGuard guard;
    SharedPartsIndex().settle();
    FILE* in = fopen(IndexPath(partsDir).c_str(), "r");
    if (!in) {
        return 0;
    }
    std::vector<PartRecord> records = ReadAllRecords(in);
    bool unreadable = ferror(in);
    fclose(in);
    size_t quarter = records.size() / 4;
    if (unreadable || quarter == 0) {
        return 0;
    }
    IndexRewrite out(partsDir);
    for (size_t j = quarter; j < records.size(); ++j) {
        out.write(records[j]);
    }
    // The files go only once the shorter index is in place; if it cannot be, nothing is removed.
    if (!out.commit()) {
        return 0;
    }
    for (size_t j = 0; j < quarter; ++j) {
        std::string path = PartFilePath(partsDir, records[j].file);
        if (std::remove(path.c_str()) != 0) {
            LogMessage("25%% Clean up - failed to delete '%s'", path.c_str());
        }
    }
    return static_cast<int>(quarter);
}
