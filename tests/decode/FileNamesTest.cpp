#include "decode/FileNames.h"
#include "decode/OutputFiles.h"
#include "log/Log.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(CleanFileNameTest, TrimsUnquotesAndReplacesUnsafeCharacters) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"  \t pic.jpg  \t", "pic.jpg"},
        {"\"quoted name.zip\"", "quoted name.zip"},
        {"C:\\x\\y\\pic.JPG", "pic.JPG"},
        {"dir\\", "dir_"},                  // a backslash at the end keeps what precedes it
        {"a\\b\\", "b_"},                   //
        {"a:b?c.gif", "a_b_c.gif"},         //
        {"\"/:&;\\<>%,*=|?~", "_________"}, // the quote is dropped, what follows the backslash replaced
        {"a/:&;<>%,*=|?~b", "a_____________b"},
        {"../../x", ".._.._x"},             //
        {"/etc/passwd", "_etc_passwd"},     //
        {"C:\\dir\\x.exe", "x.exe"},        //
        {"a$(rm -rf ~)b", "a$(rm -rf _)b"}, // harmless in a file name: never given to a shell
        {"`id`.txt", "`id`.txt"},           //
        {"line\none", "line_one"},          // control characters
        {std::string("nul\0byte", 8), "nul_byte"},
        {"esc\x1b[31m\x7f", "esc_[31m_"},
        {" ", ""},
        {"x ", "x"},
    };
    for (const Case& c : cases) {
        std::string name = c.in;
        CleanFileName(name);
        EXPECT_EQ(name, c.out) << c.in;
    }
}

TEST(FindExtensionTest, LooksOnlyAtTheLastComponent) {
    struct Case {
        std::string path;
        size_t dot;
    } cases[] = {
        {"pic.jpg", 3},
        {"archive.tar.gz", 11},
        {"readme", std::string::npos},
        {".profile", std::string::npos},
        {"dir.d/readme", std::string::npos},
        {"dir.d\\readme", std::string::npos},
        {"dir/.hidden", 4},
        {"name.", 4},
        {"", std::string::npos},
        {".", std::string::npos},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindExtension(c.path), c.dot) << c.path;
    }
    EXPECT_EQ(ExtensionOf("a/b.JPG"), "JPG");
    EXPECT_EQ(ExtensionOf("a/b"), "");
}

class OutputFilesTest : public ::testing::Test {
  protected:
    std::string Touch(const std::string& name) {
        WriteFileBytes(out.file(name), "x");
        return out.file(name);
    }

    TempDir dir;
    TempDir out;
    ActivityLogFile log{dir.file("activity.log")};
};

TEST_F(OutputFilesTest, FreeNameIsKept) {
    std::string name = "pic.jpg";
    EXPECT_EQ(MakeOutputPath(name, out.str()), out.file("pic.jpg"));
    EXPECT_EQ(name, "pic.jpg");
    EXPECT_EQ(log.Read(), "");
}

TEST_F(OutputFilesTest, CollisionsGetCountersBeforeTheExtension) {
    struct Case {
        std::vector<std::string> existing;
        std::string name, result;
    } cases[] = {
        {{"pic.jpg"}, "pic.jpg", "pic000.jpg"},
        {{"pic.jpg", "pic000.jpg"}, "pic.jpg", "pic001.jpg"},
        {{"readme"}, "readme", "readme000"},
        {{"archive.tar.gz"}, "archive.tar.gz", "archive.tar000.gz"},
    };
    for (const Case& c : cases) {
        TempDir target;
        for (const std::string& file : c.existing) {
            WriteFileBytes(target.file(file), "x");
        }
        std::string name = c.name;
        EXPECT_EQ(MakeOutputPath(name, target.str()), target.file(c.result));
        EXPECT_EQ(name, c.result);
    }
    EXPECT_EQ(log.Read().find("   Mangling filename to \""), 0u);
}

TEST_F(OutputFilesTest, OneLogLinePerCandidateAndCountersGrowPast999) {
    std::string dirName = out.str();
    Touch("n.b");
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        snprintf(name, sizeof name, "n%03d.b", i);
        Touch(name);
    }
    std::string path = out.file("n.b");
    MangleFileName(path);
    EXPECT_EQ(path, out.file("n1000.b"));
    std::string text = log.Read();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1001);
    EXPECT_NE(text.find("   Mangling filename to \"" + out.file("n000.b") + "\"\n"), std::string::npos);
}

TEST_F(OutputFilesTest, UnreadableFilesAndDanglingLinksCountAsTaken) {
    Touch("secret.txt");
    std::filesystem::permissions(out.file("secret.txt"), std::filesystem::perms::none);
    std::filesystem::create_symlink(dir.file("outside.txt"), out.file("link.txt"));
    for (const char* taken : {"secret.txt", "link.txt"}) {
        std::string name = taken;
        std::string path = MakeOutputPath(name, out.str());
        EXPECT_NE(path, out.file(taken));
        EXPECT_EQ(WriteWholeFile(path, 3, "new"), 3u);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("outside.txt")));
    std::filesystem::permissions(out.file("secret.txt"), std::filesystem::perms::owner_read);
    EXPECT_EQ(ReadFileBytes(out.file("secret.txt")), "x");
}

TEST_F(OutputFilesTest, NamesThatWouldLeaveTheDirectoryGetASafeOne) {
    for (const char* hostile : {"", ".", "..", "/etc/passwd"}) {
        std::string name = hostile;
        std::string path = MakeOutputPath(name, out.str());
        EXPECT_EQ(path, out.file("NoFileName")) << hostile;
        EXPECT_EQ(name, "NoFileName");
    }
}

TEST_F(OutputFilesTest, DirectoryWithTrailingSlashAndEmptyDirectory) {
    std::string name = "a.b";
    EXPECT_EQ(MakeOutputPath(name, out.str() + "/"), out.file("a.b"));
    name = "a.b";
    EXPECT_EQ(MakeOutputPath(name, ""), "a.b");
}

TEST_F(OutputFilesTest, WriteWholeFileNeverReplacesAndReportsFailure) {
    std::string path = Touch("there.bin");
    EXPECT_EQ(WriteWholeFile(path, 3, "new"), 0u);
    EXPECT_EQ(ReadFileBytes(path), "x");
    EXPECT_EQ(WriteWholeFile(out.file("missing/dir.bin"), 3, "new"), 0u);
    std::string bytes(100000, '\0');
    EXPECT_EQ(WriteWholeFile(out.file("ok.bin"), bytes.size(), bytes.data()), bytes.size());
    EXPECT_EQ(ReadFileBytes(out.file("ok.bin")), bytes);
}

} // namespace
