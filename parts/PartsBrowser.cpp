#include "parts/PartsBrowser.h"

#include <filesystem>

#include "parts/IndexRewrite.h"
#include "parts/PartRecord.h"
#include "parts/PartsIndex.h"
#include "parts/PartsLock.h"
#include "parts/PartsPaths.h"

namespace {

std::string Format(const char* format, auto... args) {
    char text[512];
    snprintf(text, sizeof text, format, args...);
    return text;
}

// The local time of `stamp` as asctime prints it, without the line end. Month and day names are fixed English
// ones like asctime's, whatever locale the windowing toolkit sets.
std::string AscTime(long stamp) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t t = static_cast<time_t>(stamp);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) {
        return "";
    }
    return Format("%.3s %.3s%3d %.2d:%.2d:%.2d %ld", kDays[tm.tm_wday % 7], kMonths[tm.tm_mon % 12],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 1900L + tm.tm_year);
}

CollectedBinary& BinaryFor(PartsListing& listing, const PartRecord& record) {
    for (CollectedBinary& binary : listing.binaries) {
        if (binary.stamp == record.time && binary.signature == record.signature) {
            return binary;
        }
    }
    CollectedBinary binary;
    binary.stamp = record.time;
    binary.total = record.total;
    binary.signature = record.signature;
    binary.displayName = BinaryDisplayName(record.signature);
    listing.binaries.push_back(std::move(binary));
    return listing.binaries.back();
}

} // namespace

std::string BrowserPartsDir(const std::string& partsDir) {
    return PartsDirectory(WithTrailingSlash(partsDir));
}

PartsListing ListCollectedParts(const std::string& partsDir) {
    const std::string dir = WithTrailingSlash(partsDir);
    PartsListing listing;
    PartsLockGuard guard;
    SharedPartsIndex().settle();
    FILE* in = fopen(IndexPath(dir).c_str(), "r");
    if (!in) {
        return listing;
    }
    listing.hasIndex = true;
    PartRecord record;
    while (!feof(in) && !ferror(in)) {
        if (!ReadPartRecord(record, in)) {
            continue;
        }
        std::error_code missing;
        auto size = std::filesystem::file_size(PartFilePath(dir, record.file), missing);
        if (missing) {
            continue;
        }
        BinaryFor(listing, record)
            .parts.push_back({record.part, record.file, static_cast<double>(size) / 1024.0});
    }
    fclose(in);
    return listing;
}

std::string BinaryDisplayName(const std::string& signature) {
    size_t dot = signature.rfind('.');
    if (dot == std::string::npos) {
        return signature.substr(0, signature.find(' '));
    }
    size_t begin = signature.rfind(' ', dot);
    begin = begin == std::string::npos ? 0 : begin + 1;
    size_t end = signature.find(' ', dot);
    return signature.substr(begin, end == std::string::npos ? end : end - begin);
}

std::string BinaryNodeText(const CollectedBinary& binary) {
    int collected = static_cast<int>(binary.parts.size());
    return Format(collected == 1 ? "%s (%d part of %d)" : "%s (%d parts of %d)", binary.displayName.c_str(),
                  collected, binary.total);
}

std::string PartNodeText(const CollectedPart& part) {
    return Format("part %02d", part.part);
}

std::string BinaryPartsText(const CollectedBinary& binary) {
    return Format(binary.total == 1 ? "%d part in total (%d collected)" : "%d parts in total (%d collected)",
                  binary.total, static_cast<int>(binary.parts.size()));
}

std::string BinarySizeText(const CollectedBinary& binary) {
    if (binary.parts.empty()) {
        return "(unknown)";
    }
    // The decoded size estimated from one encoded part.
    return Format("%1.1f Kb (approx)", (binary.total - 0.5) * binary.parts.front().sizeKb * 0.75);
}

std::string PartNumberText(const CollectedBinary& binary, const CollectedPart& part) {
    return Format("part %d of %d", part.part, binary.total);
}

std::string PartSizeText(const CollectedPart& part) {
    return Format("%2.1f Kb", part.sizeKb);
}

std::string LastCollectedText(const CollectedBinary& binary) {
    return AscTime(binary.stamp);
}

std::string ExpiresText(const CollectedBinary& binary, long maxAgeDays) {
    // Both come from files a hand may have edited: a date beyond any time is no date.
    long expires = 0;
    if (__builtin_mul_overflow(maxAgeDays, 86400L, &expires) ||
        __builtin_add_overflow(binary.stamp, expires, &expires)) {
        return "";
    }
    return AscTime(expires);
}

std::string DeleteQuestion(const CollectedBinary& binary, int part) {
    if (part == kAllParts) {
        return "Are you sure you want to delete all parts\ncollected for file " + binary.displayName + "?";
    }
    return Format("Are you sure you want to delete part %d\ncollected for file ", part) + binary.displayName +
           "?";
}

bool DeleteCollectedParts(const std::string& partsDir, const CollectedBinary& binary, int part) {
    const std::string dir = WithTrailingSlash(partsDir);
    PartsLockGuard guard;
    SharedPartsIndex().settle();
    FILE* in = fopen(IndexPath(dir).c_str(), "r");
    if (!in) {
        return false;
    }
    IndexRewrite out(dir);
    std::vector<std::string> doomed;
    PartRecord record;
    while (out.isOpen() && !feof(in) && !ferror(in)) {
        if (!ReadRecord(in, record)) {
            continue;
        }
        std::error_code ec;
        if (!std::filesystem::exists(PartFilePath(dir, record.file), ec)) {
            continue;
        }
        bool chosen = record.time == binary.stamp && record.signature == binary.signature &&
                      (part == kAllParts || record.part == part);
        if (chosen) {
            doomed.push_back(PartFilePath(dir, record.file));
        } else {
            out.write(record);
        }
    }
    bool unreadable = ferror(in);
    fclose(in);
    if (unreadable || !out.commit()) {
        return false;
    }
    for (const std::string& path : doomed) {
        std::remove(path.c_str()); // a part that cannot be deleted is not reported; its record is gone
    }
    return true;
}

void DeleteAllCollectedParts(const std::string& partsDir) {
    const std::string dir = WithTrailingSlash(partsDir);
    PartsLockGuard guard;
    SharedPartsIndex().settle();
    // The index goes first, so no index ever names a part already deleted.
    std::remove(IndexPath(dir).c_str());
    std::error_code ec;
    std::filesystem::directory_iterator entry(PartsDirectory(dir), ec);
    for (; !ec && entry != std::filesystem::directory_iterator(); entry.increment(ec)) {
        std::error_code ignored;
        if (!entry->is_directory(ignored)) {
            std::filesystem::remove(entry->path(), ignored);
        }
    }
}
