#pragma once

#include <cstdio>
#include <string>

// One collected part as the index lists it: two lines, "%ld %d %d x%s" (time, part, total, part file name)
// and the signature (the subject text before the part counter).
struct PartRecord {
    long time = 0;
    int part = 0;
    int total = 0;
    std::string file;
    std::string signature;
};

// Index lines longer than this are cut; the rest of such a line is skipped, never read as a line of its own.
constexpr size_t kMaxIndexLine = 4089;

// Reads the next line of the index without its trailing white space; false at the end of the stream.
bool ReadIndexLine(FILE* stream, std::string& line);

// Parses a record's first line into `record` (time, part, total, file). False for anything else: missing or
// out-of-range numbers, no "x", or a file name that is not a plain name inside the parts directory.
bool ParseRecordLine(const std::string& line, PartRecord& record);

// Reads one record, trying a malformed first line's successor as the next first line on the following call.
// False at the end of the stream and for a malformed first line (which it consumes).
bool ReadRecord(FILE* stream, PartRecord& record);

// The record as the index holds it: "%ld %d %d x%s\n%s\n".
std::string FormatRecord(const PartRecord& record);

// ReadRecord with the trace texts on standard output; 1 when a whole record was read, 0 otherwise.
int ReadPartRecord(PartRecord& record, FILE* stream);
