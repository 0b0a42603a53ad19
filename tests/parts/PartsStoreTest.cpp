#include "tests/parts/PartsFixture.h"
#include "tests/support/PeakMemory.h"

#include <cstdlib>
#include <sstream>

namespace {

std::string Subject(int part, int total) {
    char text[128];
    snprintf(text, sizeof text, "holiday pics - file.bin [%02d/%02d]", part, total);
    return text;
}

// Cuts `text` into `count` pieces at line boundaries, as a poster splits an encoded file.
std::vector<std::string> SplitAtLines(const std::string& text, int count) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line + "\n");
    }
    std::vector<std::string> pieces(count);
    for (size_t i = 0; i < lines.size(); ++i) {
        pieces[i * count / lines.size()] += lines[i];
    }
    return pieces;
}

using PartsStore = PartsFixture;

TEST_F(PartsStore, RealUuencodedPostInSevenPartsOverSeparateRunsComesBackWhole) {
    std::string original;
    unsigned seed = 12345;
    for (int i = 0; i < 30000; ++i) {
        seed = seed * 1103515245 + 12345;
        original += static_cast<char>(seed >> 16);
    }
    ASSERT_TRUE(WriteFileBytes(dir.file("in.bin"), original));
    std::string command = "uuencode " + dir.file("in.bin") + " file.bin > " + dir.file("enc.txt");
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string encoded = ReadFileBytes(dir.file("enc.txt"));
    ASSERT_GT(encoded.size(), 40000u);
    std::vector<std::string> pieces = SplitAtLines(encoded, 7);

    // Every store is a new run within the same second: a fresh counter must never overwrite an earlier part.
    const int order[] = {5, 2, 7, 1, 1, 3, 6};
    for (int part : order) {
        ResetPartFileNaming();
        std::string body = pieces[part - 1];
        if (part == 1 && PartFiles().size() == 4) {
            body = "a damaged second copy\r\n"; // the copy seen second is the one thrown away
        }
        EXPECT_FALSE(Store(Subject(part, 7), body)) << part;
    }
    std::string log = TakeLog();
    EXPECT_NE(log.find("   Incomplete post, 1 part so far\n"), std::string::npos);
    EXPECT_NE(log.find("   Hmmm... we've seen this part before (removing)\n"), std::string::npos);
    EXPECT_NE(log.find("   Incomplete post, 6 parts so far\n"), std::string::npos);
    EXPECT_EQ(PartFiles().size(), 6u);
    EXPECT_EQ(Index().size(), 6u);

    ResetPartFileNaming();
    std::optional<std::string> joined = Store(Subject(4, 7), pieces[3]);
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, encoded + "\r\n.\r\n");
    EXPECT_EQ(counterA, 1);
    EXPECT_EQ(counterB, 1);
    EXPECT_TRUE(Index().empty());
    EXPECT_TRUE(PartFiles().empty());
    log = TakeLog();
    EXPECT_NE(log.find("   Found all parts\n   Concatenating 7 parts\n   Adding "), std::string::npos);
    EXPECT_NE(log.find("   Multipart article is " + std::to_string(encoded.size() + 5) + " bytes\n"),
              std::string::npos);

    // The real decoder agrees that nothing was lost or reordered.
    ASSERT_TRUE(WriteFileBytes(dir.file("joined.txt"), joined->substr(0, joined->size() - 5)));
    command = "cd " + dir.str() + " && uudecode -o out.bin joined.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(dir.file("out.bin")), original);
}

TEST_F(PartsStore, ThreePartsOutOfOrderLogAndJoinInPartOrder) {
    EXPECT_FALSE(Store("pic.jpg (3/3)", "third"));
    EXPECT_EQ(TakeLog(), "   Part 3 of 3 \"pic.jpg\"\n   Incomplete post, 1 part so far\n");
    EXPECT_FALSE(Store("pic.jpg (1/3)", "first"));
    EXPECT_EQ(TakeLog(), "   Part 1 of 3 \"pic.jpg\"\n   Incomplete post, 2 parts so far\n");
    auto joined = Store("pic.jpg (2/3)", "second");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "firstsecondthird\r\n.\r\n");
    std::string log = TakeLog();
    EXPECT_EQ(log.substr(0, log.find("   Adding")),
              "   Part 2 of 3 \"pic.jpg\"\n   Found all parts\n   Concatenating 3 parts\n");
    EXPECT_NE(
        log.find(
            "   Adding 5 bytes from part 1\n   Adding 6 bytes from part 2\n   Adding 5 bytes from part 3\n"
            "   Multipart article is 21 bytes\n"),
        std::string::npos);
}

TEST_F(PartsStore, PartFileNamesCountWithinOneSecond) {
    Store("a.bin (1/9)", "x");
    Store("a.bin (2/9)", "x");
    now += 1;
    Store("a.bin (3/9)", "x");
    EXPECT_EQ(PartFiles(), (std::vector<std::string>{"915148812000", "915148812001", "915148813000"}));
    std::vector<PartRecord> index = Index();
    ASSERT_EQ(index.size(), 3u);
    for (const PartRecord& record : index) {
        EXPECT_EQ(record.time, kStart + 1); // the whole binary is re-stamped by every scan
        EXPECT_EQ(record.signature, "a.bin (");
    }
    FlushPartsIndex();
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), "915148813 1 9 x915148812000\na.bin (\n"
                                                  "915148813 2 9 x915148812001\na.bin (\n"
                                                  "915148813 3 9 x915148813000\na.bin (\n");
}

TEST_F(PartsStore, BodyIsStoredByteForByte) {
    std::string body("bin\0ary\r\n\xff\r\n.", 14);
    Store("z.bin (1/2)", body);
    EXPECT_EQ(ReadFileBytes(PartPath("915148812000")), body);
}

TEST_F(PartsStore, DuplicateIsRemovedAndNotCounted) {
    Store("d.bin (1/3)", "one");
    Store("d.bin (1/3)", "again");
    EXPECT_NE(TakeLog().find(
                  "   Hmmm... we've seen this part before (removing)\n   Incomplete post, 1 part so far\n"),
              std::string::npos);
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"915148812000"});
    EXPECT_EQ(Index().size(), 1u);
}

TEST_F(PartsStore, OtherBinariesPassThroughUnchangedAndOldOnesExpire) {
    WriteIndex("914000000 1 2 x1\nold.bin (\n"     // older than 7 days: removed
               "915140000 1 2 x2\nwaiting.bin (\n" // a few hours old: untouched
               "915140000 2 4 x3\nother.bin (\n");
    for (const char* name : {"1", "2", "3"}) {
        WriteFileBytes(PartPath(name), "x");
    }
    Store("new.bin (1/2)", "n");
    EXPECT_NE(TakeLog().find("   Removing old Parts... (" + PartPath("1") + ")\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), "915140000 1 2 x2\nwaiting.bin (\n"
                                                  "915140000 2 4 x3\nother.bin (\n"
                                                  "915148812 1 2 x915148812000\nnew.bin (\n");
    EXPECT_EQ(PartFiles(), (std::vector<std::string>{"2", "3", "915148812000"}));
}

TEST_F(PartsStore, ExpiryAndRestampingFollowTheClock) {
    Store("kept.bin (1/3)", "k1");
    Store("idle.bin (1/3)", "i1");
    now += 5 * 86400;
    Store("kept.bin (2/3)", "k2"); // re-stamps both kept.bin records
    now += 3 * 86400;              // idle.bin is now 8 days old, kept.bin 3 days
    Store("fresh.bin (1/3)", "f1");
    std::vector<PartRecord> index = Index();
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].signature, "kept.bin (");
    EXPECT_EQ(index[0].time, kStart + 5 * 86400);
    EXPECT_EQ(index[1].signature, "kept.bin (");
    EXPECT_EQ(index[2].signature, "fresh.bin (");
    EXPECT_EQ(PartFiles().size(), 3u);
    // Exactly seven days old is not yet older than seven days.
    now = kStart + 5 * 86400 + 7 * 86400;
    Store("fresh.bin (2/3)", "f2");
    EXPECT_EQ(Index().size(), 4u);
    now += 1;
    Store("fresh.bin (3/3)", "f3");
    EXPECT_EQ(Index().size(), 0u) << "kept.bin expired, fresh.bin complete";
    EXPECT_EQ(counterA, 1);
}

TEST_F(PartsStore, MaxAgeZeroExpiresEverythingBeforeThisSecond) {
    Store("a.bin (1/3)", "a", 0);
    Store("b.bin (1/3)", "b", 0); // same second: a.bin survives
    EXPECT_EQ(Index().size(), 2u);
    now += 1;
    Store("c.bin (1/3)", "c", 0);
    std::vector<PartRecord> index = Index();
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].signature, "c.bin (");
    EXPECT_EQ(PartFiles().size(), 1u);
}

TEST_F(PartsStore, HugeOrNegativeMaxAgeNeitherOverflowsNorExpiresNewParts) {
    Store("a.bin (1/3)", "a", -5);
    Store("a.bin (2/3)", "a", -5);
    EXPECT_EQ(Index().size(), 2u);
    Store("a.bin (3/3)", "a", 9223372036854775807L);
    EXPECT_EQ(counterA, 1);
}

TEST_F(PartsStore, EmptyPartsDirMeansPartsUnderTheCurrentDirectory) {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    Header header("Subject: cwd.bin (1/2)\r\n");
    long a = 0;
    long b = 0;
    StorePart(header, "body", "", a, b, 7, clock());
    std::filesystem::current_path(previous);
    EXPECT_EQ(ReadFileBytes(dir.file("parts/915148812000")), "body");
    EXPECT_EQ(ReadFileBytes(dir.file("parts/index")), "915148812 1 2 x915148812000\ncwd.bin (\n");
}

TEST_F(PartsStore, HeaderThatIsNoPartStoresNothing) {
    EXPECT_FALSE(Store("movie.avi (1/1)", "whole"));
    EXPECT_FALSE(Store("just a subject", "whole"));
    EXPECT_FALSE(std::filesystem::exists(PartsDirectory(partsDir)));
}

TEST_F(PartsStore, PartNumbersWithoutASlotStayUntouched) {
    WriteIndex("915148000 501 600 xbig\ns.bin (\n"
               "915148000 0 2 xzero\ns.bin (\n"
               "915148000 -4 2 xneg\ns.bin (\n");
    for (const char* name : {"big", "zero", "neg"}) {
        WriteFileBytes(PartPath(name), "x");
    }
    EXPECT_FALSE(Store("s.bin (1/2)", "one"));
    auto joined = Store("s.bin (2/2)", "two");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "onetwo\r\n.\r\n");
    FlushPartsIndex();
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), "915148000 501 600 xbig\ns.bin (\n"
                                                  "915148000 0 2 xzero\ns.bin (\n"
                                                  "915148000 -4 2 xneg\ns.bin (\n");
    EXPECT_EQ(PartFiles(), (std::vector<std::string>{"big", "neg", "zero"}));
}

TEST_F(PartsStore, DisagreeingTotalsNeverJoinAcrossAGap) {
    WriteIndex("915148000 3 3 xthree\nmix.bin (\n");
    WriteFileBytes(PartPath("three"), "3");
    // Two distinct parts now match the total 2 of this record, but slot 2 is empty.
    EXPECT_FALSE(Store("mix.bin (1/2)", "1"));
    EXPECT_EQ(Index().size(), 2u);
    auto joined = Store("mix.bin (2/2)", "2");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "12\r\n.\r\n");
    // Part 3 of the other total is not thrown away with them.
    std::vector<PartRecord> index = Index();
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].file, "three");
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"three"});
}

TEST_F(PartsStore, RepeatedRecordOfTheSameFileKeepsTheFile) {
    WriteIndex("915148000 1 2 xone\nrep.bin (\n915148000 1 2 xone\nrep.bin (\n");
    WriteFileBytes(PartPath("one"), "1");
    auto joined = Store("rep.bin (2/2)", "2");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "12\r\n.\r\n");
}

TEST_F(PartsStore, MissingPartFileIsReportedAndLeftOut) {
    WriteIndex("915148000 1 2 xgone\nm.bin (\n");
    auto joined = Store("m.bin (2/2)", "2");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "2\r\n.\r\n");
    EXPECT_NE(TakeLog().find("   Part 1 (" + PartPath("gone") + ") is missing from the parts directory\n"),
              std::string::npos);
    EXPECT_TRUE(Index().empty());
}

TEST_F(PartsStore, DamagedIndexLosesNoGoodRecord) {
    std::string index = "garbage line\n"
                        "915148000 1 2 xgood1\nfirst.bin (\n"
                        "99999999999999999999 1 2 xhuge\nhuge.bin (\n"
                        "915148000 1 99999999999 xhuge2\nhuge.bin (\n"
                        "915148000 1 2 no-marker\nnox.bin (\n"
                        "915148000 1 2 x../escape\nesc.bin (\n"
                        "915148000 1 2 x\nempty.bin (\n" +
                        std::string("915148000 1 2 xnul\0name\n", 24) + "nul.bin (\n" +
                        std::string(9000, 'q') +
                        "\n"
                        "915148000 2 2 xgood2\nsecond.bin (\n"
                        "\n\n   \r\n"
                        "915148000 1 3 xhalf\n"; // a half record at the end
    WriteIndex(index);
    WriteFileBytes(PartPath("good1"), "1");
    WriteFileBytes(PartPath("good2"), "2");
    Store("new.bin (1/2)", "n");
    std::vector<PartRecord> records = Index();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].file, "good1");
    EXPECT_EQ(records[0].signature, "first.bin (");
    EXPECT_EQ(records[1].file, "good2");
    EXPECT_EQ(records[1].signature, "second.bin (");
    EXPECT_EQ(records[2].signature, "new.bin (");
}

TEST_F(PartsStore, NamesThatAreNoPartFilesAreNeverDeleted) {
    WriteFileBytes(dir.file("victim"), "precious");
    WriteIndex("1 1 2 x../victim\nold.bin (\n1 1 2 xindex\nold.bin (\n1 1 2 xindex.new\nold.bin (\n");
    Store("new.bin (1/2)", "n");
    EXPECT_EQ(ReadFileBytes(dir.file("victim")), "precious");
    EXPECT_EQ(Index().size(), 1u) << "the store's own files are never taken for part files";
}

TEST_F(PartsStore, UnfinishedLastLineDoesNotSwallowTheNextRecord) {
    WriteIndex("915148000 1 2 xa\nsig.bin (\n915148000 2 2 xb"); // cut short by a full disk
    WriteFileBytes(PartPath("a"), "a");
    Store("new.bin (1/2)", "n");
    std::vector<PartRecord> records = Index();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].signature, "new.bin (");
}

TEST_F(PartsStore, PartsDirectoryThatCannotBeCreated) {
    ASSERT_TRUE(WriteFileBytes(dir.file("parts"), "a file where the directory should be"));
    EXPECT_FALSE(Store("x.bin (1/2)", "body"));
    EXPECT_EQ(TakeLog(), "Failed to open \"" + PartPath("915148812000") + "\", out of space?\n\n");
}

TEST_F(PartsStore, IndexThatCannotBeReadOrReplacedKeepsNoOrphan) {
    std::filesystem::create_directories(IndexPath(partsDir)); // a directory where the index should be
    EXPECT_FALSE(Store("x.bin (1/2)", "body"));
    EXPECT_EQ(TakeLog(), "   Part 1 of 2 \"x.bin\"\nFailed to open \"" + IndexPath(partsDir) + "\"\n\n");
    EXPECT_EQ(PartFiles(), std::vector<std::string>{});
}

TEST_F(PartsStore, NewIndexThatCannotBeWrittenLeavesEverythingAsItWas) {
    const std::string index =
        "1 1 2 xold\nold.bin (\n915148000 1 2 xone\ns.bin (\n915148000 1 2 xother\nother.bin (\n";
    WriteIndex(index);
    for (const char* name : {"old", "one", "other"}) {
        WriteFileBytes(PartPath(name), name);
    }
    std::filesystem::create_symlink("/dev/full", NewIndexPath(partsDir)); // every write fails: a full disk
    EXPECT_FALSE(Store("s.bin (2/2)", "2"));
    std::string log = TakeLog();
    EXPECT_NE(log.find("Failed to open \"" + NewIndexPath(partsDir) + "\", out of space?\n"),
              std::string::npos);
    EXPECT_NE(log.find("Failed to open \"" + IndexPath(partsDir) + "\"\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), index);
    EXPECT_EQ(PartFiles(), (std::vector<std::string>{"old", "one", "other"}));
    EXPECT_EQ(counterA, 0);
    // With room again, the part completes the set.
    EXPECT_FALSE(std::filesystem::exists(NewIndexPath(partsDir)));
    auto joined = Store("s.bin (2/2)", "2");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "one2\r\n.\r\n");
}

TEST_F(PartsStore, NewIndexThatCannotBeCreatedCollectsNothing) {
    WriteIndex("915148000 1 2 xone\ns.bin (\n");
    WriteFileBytes(PartPath("one"), "1");
    std::filesystem::create_directories(NewIndexPath(partsDir) + "/busy");
    EXPECT_FALSE(Store("s.bin (2/2)", "2"));
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), "915148000 1 2 xone\ns.bin (\n");
    EXPECT_EQ(PartFiles(), (std::vector<std::string>{"index.new", "one"}));
}

TEST_F(PartsStore, TemporaryFileFailureKeepsTheSet) {
    Store("t.bin (1/2)", "1");
    std::filesystem::create_directories(PartFilePath(partsDir, "assembly.tmp"));
    TakeLog();
    EXPECT_FALSE(Store("t.bin (2/2)", "2"));
    EXPECT_NE(
        TakeLog().find("   Found all parts\n   Concatenating 2 parts\nFailed to create a temporary file!\n"),
        std::string::npos);
    EXPECT_EQ(Index().size(), 2u);
    EXPECT_EQ(counterA, 0);
    std::filesystem::remove(PartFilePath(partsDir, "assembly.tmp"));
    auto joined = Store("t.bin (2/2)", "2 again");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "12\r\n.\r\n");
    // The set was complete before the new copy was read: that copy passes through like any later record.
    EXPECT_EQ(PartFiles(), std::vector<std::string>{"915148812002"});
    EXPECT_EQ(Index().size(), 1u);
}

TEST_F(PartsStore, OverlongSignatureStillCollects) {
    std::string name = std::string(6000, 'n') + ".bin (";
    Store(name + "1/2)", "1");
    auto joined = Store(name + "2/2)", "2");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "12\r\n.\r\n");
}

// An index of 100 MB is read record by record and held once: storing into it and completing a set through a
// rewrite of the whole file keep the memory to one copy of the parsed records.
TEST_F(PartsStore, AHundredMegabyteIndexIsHeldOnce) {
    constexpr long kIndexBytes = 100L << 20;
    const std::string signature = std::string(100, 's') + ".bin (";
    {
        std::filesystem::create_directories(PartsDirectory(partsDir));
        FILE* out = fopen(IndexPath(partsDir).c_str(), "w");
        ASSERT_NE(out, nullptr);
        for (long n = 0; ftell(out) < kIndexBytes; ++n) {
            fprintf(out, "915148000 1 2 x%011ld\n%ld%s\n", n, n, signature.c_str());
        }
        fclose(out);
    }
    ResetPeakResident();
    long before = PeakResidentKib();
    Store("new.bin (1/2)", "1");
    ASSERT_EQ(TakeLog(), "   Part 1 of 2 \"new.bin\"\n   Incomplete post, 1 part so far\n");
    std::optional<std::string> joined = Store("new.bin (2/2)", "2");
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, "12\r\n.\r\n");
    FlushPartsIndex();
    long grown = PeakResidentKib() - before;
    EXPECT_GT(std::filesystem::file_size(IndexPath(partsDir)), static_cast<uintmax_t>(kIndexBytes));
    // With a binary of its own per record, the records and their look-up tables take about four and a half
    // times the text; a second copy of them would pass six times.
    if (kPlainBuild) {
        EXPECT_LT(grown, 6 * (kIndexBytes >> 10)) << grown << " KiB";
    }
    std::printf("index of %ld MiB: peak memory grew by %ld MiB\n", kIndexBytes >> 20, grown >> 10);
}

} // namespace
