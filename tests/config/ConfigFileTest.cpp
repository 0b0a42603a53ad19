#include "config/ConfigFile.h"
#include "log/Log.h"
#include "tests/config/ConfigTestUtil.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <functional>

namespace {

using namespace std::string_literals;

const std::string kDefaultFile = "#\n"
                                 "# Abandon all hope, Ye who edit here\n"
                                 "#\n"
                                 "\n"
                                 "Config\n"
                                 "    OutputDir=\n"
                                 "    PartsDir=\n"
                                 "    NetscapeDir=\n"
                                 "    FilterFile=\n"
                                 "    LogFile=\n"
                                 "    PostProcessCommand=\n"
                                 "    MaxDownloadSize=0\n"
                                 "    MaxPartAge=7\n"
                                 "    LineCullAmount=5\n"
                                 "    SmallIcons=0\n"
                                 "    HeaderCacheSize=16\n"
                                 "    ThreadPriority=0\n"
                                 "    FilteringEnabled=0\n"
                                 "    PartsEnabled=0\n"
                                 "    MaxNumParts=0\n"
                                 "    PostProcessEnabled=0\n"
                                 "    LoggingEnabled=0\n"
                                 "    ViewAllFiles=0\n"
                                 "    HideOnMin=0\n"
                                 "    UnAttendedMode=0\n"
                                 "    NumLoops=0\n"
                                 "    InterLoopWait=0\n"
                                 "    BandWidthLimit=1000.000000\n"
                                 "    MinFreeSpace=0.000000\n"
                                 "    MultipartFullStop=0\n"
                                 "    NumServers=0\n";

class ConfigFileTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SetLogEnabled(0);
        SetLogFileName(nullptr);
    }

    // Loads `text` into a record with default settings.
    Settings Load(const std::string& text) {
        EXPECT_TRUE(WriteFileBytes(path, text));
        Settings settings;
        EXPECT_EQ(LoadConfig(settings, path), 0);
        return settings;
    }

    TempDir dir;
    std::string path = dir.file("spindrel.cfg");
};

const ServerEntry& Server(const Settings& s, long i) {
    return *s.Servers.get(static_cast<uint32_t>(i));
}
const GroupEntry& Group(const Settings& s, long i, long g) {
    return *Server(s, i).Groups.get(static_cast<uint32_t>(g));
}

TEST_F(ConfigFileTest, DefaultsAreWrittenExactly) {
    Settings settings;
    ASSERT_EQ(SaveConfig(settings, path), 1);
    EXPECT_EQ(ReadFileBytes(path), kDefaultFile);
}

TEST_F(ConfigFileTest, ServerBlocksAreWrittenExactly) {
    Settings settings;
    auto server = MakeServer("news.example");
    AppendGroup(*server, MakeGroup("alt.test", 1200, 50, 1, 1));
    AppendGroup(*server, MakeGroup("alt.big", 3000000000, 0, 0, 0));
    AddServer(settings, std::move(server));
    AddServer(settings, MakeServer("[::1]:1119", "joe", "pw"));
    ASSERT_EQ(SaveConfig(settings, path), 1);

    std::string expected = kDefaultFile;
    expected.replace(expected.find("NumServers=0"), 12, "NumServers=2");
    expected += "Server\n"
                "    Name=news.example,,\n"
                "    NumGroups=2\n"
                "    Group=alt.test,1200,50k,Collapsed,Skip\n"
                "    Group=alt.big,3000000000,0k,Expanded,Include\n"
                "\n"
                "Server\n"
                "    Name=[::1]:1119,joe,pw\n"
                "    NumGroups=0\n"
                "\n";
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(ConfigFileTest, SaveThenLoadGivesTheSameRecord) {
    Settings saved;
    FillAllSettings(saved);
    auto first = MakeServer("news.example", "joe", "se,cret");
    AppendGroup(*first, MakeGroup("alt.binaries.test", 4000000000, 50, 1, 1));
    AppendGroup(*first, MakeGroup("alt.a", 0, 0, 0, 0));
    AppendGroup(*first, MakeGroup("alt.b", -5, 7, 1, 0));
    AddServer(saved, std::move(first));
    AddServer(saved, MakeServer("empty.example"));
    auto third = MakeServer("[::1]:1119", "", "pw");
    for (int i = 0; i < 9; ++i) {
        AppendGroup(*third, MakeGroup("g" + std::to_string(i), i * 1000, i, i % 2, (i / 2) % 2));
    }
    AddServer(saved, std::move(third));
    ASSERT_EQ(SaveConfig(saved, path), 1);

    Settings loaded;
    AddServer(loaded, MakeServer("replaced.example"));
    LoadConfig(loaded, path);
    EXPECT_EQ(Describe(loaded), Describe(saved));
}

TEST_F(ConfigFileTest, LoadKeepsSettingsTheFileDoesNotMention) {
    Settings settings;
    settings.MaxPartAge = 99;
    AddServer(settings, MakeServer("old.example"));
    WriteFileBytes(path, "Config\n    NumLoops=4\n");
    LoadConfig(settings, path);
    EXPECT_EQ(settings.MaxPartAge, 99);
    EXPECT_EQ(settings.NumLoops, 4);
    EXPECT_EQ(settings.NumServers, 0);
    EXPECT_EQ(settings.Servers.get(0), nullptr);
}

TEST_F(ConfigFileTest, UnreadablePathLeavesRecordUntouched) {
    std::filesystem::create_directory(dir.file("a-directory"));
    for (const std::string& missing :
         {dir.file("absent.cfg"), dir.file("a-directory"), dir.file("no/such.cfg")}) {
        Settings settings;
        settings.MaxPartAge = 99;
        AddServer(settings, MakeServer("kept.example"));
        std::string before = Describe(settings);
        EXPECT_EQ(LoadConfig(settings, missing), 0);
        EXPECT_EQ(Describe(settings), before) << missing;
    }
}

TEST_F(ConfigFileTest, LogFileKeyNamesTheActivityLog) {
    std::string logPath = dir.file("activity.log");
    Settings settings = Load("Config\n    LogFile=" + logPath + "\n");
    EXPECT_EQ(settings.LogFile, logPath);
    SetLogEnabled(1);
    LogMessage("hello");
    EXPECT_EQ(ReadLogFile(logPath), "hello\n");
}

TEST_F(ConfigFileTest, FractionsUseADecimalPointInEveryLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            switched = true;
            break;
        }
    }
    if (!switched) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    Settings saved;
    saved.BandWidthLimit = 1234.5;
    ASSERT_EQ(SaveConfig(saved, path), 1);
    Settings loaded;
    LoadConfig(loaded, path);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_NE(ReadFileBytes(path).find("    BandWidthLimit=1234.500000\n"), std::string::npos);
    EXPECT_EQ(loaded.BandWidthLimit, 1234.5);
}

struct LoadCase {
    const char* name;
    std::string text;
    std::function<void(const Settings&)> check;
};

const std::string kServerBlock = "Server\n    Name=news.example,joe,pw\n    NumGroups=1\n"
                                 "    Group=alt.test,5,0k,Expanded,Include\n\n";

TEST_F(ConfigFileTest, LoadEdgeCases) {
    const LoadCase cases[] = {
        {"comments, empty and blank lines anywhere",
         "\n# c\nConfig\n#\n\n   \n\tMaxPartAge=3  \n# c\n  NumServers=1\n\n#\nServer\n# c\n\n Name=a,,\n   "
         "\n"
         "NumGroups=1\n#\n Group=g,1,2k,Collapsed,Skip\n\n",
         [](const Settings& s) {
             EXPECT_EQ(s.MaxPartAge, 3);
             ASSERT_EQ(s.NumServers, 1);
             EXPECT_EQ(Server(s, 0).Address, "a");
             ASSERT_EQ(Server(s, 0).NumGroups, 1);
             EXPECT_EQ(Group(s, 0, 0).Name, "g");
         }},
        {"CR LF line ends",
         "Config\r\n    MaxPartAge=3\r\n    OutputDir=/o\r\n    NumServers=1\r\n" + kServerBlock,
         [](const Settings& s) {
             EXPECT_EQ(s.MaxPartAge, 3);
             EXPECT_EQ(s.OutputDir, "/o/");
             EXPECT_EQ(s.NumServers, 1);
         }},
        {"blank before = ends the section",
         "Config\n    MaxPartAge=3\n    NumLoops =4\n    InterLoopWait=9\n",
         [](const Settings& s) {
             EXPECT_EQ(s.MaxPartAge, 3);
             EXPECT_EQ(s.NumLoops, 0);
             EXPECT_EQ(s.InterLoopWait, 0);
         }},
        {"unknown key ends the section", "Config\n    maxpartage=3\n    NumLoops=4\n",
         [](const Settings& s) {
             EXPECT_EQ(s.MaxPartAge, 7);
             EXPECT_EQ(s.NumLoops, 0);
         }},
        {"line without = ends the section and is consumed",
         "Config\n    NumServers=1\n    junk\n" + kServerBlock,
         [](const Settings& s) { EXPECT_EQ(s.NumServers, 1); }},
        {"any order, repeated key overwrites", "Config\nNumLoops=1\nMaxPartAge=2\nNumLoops=3\n",
         [](const Settings& s) {
             EXPECT_EQ(s.NumLoops, 3);
             EXPECT_EQ(s.MaxPartAge, 2);
         }},
        {"more than 26 key lines: the 27th is not read",
         "Config\n" +
             [] {
                 std::string keys;
                 for (int i = 0; i < 26; ++i) {
                     keys += "NumLoops=" + std::to_string(i) + "\n";
                 }
                 return keys;
             }() +
             "InterLoopWait=5\n",
         [](const Settings& s) {
             EXPECT_EQ(s.NumLoops, 25);
             EXPECT_EQ(s.InterLoopWait, 0);
         }},
        {"first significant line is the header", "    MaxPartAge=3\n    NumLoops=4\n",
         [](const Settings& s) {
             EXPECT_EQ(s.MaxPartAge, 7);
             EXPECT_EQ(s.NumLoops, 4);
         }},
        {"directories get a trailing slash", "Config\nOutputDir=/out\nPartsDir=parts/\nNetscapeDir=C:\\ns\n",
         [](const Settings& s) {
             EXPECT_EQ(s.OutputDir, "/out/");
             EXPECT_EQ(s.PartsDir, "parts/");
             EXPECT_EQ(s.NetscapeDir, "C:\\ns/");
         }},
        {"empty directories stay empty", "Config\nOutputDir=\nPartsDir=   \nNetscapeDir=\n",
         [](const Settings& s) {
             EXPECT_EQ(s.OutputDir, "");
             EXPECT_EQ(s.PartsDir, "");
             EXPECT_EQ(s.NetscapeDir, "");
         }},
        {"value keeps = signs after the first", "Config\nPostProcessCommand=run a=b c\n",
         [](const Settings& s) { EXPECT_EQ(s.PostProcessCommand, "run a=b c"); }},
        {"numbers read like atol and atof",
         "Config\nMaxPartAge= -12abc\nNumLoops=abc\nInterLoopWait=+7\nBandWidthLimit=  2.5e3xyz\n"
         "MinFreeSpace=+-1\nLineCullAmount=\n",
         [](const Settings& s) {
             EXPECT_EQ(s.MaxPartAge, -12);
             EXPECT_EQ(s.NumLoops, 0);
             EXPECT_EQ(s.InterLoopWait, 7);
             EXPECT_EQ(s.BandWidthLimit, 2500.0);
             EXPECT_EQ(s.MinFreeSpace, 0.0);
             EXPECT_EQ(s.LineCullAmount, 0);
         }},
        {"numbers out of range are clamped",
         "Config\nHeaderCacheSize=99999999999\nThreadPriority=-99999999999\nMaxDownloadSize="
         "99999999999999999999\n",
         [](const Settings& s) {
             EXPECT_EQ(s.HeaderCacheSize, INT_MAX);
             EXPECT_EQ(s.ThreadPriority, INT_MIN);
             EXPECT_EQ(s.MaxDownloadSize, LONG_MAX);
         }},
        {"value cut to 512 characters", "Config\nOutputDir=" + std::string(600, 'x') + "\nNumLoops=2\n",
         [](const Settings& s) {
             EXPECT_EQ(s.OutputDir, std::string(512, 'x') + "/");
             EXPECT_EQ(s.NumLoops, 2);
         }},
        {"line over 1023 characters is read as two lines and ends the section",
         "Config\nPostProcessCommand=" + std::string(1100, 'c') + "\nNumLoops=2\n",
         [](const Settings& s) {
             EXPECT_EQ(s.PostProcessCommand, std::string(512, 'c'));
             EXPECT_EQ(s.NumLoops, 0);
         }},
        {"text after a NUL byte is dropped", "Config\nOutputDir=/a\0junk\nNumLoops=2\n"s,
         [](const Settings& s) {
             EXPECT_EQ(s.OutputDir, "/a/");
             EXPECT_EQ(s.NumLoops, 2);
         }},
        {"group line examples",
         "Config\nNumServers=1\nServer\nName=a,,\nNumGroups=6\nGroup=alt.test,1200,50k,Collapsed,Skip\n"
         "Group=alt.test,1200\nGroup=alt.test\nGroup=b,1,2k,collapsed,skip\nGroup=c,1,2k,Collapsed\n"
         "Group=d,-4,x,Collapsed,\n",
         [](const Settings& s) {
             ASSERT_EQ(Server(s, 0).NumGroups, 6);
             struct Expected {
                 std::string name;
                 long next, min;
                 int collapsed, skip;
             };
             const Expected expected[] = {{"alt.test", 1200, 50, 1, 1},
                                          {"alt.test", 0, 0, 0, 0},
                                          {"", 0, 0, 0, 0},
                                          {"b", 1, 2, 1, 1},
                                          {"c", 1, 2, 0, 0},
                                          {"d", -4, 0, 1, 0}};
             for (long g = 0; g < 6; ++g) {
                 const GroupEntry& group = Group(s, 0, g);
                 const Expected& e = expected[g];
                 EXPECT_EQ(group.Name, e.name) << g;
                 EXPECT_EQ(group.NextArticle, e.next) << g;
                 EXPECT_EQ(group.MinSizeK, e.min) << g;
                 EXPECT_EQ(group.Collapsed, e.collapsed) << g;
                 EXPECT_EQ(group.Skip, e.skip) << g;
             }
         }},
        {"over-long login and group name are cut",
         "Config\nNumServers=1\nServer\nName=" + std::string(300, 'h') + "," + std::string(40, 'u') + "," +
             std::string(40, 'p') + "\nNumGroups=1\nGroup=" + std::string(300, 'g') +
             ",1,0k,Expanded,Include\n",
         [](const Settings& s) {
             EXPECT_EQ(Server(s, 0).Address, std::string(255, 'h'));
             EXPECT_EQ(Server(s, 0).User, std::string(31, 'u'));
             EXPECT_EQ(Server(s, 0).Password, std::string(31, 'p'));
             EXPECT_EQ(Group(s, 0, 0).Name, std::string(255, 'g'));
         }},
        {"three servers announced, two blocks present",
         "Config\nNumServers=3\n" + kServerBlock + kServerBlock,
         [](const Settings& s) {
             EXPECT_EQ(s.NumServers, 2);
             EXPECT_EQ(s.Servers.get(2), nullptr);
         }},
        {"five groups announced, three lines present, next block still read",
         "Config\nNumServers=2\nServer\nName=a,,\nNumGroups=5\nGroup=g1,\nGroup=g2,\nGroup=g3,\n" +
             kServerBlock,
         [](const Settings& s) {
             ASSERT_EQ(s.NumServers, 2);
             EXPECT_EQ(Server(s, 0).NumGroups, 3);
             EXPECT_EQ(Group(s, 0, 2).Name, "g3");
             EXPECT_EQ(Server(s, 1).Address, "news.example");
             EXPECT_EQ(Server(s, 1).NumGroups, 1);
         }},
        {"short Config section still loads its servers",
         "Config\n    OutputDir=/o\n    NumServers=2\n" + kServerBlock + kServerBlock,
         [](const Settings& s) {
             EXPECT_EQ(s.OutputDir, "/o/");
             ASSERT_EQ(s.NumServers, 2);
             EXPECT_EQ(Server(s, 1).User, "joe");
             EXPECT_EQ(Server(s, 1).NumGroups, 1);
         }},
        {"server header in either order, without NumGroups no groups",
         "Config\nNumServers=2\nServer\nNumGroups=1\nName=b,u,p\nGroup=g,\nServer\nName=c,,\nGroup=h,\n",
         [](const Settings& s) {
             ASSERT_EQ(s.NumServers, 2);
             EXPECT_EQ(Server(s, 0).Address, "b");
             EXPECT_EQ(Server(s, 0).NumGroups, 1);
             EXPECT_EQ(Server(s, 1).Address, "c");
             EXPECT_EQ(Server(s, 1).NumGroups, 0);
         }},
        {"block not starting with Server ends the servers",
         "Config\nNumServers=2\n" + kServerBlock + "Servers\nName=b,,\nNumGroups=0\n",
         [](const Settings& s) { EXPECT_EQ(s.NumServers, 1); }},
        {"negative counts load nothing", "Config\nNumServers=-2\n" + kServerBlock,
         [](const Settings& s) {
             EXPECT_EQ(s.NumServers, 0);
             EXPECT_EQ(s.Servers.get(0), nullptr);
         }},
        {"huge counts load what is there",
         "Config\nNumServers=9223372036854775807\nServer\nName=a,,\nNumGroups=99999999999999\nGroup=g,\n",
         [](const Settings& s) {
             ASSERT_EQ(s.NumServers, 1);
             EXPECT_EQ(Server(s, 0).NumGroups, 1);
         }},
        {"last line without line end is ignored",
         "Config\nNumServers=1\nServer\nName=a,,\nNumGroups=2\nGroup=g1,\nGroup=g2,",
         [](const Settings& s) {
             ASSERT_EQ(s.NumServers, 1);
             EXPECT_EQ(Server(s, 0).NumGroups, 1);
         }},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(Load(c.text));
    }
}

} // namespace
