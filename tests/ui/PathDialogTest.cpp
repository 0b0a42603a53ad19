// The path selection dialog: where it opens, what its tree shows, and creating a typed path.
#include <QComboBox>
#include <QTreeWidget>

#include "tests/ui/SheetFixture.h"
#include "ui/PathDialog.h"

namespace {

class PathDialogTest : public SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        for (const char* made : {"Data/Incoming/deep", "Data/.hidden", "odd name %\xff"}) {
            std::filesystem::create_directories(dir_.file(made));
        }
        WriteFileBytes(dir_.file("Data/file.txt"), "not a directory");
    }

    static QTreeWidgetItem* Current(PathDialog& dialog) {
        return Find<QTreeWidget>(&dialog, "directoryTree")->currentItem();
    }
    static std::vector<std::string> Children(QTreeWidgetItem* item) {
        std::vector<std::string> names;
        for (int i = 0; i < item->childCount(); ++i) {
            names.push_back(item->child(i)->text(0).toStdString());
        }
        return names;
    }
};

TEST_F(PathDialogTest, OpensAtTheStartPathAsFarAsItExists) {
    const std::string data = dir_.str() + "/Data";
    // Start path, path box, current item.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {data + "/Incoming", data + "/Incoming", "Incoming"},
        {data + "/Incoming/", data + "/Incoming", "Incoming"},
        {"Data/Incoming", data + "/Incoming", "Incoming"}, // relative to the current directory
        {"", dir_.str(), dir_.path().filename().string()}, // the current directory
        {dir_.str() + "/data/Incoming", dir_.str(), dir_.path().filename().string()}, // letter case counts
        {data + "/missing/deeper", data, "Data"},
    };
    for (const auto& [start, shown, current] : cases) {
        SCOPED_TRACE(start);
        PathDialog dialog(start, dialogs_);
        dialog.show();
        EXPECT_EQ(Text(&dialog, "pathEdit"), shown);
        ASSERT_NE(Current(dialog), nullptr);
        EXPECT_EQ(Current(dialog)->text(0).toStdString(), current);
        EXPECT_TRUE(Current(dialog)->isExpanded());
        EXPECT_TRUE(PathDialog::IsPopulated(Current(dialog)));
        EXPECT_EQ(PathDialog::ImageOf(Current(dialog)), PathDialog::OpenFolderImage);
        EXPECT_EQ(Find<QComboBox>(&dialog, "volumeCombo")->itemText(0).toStdString(), "/");
    }
}

TEST_F(PathDialogTest, TreeReadsDirectoriesWhenOpenedAndShowsTheSelection) {
    PathDialog dialog(dir_.str(), dialogs_);
    dialog.show();
    QTreeWidgetItem* top = Current(dialog);
    std::vector<std::string> names = Children(top);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Data", "odd name %\xEF\xBF\xBD", "out"}));
    QTreeWidgetItem* data = nullptr;
    for (int i = 0; i < top->childCount(); ++i) {
        data = top->child(i)->text(0) == "Data" ? top->child(i) : data;
    }
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(PathDialog::IsPopulated(data));
    EXPECT_EQ(PathDialog::ImageOf(data), PathDialog::ClosedFolderImage);
    auto* tree = Find<QTreeWidget>(&dialog, "directoryTree");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    tree->scrollToItem(data);
    QPoint at = tree->visualItemRect(data).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(PathDialog::IsPopulated(data));
    EXPECT_EQ(Children(data), std::vector<std::string>{"Incoming"}); // no file, no name beginning with "."
    EXPECT_EQ(Text(&dialog, "pathEdit"), dir_.str() + "/Data/");
    EXPECT_EQ(PathDialog::ImageOf(data), PathDialog::OpenFolderImage);
    data->setExpanded(false);
    EXPECT_EQ(PathDialog::ImageOf(data), PathDialog::ClosedFolderImage);
}

TEST_F(PathDialogTest, NamesThatAreNotUtf8ComeBackAsTheyAre) {
    const std::string odd = dir_.str() + "/odd name %\xff";
    PathDialog dialog(odd, dialogs_);
    dialog.show();
    Find<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedPath(), odd);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(PathDialogTest, ATypedPathIsCreatedLevelByLevelOnlyWhenConfirmed) {
    Open();
    WithSheet([this](ConfigSheet& sheet) {
        OnNextModal<PathDialog>([this](PathDialog& dialog) {
            Type(&dialog, "pathEdit", "new/deeper");
            dialogs_.answers = {false, true};
            auto* ok = Find<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok);
            ok->click();
            EXPECT_TRUE(dialog.isVisible()); // declined: still open, nothing made
            EXPECT_FALSE(std::filesystem::exists(dir_.file("new")));
            ok->click();
            EXPECT_FALSE(dialog.isVisible());
        });
        Click(&sheet, "outputDirBrowse");
        EXPECT_EQ(Text(&sheet, "outputDirEdit"), "new/deeper");
        ClickOk(sheet);
    });
    EXPECT_TRUE(std::filesystem::is_directory(dir_.file("new/deeper")));
    EXPECT_EQ(dialogs_.shown,
              std::vector<std::string>(
                  2, "Does Not Exist: The path new/deeper does not exist.\nWould you like to create it?"));
    EXPECT_EQ(settings_.OutputDir, "new/deeper/");
}

} // namespace
