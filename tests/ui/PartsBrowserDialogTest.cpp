// The "Browse Collected Parts" dialog on a parts directory filled by the parts store itself.
#include <QLabel>
#include <QTreeWidget>

#include <atomic>
#include <ctime>
#include <thread>

#include "parts/Header.h"
#include "parts/PartsPaths.h"
#include "parts/PartsStore.h"
#include "tests/ui/SheetFixture.h"
#include "ui/PartsBrowserDialog.h"

namespace {

constexpr time_t kStart = 915148812; // 1999-01-01 00:00:12 UTC

class PartsBrowserDialogTest : public SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        ResetPartFileNaming();
    }

    void Store(const std::string& subject, size_t size, time_t at) {
        Header header("Lines: 10\r\nSubject: " + subject + "\r\nFrom: poster@example.com\r\n");
        StorePart(header, std::string(size, 'p'), partsDir_, counterA_, counterB_, 7, [at] { return at; });
    }

    // The tree as one line: node texts, children in braces.
    static std::string Shown(const QTreeWidgetItem* node) {
        std::string text = node->text(0).toStdString();
        if (node->childCount() > 0) {
            text += "{";
            for (int i = 0; i < node->childCount(); ++i) {
                text += (i ? "," : "") + Shown(node->child(i));
            }
            text += "}";
        }
        return text;
    }
    static std::string Shown(PartsBrowserDialog& browser) {
        return Shown(Find<QTreeWidget>(&browser, "partsTree")->topLevelItem(0));
    }
    static QTreeWidgetItem* Node(PartsBrowserDialog& browser, int binary, int part = -1) {
        QTreeWidgetItem* node = Find<QTreeWidget>(&browser, "partsTree")->topLevelItem(0)->child(binary);
        return part < 0 ? node : node->child(part);
    }
    static std::string Label(PartsBrowserDialog& browser, const char* name) {
        return Find<QLabel>(&browser, name)->text().toStdString();
    }
    static std::string AscTime(time_t t) {
        std::string text = std::asctime(std::localtime(&t));
        return text.substr(0, text.size() - 1);
    }

    std::string partsDir_ = dir_.str() + "/store/";
    long counterA_ = 0, counterB_ = 0;
};

TEST_F(PartsBrowserDialogTest, TreeAndDetailsOfTheSelection) {
    Store("solo pics - solo.bin [2/3]", 512, kStart - 3 * 86400);
    Store("holiday pics - holiday.jpg [1/4]", 1024, kStart);
    Store("holiday pics - holiday.jpg [3/4]", 2048, kStart + 60);
    PartsBrowserDialog browser(partsDir_, 7, dialogs_);
    browser.show();
    EXPECT_EQ(Shown(browser),
              "parts collected{solo.bin (1 part of 3){part 02},holiday.jpg (2 parts of 4){part 01,part 03}}");
    EXPECT_EQ(Label(browser, "partsDirText"), dir_.str() + "/store/parts");
    EXPECT_FALSE(Find<QWidget>(&browser, "detailsGroup")->isVisible());
    EXPECT_FALSE(Find<QPushButton>(&browser, "deleteButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(&browser, "deleteAllButton")->isEnabled());

    struct Row {
        int binary, part;
        std::string button, tip, name, number, size;
        time_t stamp;
    };
    const Row rows[] = {
        {1, -1, "Delete For...", "Delete All Parts Collected for the Selected Binary", "holiday.jpg",
         "4 parts in total (2 collected)", "2.6 Kb (approx)", kStart + 60},
        {1, 1, "&Delete", "Delete the Selected Part", "holiday.jpg", "part 3 of 4", "2.0 Kb", kStart + 60},
        {0, -1, "Delete For...", "Delete All Parts Collected for the Selected Binary", "solo.bin",
         "3 parts in total (1 collected)", "0.9 Kb (approx)", kStart - 3 * 86400},
    };
    for (const Row& row : rows) {
        Find<QTreeWidget>(&browser, "partsTree")->setCurrentItem(Node(browser, row.binary, row.part));
        auto* button = Find<QPushButton>(&browser, "deleteButton");
        EXPECT_EQ(button->text().toStdString(), row.button);
        EXPECT_EQ(button->toolTip().toStdString(), row.tip);
        EXPECT_TRUE(Find<QWidget>(&browser, "detailsGroup")->isVisible());
        EXPECT_EQ(Label(browser, "fileNameText"), row.name);
        EXPECT_EQ(Label(browser, "partNumberText"), row.number);
        EXPECT_EQ(Label(browser, "sizeText"), row.size);
        EXPECT_EQ(Label(browser, "lastCollectedText"), AscTime(row.stamp));
        EXPECT_EQ(Label(browser, "expiresText"), AscTime(row.stamp + 7 * 86400));
    }
    browser.close();
    EXPECT_FALSE(browser.findChild<QTimer*>("refreshTimer")->isActive());
}

TEST_F(PartsBrowserDialogTest, DeletingAPartABinaryAndAll) {
    Store("solo pics - solo.bin [2/3]", 512, kStart);
    Store("holiday pics - holiday.jpg [1/4]", 1024, kStart + 60);
    Store("holiday pics - holiday.jpg [3/4]", 2048, kStart + 60);
    PartsBrowserDialog browser(partsDir_, 7, dialogs_);
    browser.show();
    auto* tree = Find<QTreeWidget>(&browser, "partsTree");
    auto del = [&](int binary, int part, Dialogs::Answer answer) {
        tree->setCurrentItem(Node(browser, binary, part));
        dialogs_.choices = {answer};
        Click(&browser, "deleteButton");
    };
    del(1, 1, Dialogs::Answer::No);
    del(1, 1, Dialogs::Answer::Cancel);
    EXPECT_EQ(Shown(browser),
              "parts collected{solo.bin (1 part of 3){part 02},holiday.jpg (2 parts of 4){part 01,part 03}}");
    del(1, 1, Dialogs::Answer::Yes);
    EXPECT_EQ(Shown(browser),
              "parts collected{solo.bin (1 part of 3){part 02},holiday.jpg (1 part of 4){part 01}}");
    del(0, -1, Dialogs::Answer::Yes);
    EXPECT_EQ(Shown(browser), "parts collected{holiday.jpg (1 part of 4){part 01}}");
    EXPECT_EQ(dialogs_.shown[2],
              "Deleting Parts: Are you sure you want to delete part 3\ncollected for file holiday.jpg?");
    EXPECT_EQ(dialogs_.shown[3],
              "Deleting Parts: Are you sure you want to delete all parts\ncollected for file solo.bin?");
    // Only the chosen records and their files are gone.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(PartsDirectory(partsDir_))) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left.size(), 2u); // the index and holiday.jpg's first part

    dialogs_.answers = {false, true};
    Click(&browser, "deleteAllButton");
    EXPECT_EQ(Shown(browser), "parts collected{holiday.jpg (1 part of 4){part 01}}");
    Click(&browser, "deleteAllButton");
    EXPECT_EQ(Shown(browser), "parts collected{no parts are currently being kept}");
    EXPECT_TRUE(std::filesystem::is_empty(PartsDirectory(partsDir_)));
    EXPECT_FALSE(Find<QPushButton>(&browser, "deleteAllButton")->isEnabled());
    EXPECT_EQ(dialogs_.shown.back(), "Deleting Parts: Are you sure you want to delete all collected parts?");
}

TEST_F(PartsBrowserDialogTest, DamagedIndexAndAPartsDirThatIsAFile) {
    std::filesystem::create_directories(PartsDirectory(partsDir_));
    WriteFileBytes(PartFilePath(partsDir_, "good"), "g");
    WriteFileBytes(dir_.file("victim"), "keep me");
    WriteFileBytes(IndexPath(partsDir_), "garbage line\n915148000 1 2 xgood\nsig.rar (\n"
                                         "915148000 2 2 x../../victim\nsig.rar (\n915148000 x y z\n"
                                         "915148000 2 2 xmissing\nsig.rar (\n\xff\xfe\n");
    PartsBrowserDialog browser(partsDir_, 7, dialogs_);
    browser.show();
    EXPECT_EQ(Shown(browser), "parts collected{sig.rar (1 part of 2){part 01}}");
    Find<QTreeWidget>(&browser, "partsTree")->setCurrentItem(Node(browser, 0));
    dialogs_.choices = {Dialogs::Answer::Yes};
    Click(&browser, "deleteButton");
    EXPECT_EQ(Shown(browser), "parts collected");
    EXPECT_EQ(ReadFileBytes(dir_.file("victim")), "keep me");
    browser.close();

    // The Parts page's button appends the separator to a typed path; a path that is a file holds no parts.
    WriteFileBytes(dir_.file("afile"), "not a directory");
    Open();
    dialogs_.shown.clear();
    WithSheet([this](ConfigSheet& sheet) {
        Type(&sheet, "partsDirEdit", QString::fromStdString(dir_.file("afile")));
        OnNextModal<PartsBrowserDialog>([this](PartsBrowserDialog& shown) {
            EXPECT_EQ(Label(shown, "partsDirText"), dir_.file("afile") + "/parts");
            EXPECT_EQ(Shown(shown), "parts collected{no parts are currently being kept}");
            Click(&shown, "deleteAllButton"); // disabled: nothing happens
        });
        Click(&sheet, "browsePartsButton");
        EXPECT_TRUE(dialogs_.shown.empty());
    });
}

TEST_F(PartsBrowserDialogTest, FollowsPartsStoredWhileItIsOpen) {
    constexpr int kParts = 40;
    PartsBrowserDialog browser(partsDir_, 7, dialogs_);
    browser.show();
    std::atomic<int> stored{0};
    std::thread download([&] {
        for (int part = 1; part <= kParts; ++part) {
            Store("movie.avi [" + std::to_string(part) + "/60]", 4096, std::time(nullptr));
            ++stored;
        }
    });
    // Every reading sees one binary whose count only grows: never a half-written index.
    int seen = 0;
    bool torn = false;
    for (int guard = 0; guard < 100000 && stored < kParts && !torn; ++guard) {
        Click(&browser, "refreshButton");
        QTreeWidgetItem* root = Find<QTreeWidget>(&browser, "partsTree")->topLevelItem(0);
        if (root->child(0) && root->child(0)->childCount() > 0) {
            int count = root->child(0)->childCount();
            torn = root->childCount() != 1 || count < seen;
            seen = count;
        }
    }
    download.join();
    EXPECT_FALSE(torn) << Shown(browser);
    EXPECT_GT(seen, 0);
    // The five-second timer shows a part stored later without anyone pressing Refresh.
    Store("movie.avi [60/60]", 4096, std::time(nullptr));
    EXPECT_TRUE(WaitUntil([&] { return Node(browser, 0)->childCount() == kParts + 1; }, 15000));
    EXPECT_EQ(Node(browser, 0)->text(0).toStdString(), "movie.avi (41 parts of 60)");
}

} // namespace
