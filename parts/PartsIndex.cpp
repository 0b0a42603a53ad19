#include "parts/PartsIndex.h"

#include <algorithm>
#include <cerrno>

#include "log/Log.h"
#include "parts/IndexRewrite.h"
#include "parts/PartsPaths.h"

PartsIndex::State PartsIndex::sync(const std::string& partsDir) {
    bool missing = false;
    std::optional<FileIdentity> now = IdentifyFile(IndexPath(partsDir), missing);
    if (partsDir == partsDir_ && identity_ && now == identity_) {
        return State::Read;
    }
    clear();
    partsDir_ = partsDir;
    if (!now) {
        return missing ? State::Missing : State::Unreadable;
    }
    FILE* in = fopen(IndexPath(partsDir).c_str(), "r");
    if (!in) {
        return errno == ENOENT ? State::Missing : State::Unreadable;
    }
    bool whole = read(in);
    std::optional<FileIdentity> read = IdentifyOpenFile(in);
    fclose(in);
    if (!whole || !read) {
        clear();
        return State::Unreadable;
    }
    identity_ = read;
    return State::Read;
}

bool PartsIndex::read(FILE* in) {
    PartRecord record;
    while (!feof(in) && !ferror(in)) {
        long before = ftell(in);
        if (ReadRecord(in, record)) {
            add(std::move(record));
        } else if (ftell(in) != before) {
            damaged_ = true; // a malformed line or a half record: the next write replaces the whole file
        }
    }
    if (ferror(in)) {
        return false;
    }
    // A last line without its line end would swallow the first line of an appended record.
    if (fseek(in, -1, SEEK_END) == 0 && fgetc(in) != '\n') {
        damaged_ = true;
    }
    clearerr(in);
    return true;
}

std::vector<PartsIndex::Position> PartsIndex::stampedBefore(long cutoff) const {
    std::vector<Position> found;
    for (auto it = byTime_.begin(); it != byTime_.end() && it->first < cutoff; ++it) {
        found.push_back(it->second);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<PartsIndex::Position> PartsIndex::withSignature(const std::string& signature) const {
    auto it = bySignature_.find(signature);
    return it == bySignature_.end() ? std::vector<Position>{}
                                    : std::vector<Position>(it->second.begin(), it->second.end());
}

PartsIndex::Position PartsIndex::add(PartRecord record) {
    Position position = next_++;
    bySignature_[record.signature].insert(position);
    byTime_.emplace(record.time, position);
    records_.emplace(position, std::move(record));
    return position;
}

void PartsIndex::remove(Position position) {
    auto it = records_.find(position);
    if (it == records_.end()) {
        return;
    }
    auto binary = bySignature_.find(it->second.signature);
    binary->second.erase(position);
    if (binary->second.empty()) {
        bySignature_.erase(binary);
    }
    byTime_.erase({it->second.time, position});
    records_.erase(it);
}

PartsIndex::Position PartsIndex::restamp(Position position, long time) {
    PartRecord record = at(position);
    remove(position);
    record.time = time;
    return add(std::move(record));
}

bool PartsIndex::append(Position position) {
    if (damaged_) {
        return rewrite();
    }
    std::string text = FormatRecord(at(position));
    FILE* out = fopen(IndexPath(partsDir_).c_str(), "a");
    if (!out) {
        forget();
        return false;
    }
    // One buffer the size of the record: the record reaches the file in a single write.
    setvbuf(out, nullptr, _IOFBF, text.size() + 1);
    bool written = fwrite(text.data(), 1, text.size(), out) == text.size();
    std::optional<FileIdentity> identity = IdentifyOpenFile(out);
    written = fclose(out) == 0 && written;
    return noteWritten(written ? identity : std::nullopt);
}

bool PartsIndex::rewrite() {
    IndexRewrite out(partsDir_);
    for (const auto& [position, record] : records_) {
        out.write(record);
    }
    bool missing = false;
    if (!out.commit()) {
        forget();
        return false;
    }
    damaged_ = false;
    refreshedSince_.reset();
    return noteWritten(IdentifyFile(IndexPath(partsDir_), missing));
}

void PartsIndex::markRefreshed() {
    if (!refreshedSince_) {
        refreshedSince_ = std::chrono::steady_clock::now();
    }
}

bool PartsIndex::writeRefreshed(std::chrono::steady_clock::duration age) {
    if (!refreshedSince_ || std::chrono::steady_clock::now() - *refreshedSince_ < age) {
        return !refreshedSince_;
    }
    bool missing = false;
    // Only onto the very file the copy is of: after a change by someone else the refreshed times are lost,
    // not their change.
    if (IdentifyFile(IndexPath(partsDir_), missing) != identity_) {
        forget();
        return true;
    }
    return rewrite();
}

void PartsIndex::holdAssembled(std::vector<Position> positions) {
    heldDir_ = partsDir_;
    for (Position position : positions) {
        heldFiles_.push_back(at(position).file);
    }
    held_ = std::move(positions);
}

void PartsIndex::settle(std::chrono::steady_clock::duration age) {
    if (!heldFiles_.empty()) {
        releaseHeld();
    }
    writeRefreshed(age);
}

void PartsIndex::releaseHeld() {
    if (sync(heldDir_) == State::Unreadable) {
        return; // tried again at the next settle
    }
    if (held_.empty()) {
        // Read again since: the records are found by their files.
        std::set<std::string> files(heldFiles_.begin(), heldFiles_.end());
        for (const auto& [position, record] : records_) {
            if (files.count(record.file)) {
                held_.push_back(position);
            }
        }
    }
    for (Position position : held_) {
        remove(position);
    }
    if (!held_.empty() && !rewrite()) {
        return;
    }
    for (const std::string& name : heldFiles_) {
        std::string path = PartFilePath(heldDir_, name);
        if (std::remove(path.c_str()) != 0) {
            LogMessage("   Error removing part \"%s\"", path.c_str());
        }
    }
    heldFiles_.clear();
    held_.clear();
}

void PartsIndex::forget() {
    clear();
}

bool PartsIndex::noteWritten(const std::optional<FileIdentity>& identity) {
    if (!identity) {
        forget();
        return false;
    }
    identity_ = identity;
    return true;
}

void PartsIndex::clear() {
    held_.clear();
    partsDir_.clear();
    identity_.reset();
    damaged_ = false;
    refreshedSince_.reset();
    records_.clear();
    bySignature_.clear();
    byTime_.clear();
}

PartsIndex& SharedPartsIndex() {
    static PartsIndex index;
    return index;
}
