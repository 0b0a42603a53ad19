// The "Browse Collected Parts" dialog on a parts directory filled by the parts store itself.
#include <QLabel>
#include <QTreeWidget>

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
    // The delete button and the details of the selection, "|"-separated; "-" while the details are hidden.
    static std::string Details(PartsBrowserDialog& browser) {
        auto* button = Find<QPushButton>(&browser, "deleteButton");
        std::string text = button->text().toStdString() + "|" + button->toolTip().toStdString();
        if (!Find<QWidget>(&browser, "detailsGroup")->isVisible()) {
            return text + "|-";
        }
        for (const char* label :
             {"fileNameText", "partNumberText", "sizeText", "lastCollectedText", "expiresText"}) {
            text += "|" + Find<QLabel>(&browser, label)->text().toStdString();
        }
        return text;
    }
    static std::string AscTime(time_t t) {
        std::string text = std::asctime(std::localtime(&t));
        return text.substr(0, text.size() - 1);
    }

    std::string partsDir_ = dir_.str() + "/store/";
    long counterA_ = 0, counterB_ = 0;
};

TEST_F(PartsBrowserDialogTest, TreeDetailsAndDeletions) {
    Store("solo pics - solo.bin [2/3]", 512, kStart - 3 * 86400);
    Store("holiday pics - holiday.jpg [1/4]", 1024, kStart);
    Store("holiday pics - holiday.jpg [3/4]", 2048, kStart + 60);
    PartsBrowserDialog browser(partsDir_, 7, dialogs_);
    browser.show();
    EXPECT_EQ(Shown(browser),
              "parts collected{solo.bin (1 part of 3){part 02},holiday.jpg (2 parts of 4){part 01,part 03}}");
    EXPECT_EQ(Find<QLabel>(&browser, "partsDirText")->text().toStdString(), dir_.str() + "/store/parts");
    EXPECT_EQ(Details(browser), "&Delete|Delete the Selected Part|-");
    EXPECT_FALSE(Find<QPushButton>(&browser, "deleteButton")->isEnabled());

    auto* tree = Find<QTreeWidget>(&browser, "partsTree");
    tree->setCurrentItem(Node(browser, 0));
    EXPECT_EQ(Details(browser), "Delete For...|Delete All Parts Collected for the Selected Binary|solo.bin|"
                                "3 parts in total (1 collected)|0.9 Kb (approx)|" +
                                    AscTime(kStart - 3 * 86400) + "|" + AscTime(kStart + 4 * 86400));
    tree->setCurrentItem(Node(browser, 1, 1));
    EXPECT_EQ(Details(browser), "&Delete|Delete the Selected Part|holiday.jpg|part 3 of 4|2.0 Kb|" +
                                    AscTime(kStart + 60) + "|" + AscTime(kStart + 60 + 7 * 86400));

    // Anything but Yes keeps the part; Yes deletes it, then a whole binary.
    for (Dialogs::Answer answer : {Dialogs::Answer::No, Dialogs::Answer::Cancel, Dialogs::Answer::Yes}) {
        tree->setCurrentItem(Node(browser, 1, 1));
        dialogs_.choices = {answer};
        Click(&browser, "deleteButton");
    }
    EXPECT_EQ(Shown(browser),
              "parts collected{solo.bin (1 part of 3){part 02},holiday.jpg (1 part of 4){part 01}}");
    tree->setCurrentItem(Node(browser, 0));
    dialogs_.choices = {Dialogs::Answer::Yes};
    Click(&browser, "deleteButton");
    EXPECT_EQ(Shown(browser), "parts collected{holiday.jpg (1 part of 4){part 01}}");
    EXPECT_EQ(dialogs_.shown.back(),
              "Deleting Parts: Are you sure you want to delete all parts\ncollected for file solo.bin?");

    dialogs_.answers = {false, true};
    Click(&browser, "deleteAllButton");
    EXPECT_EQ(Shown(browser), "parts collected{holiday.jpg (1 part of 4){part 01}}");
    Click(&browser, "deleteAllButton");
    EXPECT_EQ(Shown(browser), "parts collected{no parts are currently being kept}");
    EXPECT_TRUE(std::filesystem::is_empty(PartsDirectory(partsDir_)));
    EXPECT_FALSE(Find<QPushButton>(&browser, "deleteAllButton")->isEnabled());
    browser.close();
    EXPECT_FALSE(browser.findChild<QTimer*>("refreshTimer")->isActive());
}

TEST_F(PartsBrowserDialogTest, BrowseButtonOnAPartsPathThatIsAFile) {
    WriteFileBytes(dir_.file("afile"), "not a directory");
    Open();
    WithSheet([this](ConfigSheet& sheet) {
        Type(&sheet, "partsDirEdit", QString::fromStdString(dir_.file("afile")));
        OnNextModal<PartsBrowserDialog>([this](PartsBrowserDialog& shown) {
            EXPECT_EQ(Find<QLabel>(&shown, "partsDirText")->text().toStdString(),
                      dir_.file("afile") + "/parts");
            EXPECT_EQ(Shown(shown), "parts collected{no parts are currently being kept}");
            EXPECT_FALSE(Find<QPushButton>(&shown, "deleteAllButton")->isEnabled());
        });
        Click(&sheet, "browsePartsButton");
    });
    EXPECT_EQ(ReadFileBytes(dir_.file("afile")), "not a directory");
}

TEST_F(PartsBrowserDialogTest, FollowsPartsStoredWhileItIsOpen) {
    constexpr int kParts = 40;
    PartsBrowserDialog browser(partsDir_, 7, dialogs_);
    browser.show();
    std::thread download([&] {
        for (int part = 1; part <= kParts; ++part) {
            Store("movie.avi [" + std::to_string(part) + "/60]", 4096, std::time(nullptr));
        }
    });
    // The five-second timer reads the index under the parts lock while the parts arrive: one binary that
    // ends with every part, without anyone pressing Refresh.
    bool shown =
        WaitUntil([&] { return Node(browser, 0) && Node(browser, 0)->childCount() == kParts; }, 30000);
    download.join();
    EXPECT_TRUE(shown);
    EXPECT_EQ(Shown(browser).substr(0, 51), "parts collected{movie.avi (40 parts of 60){part 01,");
}

} // namespace
