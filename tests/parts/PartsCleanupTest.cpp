#include "common/Trace.h"
#include "tests/parts/PartsFixture.h"

#include "parts/FullStopPolicy.h"
#include "parts/PartsCleanup.h"

namespace {

class PartsCleanup : public PartsFixture {
  protected:
    // Index text of `count` records, part files "f0", "f1", ... each present on disk.
    std::string Records(int count) {
        std::filesystem::create_directories(PartsDirectory(partsDir));
        std::string text;
        for (int i = 0; i < count; ++i) {
            std::string name = "f" + std::to_string(i);
            text += std::to_string(915000000 + (i % 3) * 100) + " " + std::to_string(i + 1) + " 9 x" + name +
                    "\nbinary " + std::to_string(i % 3) + ".bin (\n";
            WriteFileBytes(PartPath(name), name);
        }
        return text;
    }
};

TEST_F(PartsCleanup, NineRecordsLoseTheFirstTwoInFileOrder) {
    std::string all = Records(9);
    WriteIndex(all);
    SetTracing(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RemoveOldestQuarter(partsDir), 2);
    std::string traces = testing::internal::GetCapturedStderr();
    SetTracing(false);
    EXPECT_EQ(traces.substr(0, 92),
              "read: part 'f0' on time 915000000, partt 1 of 9read: signature is 'binary 0.bin ('read: part");
    // The other seven are written back in their order with their stamps unchanged.
    size_t cut = all.find("915000200 3 9 xf2");
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), all.substr(cut));
    std::vector<std::string> expected;
    for (int i = 2; i < 9; ++i) {
        expected.push_back("f" + std::to_string(i));
    }
    EXPECT_EQ(PartFiles(), expected);
}

TEST_F(PartsCleanup, FewerThanFourRecordsChangeNothing) {
    for (int count : {0, 1, 3}) {
        std::string all = Records(count);
        WriteIndex(all);
        testing::internal::CaptureStdout();
        EXPECT_EQ(RemoveOldestQuarter(partsDir), 0) << count;
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), all);
        EXPECT_EQ(PartFiles().size(), static_cast<size_t>(count));
    }
}

TEST_F(PartsCleanup, NoIndexOrAnUnreadableOneRemovesNothing) {
    EXPECT_EQ(RemoveOldestQuarter(partsDir), 0);
    Records(8);
    std::filesystem::create_directories(IndexPath(partsDir)); // opens, but every read fails
    EXPECT_EQ(RemoveOldestQuarter(partsDir), 0);
    EXPECT_EQ(PartFiles().size(), 8u);
}

TEST_F(PartsCleanup, RecordsAfterAnUnreadableOneSurvive) {
    std::string all = Records(8);
    size_t second = all.find("915000100 2");
    WriteIndex(all.substr(0, second) + "this line is damage\n" + all.substr(second));
    testing::internal::CaptureStdout();
    EXPECT_EQ(RemoveOldestQuarter(partsDir), 2);
    testing::internal::GetCapturedStdout();
    std::vector<PartRecord> records = Index();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records.front().file, "f2");
    EXPECT_EQ(records.back().file, "f7");
}

TEST_F(PartsCleanup, UndeletablePartStillCountsAndIsLogged) {
    std::string all = Records(4);
    std::filesystem::remove(PartPath("f0"));
    WriteIndex(all);
    testing::internal::CaptureStdout();
    EXPECT_EQ(RemoveOldestQuarter(partsDir), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(TakeLog(), "25% Clean up - failed to delete '" + PartPath("f0") + "'\n");
    EXPECT_EQ(Index().size(), 3u);
}

TEST_F(PartsCleanup, IndexThatCannotBeReplacedKeepsEveryPart) {
    std::string all = Records(8);
    WriteIndex(all);
    std::filesystem::create_symlink("/dev/full", NewIndexPath(partsDir));
    testing::internal::CaptureStdout();
    EXPECT_EQ(RemoveOldestQuarter(partsDir), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFileBytes(IndexPath(partsDir)), all);
    EXPECT_EQ(PartFiles().size(), 8u);
}

TEST(FullStopPolicies, ValuesTextsAndFallback) {
    EXPECT_EQ(FullStopPolicyFor(0).action, FullStopAction::DisableParts);
    EXPECT_STREQ(FullStopPolicyFor(0).logLine, "No longer processing parts!\n");
    EXPECT_EQ(FullStopPolicyFor(1).action, FullStopAction::StopDownload);
    EXPECT_STREQ(FullStopPolicyFor(1).label, "Discontine Downloading");
    EXPECT_EQ(FullStopPolicyFor(2).action, FullStopAction::RemoveOldestQuarter);
    EXPECT_STREQ(FullStopPolicyFor(2).label, "Delete the oldest 25% of collected parts and continue");
    char line[64];
    snprintf(line, sizeof line, FullStopPolicyFor(2).logLine);
    EXPECT_STREQ(line, "Removing 25% of oldest parts\n");
    for (int other : {-1, 3, 99}) {
        EXPECT_EQ(FullStopPolicyFor(other).action, FullStopAction::StopDownload) << other;
    }
}

} // namespace
