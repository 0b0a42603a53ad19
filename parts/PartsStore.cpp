#include "parts/PartsStore.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "log/Log.h"
#include "parts/IndexRewrite.h"
#include "parts/PartAssembly.h"
#include "parts/PartsLock.h"
#include "parts/PartsPaths.h"

namespace {

constexpr int kSlots = 500;
constexpr int kMaxNameAttempts = 1000;
constexpr long kMaxAgeDaysLimit = 1000000000L; // keeps days x 86400 far inside a long

// The second of the last stored part and how many parts were stored within it; guarded by the parts lock.
time_t rememberedSecond = 0;
int sameSecondCounter = 0;

std::string PartFileName(time_t second, int counter) {
    char name[48];
    snprintf(name, sizeof name, "%08ld%03d", static_cast<long>(second), counter);
    return name;
}

// The signature as the index gives it back: cut to the readers' line length, without trailing blanks.
std::string IndexedSignature(const std::string& line) {
    std::string signature = line.substr(0, kMaxIndexLine);
    while (!signature.empty() &&
           (signature.back() == ' ' || signature.back() == '\t' || signature.back() == '\r')) {
        signature.pop_back();
    }
    return signature;
}

// Creates a part file named after `now` and the same-second counter. A name already taken (a part stored by
// an earlier run within the same second, or before the clock was set back) is never overwritten: the counter
// moves on.
FILE* CreatePartFile(const std::string& partsDir, time_t now, std::string& name) {
    if (now == rememberedSecond) {
        ++sameSecondCounter;
    } else {
        rememberedSecond = now;
        sameSecondCounter = 0;
    }
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        name = PartFileName(rememberedSecond, sameSecondCounter);
        FILE* file = fopen(PartFilePath(partsDir, name).c_str(), "wbx");
        if (file || errno != EEXIST) {
            return file;
        }
        ++sameSecondCounter;
    }
    return nullptr;
}

// Writes the body into a new part file; false, logged and with no file left behind, when it cannot be
// written.
bool WritePartFile(const std::string& partsDir, time_t now, const std::string& body, std::string& name) {
    FILE* file = CreatePartFile(partsDir, now, name);
    std::string path = PartFilePath(partsDir, name);
    bool written = file && fwrite(body.data(), 1, body.size(), file) == body.size();
    if (file) {
        written = (fclose(file) == 0) && written;
    }
    if (!written) {
        LogMessage("Failed to open \"%s\", out of space?\n", path.c_str());
        if (file) {
            std::remove(path.c_str());
        }
    }
    return written;
}

void RemovePartFile(const std::string& partsDir, const std::string& name) {
    std::string path = PartFilePath(partsDir, name);
    if (std::remove(path.c_str()) != 0) {
        LogMessage("   Error removing part \"%s\"", path.c_str());
    }
}

// The slot table of one scan: the records of the binary being collected, by part number.
class Slots {
  public:
    // False when the record cannot take a slot: its part number is outside 1..500.
    static bool fits(const PartRecord& record) { return record.part >= 1 && record.part <= kSlots; }
    std::optional<PartRecord>& at(int part) { return slots_[part - 1]; }
    int filled() const { return filled_; }
    void fill(PartRecord record) {
        ++filled_;
        slots_[record.part - 1] = std::move(record);
    }
    // Whether slots 1 to `total` all hold a part, so a set whose records disagree on the total never
    // completes with a gap.
    bool completeUpTo(int total) const {
        return total >= 1 && total <= kSlots &&
               std::all_of(slots_.begin(), slots_.begin() + total,
                           [](const auto& slot) { return slot.has_value(); });
    }
    // The records in slots [first, last), in part order.
    std::vector<PartRecord> records(int first, int last) const {
        std::vector<PartRecord> result;
        for (int i = first; i < last; ++i) {
            if (slots_[i]) {
                result.push_back(*slots_[i]);
            }
        }
        return result;
    }

  private:
    // On the heap: the download thread's stack is small.
    std::vector<std::optional<PartRecord>> slots_ = std::vector<std::optional<PartRecord>>(kSlots);
    int filled_ = 0;
};

struct ScanResult {
    std::optional<std::string> body;
    bool committed = false; // the new index is in place
};

// One pass over the index for `signature`: expires old records, copies other binaries' records into the new
// index, gathers the binary's records into slots, and finally re-stamps or joins them.
class IndexScan {
  public:
    IndexScan(std::string signature, const std::string& partsDir, time_t now, long maxAgeDays)
        : signature_(std::move(signature)), partsDir_(partsDir), now_(now),
          cutoff_(static_cast<long>(now) - std::clamp(maxAgeDays, 0L, kMaxAgeDaysLimit) * 86400L),
          out_(partsDir) {}

    bool isOpen() const { return out_.isOpen(); }

    void take(const PartRecord& record) {
        if (record.time < cutoff_) {
            LogMessage("   Removing old Parts... (%s)", PartFilePath(partsDir_, record.file).c_str());
            doomed_.push_back(record.file);
            return;
        }
        // Records of other binaries, of a set already complete, and records whose part number has no slot
        // pass through unchanged.
        if (completeTotal_ > 0 || record.signature != signature_ || !Slots::fits(record)) {
            out_.write(record);
            return;
        }
        std::optional<PartRecord>& slot = slots_.at(record.part);
        if (slot) {
            LogMessage("   Hmmm... we've seen this part before (removing)");
            // A repeated record of the very same file must not take the collected part's file with it.
            if (slot->file != record.file) {
                doomed_.push_back(record.file);
            }
        } else {
            slots_.fill(record);
        }
        if (slots_.completeUpTo(record.total)) {
            completeTotal_ = record.total;
        }
    }

    // Writes the binary's records back (unless joined), moves the new index into place, and only then deletes
    // files: no index ever names a file that is gone.
    ScanResult finish(long& counterA, long& counterB) {
        ScanResult result;
        if (completeTotal_ == 0) {
            LogMessage("   Incomplete post, %d part%s so far", slots_.filled(),
                       slots_.filled() == 1 ? "" : "s");
            WriteRestamped(slots_.records(0, kSlots));
        } else {
            LogMessage("   Found all parts");
            result.body = AssembleParts(partsDir_, slots_.records(0, completeTotal_));
            // Without an article the set stays collected, to be tried again, rather than being thrown away.
            WriteRestamped(slots_.records(result.body ? completeTotal_ : 0, kSlots));
        }
        result.committed = out_.commit();
        if (!result.committed) {
            result.body.reset();
            return result;
        }
        for (const std::string& name : doomed_) {
            RemovePartFile(partsDir_, name);
        }
        if (result.body) {
            for (const PartRecord& part : slots_.records(0, completeTotal_)) {
                RemovePartFile(partsDir_, part.file);
            }
            ++counterA;
            ++counterB;
        }
        return result;
    }

  private:
    void WriteRestamped(std::vector<PartRecord> records) {
        for (PartRecord& record : records) {
            record.time = now_;
            out_.write(record);
        }
    }

    std::string signature_;
    const std::string& partsDir_;
    time_t now_;
    long cutoff_;
    IndexRewrite out_;
    Slots slots_;
    int completeTotal_ = 0;
    std::vector<std::string> doomed_;
};

// Scans the index; `added`, the record of a part just stored, joins the scan as the index's last record, so
// it reaches the index only through the same atomic rewrite. Without an index there is nothing to scan,
// unless a record is being added: then the scan starts the index.
ScanResult Scan(const std::string& signature, const std::string& partsDir, long& counterA, long& counterB,
                long maxAgeDays, time_t now, const PartRecord* added) {
    FILE* in = fopen(IndexPath(partsDir).c_str(), "r");
    if (!in && !(added && errno == ENOENT)) {
        return {};
    }
    IndexScan scan(signature, partsDir, now, maxAgeDays);
    if (!scan.isOpen()) {
        if (in) {
            fclose(in);
        }
        return {};
    }
    PartRecord record;
    while (in && !feof(in) && !ferror(in)) {
        if (ReadRecord(in, record)) {
            scan.take(record);
        }
    }
    // An index that cannot be read to its end is never replaced by what was read of it.
    bool unreadable = in && ferror(in);
    if (in) {
        fclose(in);
    }
    if (unreadable) {
        return {};
    }
    if (added) {
        scan.take(*added);
    }
    return scan.finish(counterA, counterB);
}

} // namespace

void ResetPartFileNaming() {
    PartsLockGuard guard;
    rememberedSecond = 0;
    sameSecondCounter = 0;
}

std::optional<std::string> StorePart(Header& header, std::string body, const std::string& partsDir,
                                     long& counterA, long& counterB, long maxAgeDays,
                                     const PartsClock& clock) {
    if (!header.isMultiPart()) {
        return std::nullopt;
    }
    std::error_code ignored;
    std::filesystem::create_directories(PartsDirectory(partsDir), ignored);
    std::string signature = IndexedSignature(header.getPartLine());

    PartsLockGuard guard;
    time_t now = clock();
    std::string name;
    bool stored = WritePartFile(partsDir, now, body, name);
    std::string().swap(body);
    if (!stored) {
        return Scan(signature, partsDir, counterA, counterB, maxAgeDays, now, nullptr).body;
    }
    LogMessage("   Part %d of %d \"%s\"", header.getPartNumber(), header.getPartTotal(),
               header.getPartName().c_str());
    PartRecord record{static_cast<long>(now), header.getPartNumber(), header.getPartTotal(), name, signature};
    ScanResult result = Scan(signature, partsDir, counterA, counterB, maxAgeDays, now, &record);
    if (!result.committed) {
        // The index could not take the record: the file would only ever be an orphan.
        LogMessage("Failed to open \"%s\"\n", IndexPath(partsDir).c_str());
        std::remove(PartFilePath(partsDir, name).c_str());
    }
    return result.body;
}

std::optional<std::string> CollectParts(const std::string& signature, const std::string& partsDir,
                                        long& counterA, long& counterB, long maxAgeDays,
                                        const PartsClock& clock) {
    return Scan(IndexedSignature(signature), partsDir, counterA, counterB, maxAgeDays, clock(), nullptr).body;
}
