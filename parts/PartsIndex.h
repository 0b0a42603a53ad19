#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "parts/PartRecord.h"
#include "platform/FileIdentity.h"

// The parts index as the store keeps it between stores: read from the file once, then changed in memory and
// in the file together, so that storing a part costs the records of its own binary rather than the whole
// index. A new record is appended to the file in one write, a removal rewrites the file atomically, and
// refreshed times (with the moves to the end that go with them) are written in batches. The file is read
// again whenever it is no longer the file last read or written here: the browser, the clean-up, another
// process or a hand changed it. Every call is made under the parts lock.
class PartsIndex {
  public:
    using Position = uint64_t; // a record's place in file order

    enum class State { Read, Missing, Unreadable };
    // Makes the copy in memory that of the index of `partsDir`, reading the file only when it changed.
    // Unreadable (a directory, no permission, a read error) leaves the copy empty.
    State sync(const std::string& partsDir);

    const PartRecord& at(Position position) const { return records_.at(position); }
    // In file order.
    std::vector<Position> stampedBefore(long cutoff) const;
    std::vector<Position> withSignature(const std::string& signature) const;

    // Changes to the copy in memory; the file follows through the calls below.
    Position add(PartRecord record); // at the end
    void remove(Position position);
    // Gives the record a new time and moves it to the end, as a rewrite of the file would.
    Position restamp(Position position, long time);

    // Appends one record to the file in one write (or rewrites the file when it ended in damage).
    bool append(Position position);
    // Rewrites the whole file from memory, atomically.
    bool rewrite();
    // Remembers that refreshed times are still to be written.
    void markRefreshed();
    // Writes refreshed times noted at least `age` ago; true when nothing is left to write.
    bool writeRefreshed(std::chrono::steady_clock::duration age);
    // Drops the copy in memory: the next sync reads the file.
    void forget();

    // Keeps the records of a set just assembled in the index until the next settle: a crash before the
    // assembled article has been decoded finds the set still complete on disk, and the article that completed
    // it, fetched again, assembles it again.
    void holdAssembled(std::vector<Position> positions);
    // Drops the held records (rewriting the file) and deletes their part files, then writes refreshed times
    // noted at least `age` ago. Every store begins with it; every other reader of the index (the clean-up,
    // the browser) calls it first, so it reads what the store knows.
    void settle(std::chrono::steady_clock::duration age = {});

  private:
    bool read(FILE* in);
    void clear();
    bool noteWritten(const std::optional<FileIdentity>& identity);
    void releaseHeld();

    std::string partsDir_;
    std::optional<FileIdentity> identity_; // of the file the copy is of; empty when there is none
    bool damaged_ = false;                 // the file holds lines no record accounts for
    std::optional<std::chrono::steady_clock::time_point> refreshedSince_;
    Position next_ = 0;
    std::map<Position, PartRecord> records_;
    std::unordered_map<std::string, std::set<Position>> bySignature_;
    std::set<std::pair<long, Position>> byTime_;
    // The held set: its part files with the index they are listed in, and their records' places while the
    // copy in memory is still the one they were held in.
    std::string heldDir_;
    std::vector<std::string> heldFiles_;
    std::vector<Position> held_;
};

// The one copy the process keeps; the parts lock guards it.
PartsIndex& SharedPartsIndex();
