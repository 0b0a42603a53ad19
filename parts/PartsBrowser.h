#pragma once

#include <ctime>
#include <string>
#include <vector>

// What the parts browser shows and does, without the window: the index read into binaries and their parts,
// the texts of the tree nodes and of the details, and the deletions. Each reading or deleting call takes the
// parts lock itself; a window only calls these and displays the results.

inline constexpr const char* kPartsRootText = "parts collected";
inline constexpr const char* kNoPartsText = "no parts are currently being kept";
inline constexpr int kAllParts = -1;

struct CollectedPart {
    int part = 0;
    std::string file;  // name within the parts directory
    double sizeKb = 0; // the part file's size in KiB
};

// The records of one binary: same time stamp and same signature.
struct CollectedBinary {
    long stamp = 0;
    int total = 0;
    std::string signature;
    std::string displayName;
    std::vector<CollectedPart> parts; // in index order
};

struct PartsListing {
    bool hasIndex = false; // false: show kNoPartsText under the root and disable "Delete &All"
    std::vector<CollectedBinary> binaries;
};

// The browser's parts directory: PartsDir with "/" appended when it lacks one, then "parts".
std::string BrowserPartsDir(const std::string& partsDir);

// Reads the index. Records whose part file is gone are left out.
PartsListing ListCollectedParts(const std::string& partsDir);

// From a signature: the blank-bounded word around its last "."; without a dot, the text up to its first
// blank.
std::string BinaryDisplayName(const std::string& signature);

std::string BinaryNodeText(const CollectedBinary& binary); // "%s (%d parts of %d)", "part" for one
std::string PartNodeText(const CollectedPart& part);       // "part %02d"

// Details of a selected binary.
std::string BinaryPartsText(const CollectedBinary& binary); // "%d parts in total (%d collected)"
std::string BinarySizeText(const CollectedBinary& binary);  // "%1.1f Kb (approx)" or "(unknown)"
// Details of a selected part.
std::string PartNumberText(const CollectedBinary& binary, const CollectedPart& part); // "part %d of %d"
std::string PartSizeText(const CollectedPart& part);                                  // "%2.1f Kb"
// Dates in the C library's asctime form (local time), without its line end; empty beyond the calendar.
std::string LastCollectedText(const CollectedBinary& binary);
std::string ExpiresText(const CollectedBinary& binary, long maxAgeDays);

// The question asked before deleting one part or (kAllParts) all parts of a binary.
std::string DeleteQuestion(const CollectedBinary& binary, int part);
inline constexpr const char* kDeleteTitle = "Deleting Parts";
inline constexpr const char* kDeleteAllQuestion = "Are you sure you want to delete all collected parts?";

// Deletes part `part` (or every part, kAllParts) of `binary`, dropping records whose file is gone as well,
// through an atomic rewrite of the index. False when there is no index or it could not be replaced (then
// nothing is deleted).
bool DeleteCollectedParts(const std::string& partsDir, const CollectedBinary& binary, int part);

// "Delete &All": removes the index first, then every other file in the parts directory.
void DeleteAllCollectedParts(const std::string& partsDir);
