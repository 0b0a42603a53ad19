#include "parts/PartsStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <vector>

#include "log/Log.h"
#include "parts/PartAssembly.h"
#include "parts/PartsIndex.h"
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

// A slot: the record of one part of the binary being collected, and where the index holds it (none for the
// record of the part just stored, which is not in the index yet).
struct Slot {
    PartRecord record;
    std::optional<PartsIndex::Position> position;
};

// The slot table of one scan: the records of the binary being collected, by part number.
class Slots {
  public:
    // False when the record cannot take a slot: its part number is outside 1..500.
    static bool fits(const PartRecord& record) { return record.part >= 1 && record.part <= kSlots; }
    std::optional<Slot>& at(int part) { return slots_[part - 1]; }
    int filled() const { return filled_; }
    void fill(Slot slot) {
        ++filled_;
        int part = slot.record.part;
        slots_[part - 1] = std::move(slot);
    }
    // Whether slots 1 to `total` all hold a part, so a set whose records disagree on the total never
    // completes with a gap.
    bool completeUpTo(int total) const {
        return total >= 1 && total <= kSlots &&
               std::all_of(slots_.begin(), slots_.begin() + total,
                           [](const auto& slot) { return slot.has_value(); });
    }
    // The filled slots in [first, last), in part order.
    std::vector<Slot> range(int first, int last) const {
        std::vector<Slot> result;
        for (int i = first; i < last; ++i) {
            if (slots_[i]) {
                result.push_back(*slots_[i]);
            }
        }
        return result;
    }
    std::vector<PartRecord> records(int first, int last) const {
        std::vector<PartRecord> result;
        for (const Slot& slot : range(first, last)) {
            result.push_back(slot.record);
        }
        return result;
    }

  private:
    // On the heap: the download thread's stack is small.
    std::vector<std::optional<Slot>> slots_ = std::vector<std::optional<Slot>>(kSlots);
    int filled_ = 0;
};

struct ScanResult {
    std::optional<std::string> body;
    bool committed = false; // the index holds what the scan decided
};

// One scan for `signature`, as if the whole index were read in file order and written anew, but visiting
// only the records that can change: expired ones and the binary's own. Every other record would pass through
// unchanged, so it is left where it is.
class IndexScan {
  public:
    IndexScan(PartsIndex& index, std::string signature, const std::string& partsDir, time_t now,
              long maxAgeDays)
        : index_(index), signature_(std::move(signature)), partsDir_(partsDir), now_(now),
          cutoff_(static_cast<long>(now) - std::clamp(maxAgeDays, 0L, kMaxAgeDaysLimit) * 86400L) {}

    // Visits the records that matter in file order, then `added`, the record of the part just stored, as the
    // index's last record.
    void run(const PartRecord* added) {
        std::vector<PartsIndex::Position> visit = index_.stampedBefore(cutoff_);
        std::vector<PartsIndex::Position> binary = index_.withSignature(signature_);
        visit.insert(visit.end(), binary.begin(), binary.end());
        std::sort(visit.begin(), visit.end());
        visit.erase(std::unique(visit.begin(), visit.end()), visit.end());
        for (PartsIndex::Position position : visit) {
            take(index_.at(position), position);
        }
        if (added) {
            addedKept_ = take(*added, std::nullopt);
        }
    }

    // Writes the outcome into the index (the record just stored, refreshed times, removals) and only then
    // deletes files: no index ever names a file that is gone. An assembled set stays listed, with its files,
    // until the next store or the end of the group's visit, when its article has been decoded.
    ScanResult finish(const PartRecord* added, long& counterA, long& counterB) {
        ScanResult result;
        int keepFrom = 0;
        if (completeTotal_ == 0) {
            LogMessage("   Incomplete post, %d part%s so far", slots_.filled(),
                       slots_.filled() == 1 ? "" : "s");
        } else {
            LogMessage("   Found all parts");
            result.body = AssembleParts(partsDir_, slots_.records(0, completeTotal_));
            // Without an article the set stays collected, to be tried again, rather than being thrown away.
            keepFrom = result.body ? completeTotal_ : 0;
        }
        std::optional<PartsIndex::Position> addedAt;
        if (addedKept_ && !addedInSlot_) {
            addedAt.emplace(index_.add(*added));
        }
        for (const PartsIndex::Position position : removed_) {
            index_.remove(position);
        }
        std::vector<PartsIndex::Position> assembled;
        for (const Slot& slot : slots_.range(0, kSlots)) {
            bool joined = slot.record.part <= keepFrom;
            if (slot.position && joined) {
                assembled.push_back(*slot.position);
            } else if (slot.position) {
                index_.restamp(*slot.position, now_);
                index_.markRefreshed();
            } else {
                PartRecord restamped = slot.record;
                restamped.time = now_;
                addedAt = index_.add(std::move(restamped));
                if (joined) {
                    assembled.push_back(*addedAt);
                }
            }
        }
        // A set that completes is committed by a rewrite, which shows that the index can be rewritten
        // without it when it is released.
        if (!removed_.empty() || result.body) {
            result.committed = index_.rewrite();
        } else {
            result.committed = !addedAt || index_.append(*addedAt);
        }
        if (!result.committed) {
            result.body.reset();
            return result;
        }
        for (const std::string& name : doomed_) {
            RemovePartFile(partsDir_, name);
        }
        if (result.body) {
            index_.holdAssembled(std::move(assembled));
            ++counterA;
            ++counterB;
        }
        return result;
    }

  private:
    // False when the record leaves the index.
    bool take(const PartRecord& record, std::optional<PartsIndex::Position> position) {
        if (record.time < cutoff_) {
            LogMessage("   Removing old Parts... (%s)", PartFilePath(partsDir_, record.file).c_str());
            doomed_.push_back(record.file);
            drop(position);
            return false;
        }
        // Records of other binaries, of a set already complete, and records whose part number has no slot
        // pass through unchanged.
        if (completeTotal_ > 0 || record.signature != signature_ || !Slots::fits(record)) {
            return true;
        }
        std::optional<Slot>& slot = slots_.at(record.part);
        bool kept = !slot;
        if (slot) {
            LogMessage("   Hmmm... we've seen this part before (removing)");
            // A repeated record of the very same file must not take the collected part's file with it.
            if (slot->record.file != record.file) {
                doomed_.push_back(record.file);
            }
            drop(position);
        } else {
            addedInSlot_ = !position;
            slots_.fill({record, position});
        }
        if (slots_.completeUpTo(record.total)) {
            completeTotal_ = record.total;
        }
        return kept;
    }

    void drop(std::optional<PartsIndex::Position> position) {
        if (position) {
            removed_.push_back(*position);
        }
    }

    PartsIndex& index_;
    std::string signature_;
    const std::string& partsDir_;
    time_t now_;
    long cutoff_;
    Slots slots_;
    int completeTotal_ = 0;
    bool addedKept_ = false;
    bool addedInSlot_ = false;
    std::vector<PartsIndex::Position> removed_;
    std::vector<std::string> doomed_;
};

// How long refreshed times may wait in memory before the index is rewritten with them.
constexpr auto kRefreshedTimesDelay = std::chrono::seconds(2);

// Scans the index for `signature`; `added`, the record of a part just stored, joins the scan as the index's
// last record. Without an index there is nothing to scan, unless a record is being added: then the scan
// starts the index.
ScanResult Scan(const std::string& signature, const std::string& partsDir, long& counterA, long& counterB,
                long maxAgeDays, time_t now, const PartRecord* added) {
    PartsIndex& index = SharedPartsIndex();
    index.settle(kRefreshedTimesDelay);
    PartsIndex::State state = index.sync(partsDir);
    if (state == PartsIndex::State::Unreadable || (state == PartsIndex::State::Missing && !added)) {
        return {};
    }
    IndexScan scan(index, signature, partsDir, now, maxAgeDays);
    scan.run(added);
    ScanResult result = scan.finish(added, counterA, counterB);
    index.writeRefreshed(kRefreshedTimesDelay);
    return result;
}

} // namespace

void ResetPartFileNaming() {
    PartsLockGuard guard;
    SharedPartsIndex().settle();
    SharedPartsIndex().forget();
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

void FlushPartsIndex() {
    PartsLockGuard guard;
    SharedPartsIndex().settle();
}
