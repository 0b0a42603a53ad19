#include "tests/parts/PartsFixture.h"

#include <map>
#include <set>
#include <thread>

#include "parts/PartsBrowser.h"

namespace {

using PartsBrowser = PartsFixture;

PartsListing List(const std::string& partsDir) {
    testing::internal::CaptureStdout(); // the record traces
    PartsListing listing = ListCollectedParts(partsDir);
    testing::internal::GetCapturedStdout();
    return listing;
}

TEST_F(PartsBrowser, BinaryWithTwoOfFourParts) {
    Store("holiday pics - holiday.jpg [1/4]", std::string(1024, 'a'));
    now += 60;
    Store("holiday pics - holiday.jpg [3/4]", std::string(2048, 'c'));
    PartsListing listing = List(partsDir);
    ASSERT_TRUE(listing.hasIndex);
    ASSERT_EQ(listing.binaries.size(), 1u);
    const CollectedBinary& binary = listing.binaries[0];
    EXPECT_EQ(BinaryNodeText(binary), "holiday.jpg (2 parts of 4)");
    ASSERT_EQ(binary.parts.size(), 2u);
    EXPECT_EQ(PartNodeText(binary.parts[0]), "part 01");
    EXPECT_EQ(PartNodeText(binary.parts[1]), "part 03");
    EXPECT_EQ(BinaryPartsText(binary), "4 parts in total (2 collected)");
    EXPECT_EQ(BinarySizeText(binary), "2.6 Kb (approx)"); // (4 - 0.5) x 1 KiB x 0.75
    EXPECT_EQ(PartNumberText(binary, binary.parts[1]), "part 3 of 4");
    EXPECT_EQ(PartSizeText(binary.parts[1]), "2.0 Kb");
    EXPECT_EQ(DeleteQuestion(binary, 3),
              "Are you sure you want to delete part 3\ncollected for file holiday.jpg?");
    EXPECT_EQ(DeleteQuestion(binary, kAllParts),
              "Are you sure you want to delete all parts\ncollected for file holiday.jpg?");
}

TEST_F(PartsBrowser, SingularTextsAndNamesThatContainTheWordParts) {
    WriteIndex("915148000 2 5 xa\nparts.zip (\n915148100 1 1 xb\nsolo.bin (\n");
    WriteFileBytes(PartPath("a"), "a");
    WriteFileBytes(PartPath("b"), "b");
    PartsListing listing = List(partsDir);
    ASSERT_EQ(listing.binaries.size(), 2u);
    EXPECT_EQ(BinaryNodeText(listing.binaries[0]), "parts.zip (1 part of 5)");
    EXPECT_EQ(BinaryPartsText(listing.binaries[1]), "1 part in total (1 collected)");
    CollectedBinary empty;
    EXPECT_EQ(BinarySizeText(empty), "(unknown)");
}

TEST_F(PartsBrowser, DisplayNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"holiday pics - beach.jpg [", "beach.jpg"},
        {"\"x.part01.rar\" yEnc (", "\"x.part01.rar\""},
        {"a.b c.d e", "c.d"},
        {"holiday pic (", "holiday"},
        {"nodot", "nodot"},
        {"", ""},
        {".", "."},
        {"tab\tname.bin (", "tab\tname.bin"},
    };
    for (const auto& [signature, name] : cases) {
        EXPECT_EQ(BinaryDisplayName(signature), name) << signature;
    }
}

TEST_F(PartsBrowser, DatesAreLocalAscTimeWithoutLineEnd) {
    CollectedBinary binary;
    binary.stamp = kStart;
    auto asctimeOf = [](time_t t) {
        std::string text = std::asctime(std::localtime(&t));
        return text.substr(0, text.size() - 1);
    };
    EXPECT_EQ(LastCollectedText(binary), asctimeOf(kStart));
    EXPECT_EQ(ExpiresText(binary, 7), asctimeOf(kStart + 7 * 86400));
    EXPECT_EQ(LastCollectedText(binary).find('\n'), std::string::npos);
}

// Time stamps come from the index and the age from the configuration, both editable by hand.
TEST_F(PartsBrowser, DatesAtTheEndsOfTimeNeverOverflow) {
    CollectedBinary binary;
    binary.stamp = kStart;
    EXPECT_EQ(ExpiresText(binary, LONG_MAX), "");
    EXPECT_EQ(ExpiresText(binary, LONG_MIN), "");
    binary.stamp = LONG_MAX;
    EXPECT_EQ(ExpiresText(binary, 7), "");
    EXPECT_EQ(LastCollectedText(binary), "");
    std::tm lastYear{};
    lastYear.tm_year = INT_MAX; // the year 2147485547, the last one the C library's calendar holds
    lastYear.tm_mon = 6;
    binary.stamp = timegm(&lastYear);
    EXPECT_TRUE(LastCollectedText(binary).ends_with(" 2147485547")) << LastCollectedText(binary);
}

TEST_F(PartsBrowser, DirectoryGetsItsSlash) {
    EXPECT_EQ(BrowserPartsDir("/srv/spool"), "/srv/spool/parts");
    EXPECT_EQ(BrowserPartsDir("/srv/spool/"), "/srv/spool/parts");
    EXPECT_EQ(BrowserPartsDir(""), "parts");
}

TEST_F(PartsBrowser, NoIndexShowsNothingKept) {
    PartsListing listing = List(partsDir);
    EXPECT_FALSE(listing.hasIndex);
    EXPECT_TRUE(listing.binaries.empty());
    EXPECT_FALSE(DeleteCollectedParts(partsDir, CollectedBinary(), kAllParts));
}

TEST_F(PartsBrowser, UnreadableIndexDeletesNothing) {
    CollectedBinary binary;
    binary.stamp = 915148000;
    binary.signature = "h.jpg (";
    std::filesystem::create_directories(IndexPath(partsDir));
    WriteFileBytes(PartPath("h1"), "h1");
    EXPECT_FALSE(DeleteCollectedParts(partsDir, binary, kAllParts));
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"h1"});
}

TEST_F(PartsBrowser, DeletingOnePartOrOneBinary) {
    WriteIndex("915148000 1 4 xh1\nh.jpg (\n915148000 3 4 xh3\nh.jpg (\n915148000 2 2 xo2\nother.bin (\n"
               "915148000 1 2 xgone\ngone.bin (\n");
    for (const char* name : {"h1", "h3", "o2"}) {
        WriteFileBytes(PartPath(name), name);
    }
    PartsListing listing = List(partsDir);
    ASSERT_EQ(listing.binaries.size(), 2u) << "the record without a file is not shown";
    ASSERT_TRUE(DeleteCollectedParts(partsDir, listing.binaries[0], 3));
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)),
              "915148000 1 4 xh1\nh.jpg (\n915148000 2 2 xo2\nother.bin (\n");
    EXPECT_EQ(PartFiles(), (std::vector<std::string>{"h1", "o2"}));
    ASSERT_TRUE(DeleteCollectedParts(partsDir, listing.binaries[0], kAllParts));
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), "915148000 2 2 xo2\nother.bin (\n");
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"o2"});
}

TEST_F(PartsBrowser, BinariesSharingAStampStaySeparate) {
    Store("first.bin (1/3)", "f");
    Store("second.bin (1/3)", "s"); // same second: both carry the same stamp
    PartsListing listing = List(partsDir);
    ASSERT_EQ(listing.binaries.size(), 2u);
    EXPECT_EQ(listing.binaries[0].stamp, listing.binaries[1].stamp);
    ASSERT_TRUE(DeleteCollectedParts(partsDir, listing.binaries[0], kAllParts));
    std::vector<PartRecord> index = Index();
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].signature, "second.bin (");
}

TEST_F(PartsBrowser, DeletionThatCannotReplaceTheIndexDeletesNothing) {
    WriteIndex("915148000 1 4 xh1\nh.jpg (\n");
    WriteFileBytes(PartPath("h1"), "h1");
    std::filesystem::create_symlink("/dev/full", NewIndexPath(partsDir));
    PartsListing listing = List(partsDir);
    ASSERT_EQ(listing.binaries.size(), 1u);
    WriteIndex("915148000 1 4 xh1\nh.jpg (\n915148000 2 4 xh1\nh.jpg (\n"); // something left to write
    EXPECT_FALSE(DeleteCollectedParts(partsDir, listing.binaries[0], 2));
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"h1"});
    EXPECT_EQ(Index().size(), 2u);
}

TEST_F(PartsBrowser, DeleteAllRemovesIndexAndFilesButNotDirectories) {
    Store("a.bin (1/3)", "a");
    Store("b.bin (1/3)", "b");
    std::filesystem::create_directories(PartsDirectory(partsDir) + "/keep");
    DeleteAllCollectedParts(partsDir);
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"keep"});
    EXPECT_FALSE(List(partsDir).hasIndex);
}

// The download thread stores parts while the browser lists and deletes. Afterwards every record names an
// existing file, every file has exactly one record, and every joined body holds its parts in order.
TEST_F(PartsBrowser, StoringWhileBrowsingKeepsTheIndexConsistent) {
    SetLogEnabled(0);
    constexpr int kRounds = 300;
    constexpr int kBinaries = 5;
    constexpr int kTotal = 3;
    std::atomic<bool> storing{true};
    std::atomic<int> deletions{0};
    std::vector<std::string> joined;
    testing::internal::CaptureStdout();
    // The stores go on past kRounds until the browser has deleted something, so the two always meet.
    std::thread download([&] {
        for (int round = 0; round < kRounds * 100 && (round < kRounds || deletions == 0); ++round) {
            int binary = round % kBinaries;
            int part = (round / kBinaries) % kTotal + 1;
            now += 1;
            std::string subject = "bin" + std::to_string(binary) + ".dat (" + std::to_string(part) + "/3)";
            if (auto body = Store(subject, "<" + std::to_string(binary) + ":" + std::to_string(part) + ">")) {
                joined.push_back(*body);
            }
        }
        storing = false;
    });
    for (int pass = 0; pass < 1000000 && storing; ++pass) {
        PartsListing listing = ListCollectedParts(partsDir);
        if (pass % 7 == 3 && !listing.binaries.empty()) {
            const CollectedBinary& binary = listing.binaries[pass % listing.binaries.size()];
            int part = pass % 2 ? kAllParts : binary.parts.front().part;
            deletions += DeleteCollectedParts(partsDir, binary, part) ? 1 : 0;
        }
        std::this_thread::yield();
    }
    download.join();
    testing::internal::GetCapturedStdout();

    EXPECT_GT(deletions, 0);
    EXPECT_EQ(counterA, static_cast<long>(joined.size()));
    for (const std::string& body : joined) {
        ASSERT_GE(body.size(), 5u);
        EXPECT_EQ(body.substr(body.size() - 5), "\r\n.\r\n");
        // Parts of one binary, 1 to 3 in order.
        char b = body[1];
        std::string expected;
        for (int part = 1; part <= kTotal; ++part) {
            expected += std::string("<") + b + ":" + std::to_string(part) + ">";
        }
        EXPECT_EQ(body, expected + "\r\n.\r\n");
    }
    std::multiset<std::string> named;
    for (const PartRecord& record : Index()) {
        named.insert(record.file);
        EXPECT_TRUE(std::filesystem::exists(PartPath(record.file))) << record.file;
    }
    std::vector<std::string> files = PartFiles();
    EXPECT_EQ(std::vector<std::string>(named.begin(), named.end()), files);
}

} // namespace
