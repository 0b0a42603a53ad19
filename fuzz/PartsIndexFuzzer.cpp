// The parts index reader on arbitrary index files. Every record read is written back by FormatRecord and
// reads back the same; the parts browser lists exactly the records whose part file exists, and makes all its
// texts (dates for any time stamp and any age setting included) without fault.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/support/FuzzFile.h"
#include "parts/PartRecord.h"
#include "parts/PartsBrowser.h"

namespace fs = std::filesystem;

namespace {

std::vector<PartRecord> ReadAll(FILE* in) {
    std::vector<PartRecord> records;
    PartRecord record;
    while (!feof(in) && !ferror(in)) {
        if (ReadRecord(in, record)) {
            records.push_back(record);
        }
    }
    return records;
}

bool Same(const PartRecord& a, const PartRecord& b) {
    return a.time == b.time && a.part == b.part && a.total == b.total && a.file == b.file &&
           a.signature == b.signature;
}

void CheckRoundTrip(const PartRecord& record) {
    std::string text = FormatRecord(record);
    FILE* in = fmemopen(text.data(), text.size(), "r");
    std::vector<PartRecord> again = ReadAll(in);
    fclose(in);
    FuzzCheck(again.size() == 1 && Same(again[0], record), "a record read survives a write and a read");
}

// Makes the part files the records name (as far as the file system takes such names); returns how many
// records name a file that exists.
size_t MakePartFiles(const fs::path& dir, const std::vector<PartRecord>& records) {
    size_t present = 0;
    for (const PartRecord& record : records) {
        std::ofstream(dir / record.file) << "part";
        std::error_code error;
        present += fs::is_regular_file(dir / record.file, error) ? 1 : 0;
    }
    return present;
}

void CheckListing(const std::string& partsDir, size_t present) {
    PartsListing listing = ListCollectedParts(partsDir);
    FuzzCheck(listing.hasIndex, "the index is found");
    size_t listed = 0;
    for (const CollectedBinary& binary : listing.binaries) {
        FuzzCheck(!binary.parts.empty(), "a binary has parts");
        listed += binary.parts.size();
        BinaryNodeText(binary);
        BinaryPartsText(binary);
        BinarySizeText(binary);
        LastCollectedText(binary);
        for (long age : {0L, 7L, -1L, LONG_MAX, LONG_MIN}) {
            ExpiresText(binary, age);
        }
        DeleteQuestion(binary, kAllParts);
        for (const CollectedPart& part : binary.parts) {
            PartNodeText(part);
            PartNumberText(binary, part);
            PartSizeText(part);
            DeleteQuestion(binary, part.part);
        }
    }
    FuzzCheck(listed == present, "the browser lists every record whose part file exists");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile index("parts/index");
    static const fs::path dir = fs::path(index.directory()) / "parts";
    static const bool made = fs::create_directory(dir);
    (void)made;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        fs::remove(entry.path());
    }
    index.Write(data, size);

    FILE* in = fopen(index.path().c_str(), "r");
    std::vector<PartRecord> records = ReadAll(in);
    fclose(in);
    for (const PartRecord& record : records) {
        FuzzCheck(record.file.find('/') == std::string::npos, "a part file lies in the parts directory");
        CheckRoundTrip(record);
    }
    CheckListing(index.directory(), MakePartFiles(dir, records));
    return 0;
}
