// The files under the group nodes: listing, names, icons, rename, delete and opening them with GIO.
#include <QIcon>

#include <cstdlib>

#include "tests/ui/WindowFixture.h"
#include "ui/FileIcons.h"
#include "ui/FileViewer.h"
#include "ui/GroupFiles.h"

namespace {

// Desktop entries of the tests' own, seen by GIO instead of the machine's: an image viewer, a text viewer and
// an application that cannot start. Each viewer copies the file it is given, so the test can tell which
// file reached it.
class DesktopEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string data = dir_.file("data"), config = dir_.file("config");
        std::filesystem::create_directories(data + "/applications");
        std::filesystem::create_directories(config);
        std::filesystem::create_directory_symlink("/usr/share/mime", data + "/mime");
        Entry(data, "spindrel-test-viewer", "image/png", "cp %f " + dir_.file("viewed"));
        Entry(data, "spindrel-test-text", "text/plain", "cp %f " + dir_.file("viewed-as-text"));
        // Its working directory is gone, so it cannot start.
        Entry(data, "spindrel-test-broken", "application/pdf",
              "cp %f /dev/null\nPath=/nonexistent/directory");
        WriteFileBytes(config + "/mimeapps.list", "[Default Applications]\n"
                                                  "image/png=spindrel-test-viewer.desktop\n"
                                                  "text/plain=spindrel-test-text.desktop\n"
                                                  "application/pdf=spindrel-test-broken.desktop\n");
        setenv("XDG_DATA_DIRS", data.c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        // An icon theme with one generic icon, which every unknown type falls back to.
        std::string theme = dir_.file("icons/spindreltest");
        std::filesystem::create_directories(theme + "/16x16/mimetypes");
        WriteFileBytes(theme + "/index.theme",
                       "[Icon Theme]\nName=spindreltest\nDirectories=16x16/mimetypes\n\n"
                       "[16x16/mimetypes]\nSize=16\nContext=MimeTypes\nType=Fixed\n");
        WriteFileBytes(theme + "/16x16/mimetypes/application-x-generic.svg",
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                       "<rect width=\"16\" height=\"16\" fill=\"red\"/></svg>\n");
        QIcon::setThemeSearchPaths({QString::fromStdString(dir_.file("icons"))});
        QIcon::setThemeName("spindreltest");
    }

    static std::string File(const std::string& name) { return dir_.file(name); }

  private:
    static void Entry(const std::string& data, const std::string& name, const std::string& type,
                      const std::string& exec) {
        WriteFileBytes(data + "/applications/" + name + ".desktop",
                       "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
                           "\nMimeType=" + type + ";\n");
    }

    static TempDir dir_;
};

TempDir DesktopEnvironment::dir_;
::testing::Environment* const desktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

class FileListTest : public WindowFixture {
  protected:
    // Opens the window on one server with one group whose directory holds `files`, every file listed.
    QTreeWidgetItem* OpenWithFiles(const std::vector<std::string>& files) {
        std::filesystem::create_directories(dir_.file("out/alt.files"));
        for (const std::string& name : files) {
            WriteFileBytes(GroupFile(name), "contents of " + name);
        }
        Open("    ViewAllFiles=1\nNumServers=1\nServer\n    Name=news.a.com,,\n    NumGroups=1\n"
             "    Group=alt.files,0,0k,Expanded,Include\n");
        return Node("news.a.com/alt.files");
    }
    std::string GroupFile(const std::string& name) { return dir_.file("out/alt.files/" + name); }
    static QTreeWidgetItem* Child(QTreeWidgetItem* group, const QString& text) {
        for (int i = 0; i < group->childCount(); ++i) {
            if (group->child(i)->text(0) == text) {
                return group->child(i);
            }
        }
        return nullptr;
    }
};

TEST(GroupFilesTest, NodeTextsHaveTheExtensionInCapitals) {
    const std::pair<const char*, const char*> cases[] = {
        {"holiday.jpg", "holiday.JPG"},
        {"archive.tar.gz", "archive.tar.GZ"},
        {"readme", "README"},
        {"Mixed.Case.tXt", "Mixed.Case.TXT"},
        {".hidden", ".HIDDEN"},
        {"trailing.", "trailing."},
        {"caf\xc3\xa9.\xc3\xa9x", "caf\xc3\xa9.\xc3\xa9X"}, // bytes beyond ASCII stay as they are
    };
    for (const auto& [name, text] : cases) {
        EXPECT_EQ(FileNodeText(name), text) << name;
    }
}

TEST(GroupFilesTest, RenamedNamesStayInTheDirectory) {
    const std::pair<const char*, bool> cases[] = {
        {"new name.bin", true}, {"a..b", true},       {"", false},      {".", false},
        {"..", false},          {"../escape", false}, {"sub/x", false}, {"/etc/passwd", false},
    };
    for (const auto& [name, plain] : cases) {
        EXPECT_EQ(IsPlainFileName(name), plain) << name;
    }
    EXPECT_FALSE(IsPlainFileName(std::string("nul\0byte", 8)));
}

TEST(GroupFilesTest, GroupDirectoryFallsBackToTheCurrentDirectory) {
    TempDir dir;
    EXPECT_EQ(GroupDirectory(dir.str() + "/", "alt.x"), dir.str() + "/alt.x");
    EXPECT_EQ(GroupDirectory("", "alt.x"), "alt.x");
    EXPECT_EQ(GroupDirectory(dir.str() + "/missing/", "alt.x"), "alt.x");
}

TEST_F(FileListTest, ListsEveryPlainFileAndNoDirectory) {
    std::filesystem::create_directories(dir_.file("out/alt.files/subdir"));
    QTreeWidgetItem* group = OpenWithFiles({"one.bin", "two.jpg", "noext"});
    QStringList texts;
    for (int i = 0; i < group->childCount(); ++i) {
        texts << group->child(i)->text(0);
    }
    texts.sort();
    EXPECT_EQ(texts.join(',').toStdString(), "NOEXT,one.BIN,two.JPG");
}

TEST_F(FileListTest, ThousandsOfFilesAreAllListed) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        names.push_back("file" + std::to_string(i) + ".dat");
    }
    EXPECT_EQ(OpenWithFiles(names)->childCount(), 3000);
}

TEST_F(FileListTest, NamesThatAreNotTextAreShownAndStillHandled) {
    const std::string bad = "bad\x01name\xff.bin";
    QTreeWidgetItem* group = OpenWithFiles({bad});
    ASSERT_EQ(group->childCount(), 1);
    QTreeWidgetItem* node = group->child(0);
    EXPECT_EQ(node->text(0), QString("bad\uFFFDname\uFFFD.BIN"));
    Tree().setCurrentItem(node);
    window_->onDelete();
    EXPECT_FALSE(std::filesystem::exists(GroupFile(bad)));
    EXPECT_EQ(group->childCount(), 0);
}

TEST_F(FileListTest, AnUnreadableGroupDirectoryShowsNoFiles) {
    WriteFileBytes(dir_.file("out/alt.files"), "a file where the directory should be");
    Open("    ViewAllFiles=1\nNumServers=1\nServer\n    Name=news.a.com,,\n    NumGroups=1\n"
         "    Group=alt.files,0,0k,Expanded,Include\n");
    EXPECT_EQ(Node("news.a.com/alt.files")->childCount(), 0);
}

TEST_F(FileListTest, DeleteRemovesTheFileAndSelectsANeighbour) {
    QTreeWidgetItem* group = OpenWithFiles({"a.bin", "b.bin", "c.bin"});
    group->sortChildren(0, Qt::AscendingOrder);
    struct Case {
        const char* deleted;
        const char* selected;
    } cases[] = {{"b.BIN", "c.BIN"}, {"c.BIN", "a.BIN"}, {"a.BIN", "alt.files"}};
    for (const Case& c : cases) {
        Tree().setCurrentItem(Child(group, c.deleted));
        window_->onDelete();
        EXPECT_EQ(Tree().currentItem()->text(0), c.selected) << c.deleted;
        EXPECT_EQ(Child(group, c.deleted), nullptr);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir_.file("out/alt.files")));
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(FileListTest, RenameMovesTheFileWithinItsDirectoryOnly) {
    QTreeWidgetItem* group = OpenWithFiles({"old.bin", "other.bin"});
    QTreeWidgetItem* node = Child(group, "old.BIN");
    Tree().labelEdited(node, "new name.iso");
    EXPECT_EQ(node->text(0), "new name.iso");
    EXPECT_EQ(ReadFileBytes(GroupFile("new name.iso")), "contents of old.bin");
    EXPECT_FALSE(std::filesystem::exists(GroupFile("old.bin")));

    // Refused: outside the directory, onto another file; the same or an empty text does nothing.
    for (const char* name : {"../escaped.bin", "..", "sub/dir.bin", "other.bin"}) {
        dialogs_.shown.clear();
        Tree().labelEdited(node, name);
        EXPECT_EQ(dialogs_.shown, std::vector<std::string>{"Spindrel: File Rename Failed"}) << name;
        EXPECT_EQ(dialogs_.icons.back(), Dialogs::Icon::Stop);
        EXPECT_EQ(node->text(0), "new name.iso") << name;
    }
    EXPECT_EQ(ReadFileBytes(GroupFile("other.bin")), "contents of other.bin");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out/escaped.bin")));
    dialogs_.shown.clear();
    Tree().labelEdited(node, "new name.iso");
    Tree().labelEdited(node, "");
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(ReadFileBytes(GroupFile("new name.iso")), "contents of old.bin");
}

TEST_F(FileListTest, RefreshListsTheDirectoryAgain) {
    QTreeWidgetItem* group = OpenWithFiles({"a.bin"});
    WriteFileBytes(GroupFile("b.bin"), "b");
    Tree().setCurrentItem(group);
    window_->onRefresh();
    ASSERT_TRUE(WaitUntil([&] { return !window_->TreeBusy(); }));
    EXPECT_EQ(group->childCount(), 2);
}

TEST_F(FileListTest, DecodedFilesAreAddedUnderTheGroupBeingDownloaded) {
    Open("NumServers=1\nServer\n    Name=news.a.com,,\n    NumGroups=2\n"
         "    Group=alt.one,0,0k,Expanded,Include\n    Group=alt.two,0,0k,Expanded,Include\n");
    window_->AddDecodedFile("lost.bin"); // no group under the cursor yet
    window_->TreeFirstServer();
    window_->TreeNextGroup();
    window_->AddDecodedFile("movie.mkv");
    window_->AddDecodedFile("movie.mkv"); // not looked for: listed twice until the next rebuild
    EXPECT_EQ(Children(Node("news.a.com/alt.one")), "");
    EXPECT_EQ(Children(Node("news.a.com/alt.two")), "movie.MKV,movie.MKV");
    window_->TreeNextServer();
    window_->AddDecodedFile("late.bin");
    EXPECT_EQ(Children(Node("news.a.com/alt.two")), "movie.MKV,movie.MKV");
}

TEST_F(FileListTest, IconCacheHoldsAtMost254Extensions) {
    FileIcons icons;
    for (int i = 0; i < 300; ++i) {
        QIcon icon = icons.ForName("file." + std::to_string(i) + "zq");
        EXPECT_EQ(icon.name(), "application-x-generic") << i;
    }
    EXPECT_EQ(icons.CachedCount(), FileIcons::kMaxEntries);
    icons.ForName("another.0ZQ"); // the same extension in other letters is the same entry
    EXPECT_EQ(icons.CachedCount(), FileIcons::kMaxEntries);
}

TEST_F(FileListTest, ViewOpensTheVeryFileWithItsTypesApplication) {
    // A blank and a "%" in the name reach the viewer as they are: no shell, field codes honoured.
    std::string name = "50% off summer.png";
    QTreeWidgetItem* group = OpenWithFiles({name});
    Tree().setCurrentItem(group->child(0));
    window_->onView();
    EXPECT_TRUE(WaitUntil([] { return std::filesystem::exists(DesktopEnvironment::File("viewed")); }, 10000));
    EXPECT_TRUE(WaitUntil([] { return ReadFileBytes(DesktopEnvironment::File("viewed")) != ""; }, 10000));
    EXPECT_EQ(ReadFileBytes(DesktopEnvironment::File("viewed")), "contents of " + name);
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(FileListTest, WithoutAnApplicationTheTextViewerIsOffered) {
    std::string path = dir_.file("notes.zzq");
    WriteFileBytes(path, "some notes");
    dialogs_.answers = {false};
    ViewFile(path, dialogs_, nullptr);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0], "Viewing File: No Application is associated with this file type.\nWould you "
                                 "like to view it in the default text editor?");
    dialogs_.answers = {true};
    ViewFile(path, dialogs_, nullptr);
    EXPECT_TRUE(
        WaitUntil([] { return ReadFileBytes(DesktopEnvironment::File("viewed-as-text")) != ""; }, 10000));
    EXPECT_EQ(ReadFileBytes(DesktopEnvironment::File("viewed-as-text")), "some notes");

    // No application for the text type either: nothing at all.
    dialogs_.shown.clear();
    ViewFile(path, dialogs_, nullptr, "application/x-spindrel-no-such-type");
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(FileListTest, AFailedStartShowsTheSystemsText) {
    std::string path = dir_.file("paper.pdf");
    WriteFileBytes(path, "%PDF-1.4");
    ViewFile(path, dialogs_, nullptr);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].rfind("System Error: ", 0), 0u) << dialogs_.shown[0];
    EXPECT_GT(dialogs_.shown[0].size(), std::string("System Error: ").size());
}

} // namespace
