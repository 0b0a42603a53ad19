#include "config/ConfigFile.h"
#include "log/Log.h"
#include "tests/config/ConfigTestUtil.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Whatever the file held, the record's counts match its lists and no text breaks the limits of its field.
void ExpectConsistent(const Settings& s) {
    ASSERT_GE(s.NumServers, 0);
    for (long i = 0; i < s.NumServers; ++i) {
        const ServerEntry* server = s.Servers.get(static_cast<uint32_t>(i));
        ASSERT_NE(server, nullptr);
        EXPECT_LE(server->Address.size(), ServerEntry::kMaxAddress);
        EXPECT_LE(server->User.size(), ServerEntry::kMaxUser);
        EXPECT_LE(server->Password.size(), ServerEntry::kMaxPassword);
        ASSERT_GE(server->NumGroups, 0);
        for (long g = 0; g < server->NumGroups; ++g) {
            const GroupEntry* group = server->Groups.get(static_cast<uint32_t>(g));
            ASSERT_NE(group, nullptr);
            EXPECT_LE(group->Name.size(), GroupEntry::kMaxName);
        }
        EXPECT_EQ(server->Groups.get(static_cast<uint32_t>(server->NumGroups)), nullptr);
    }
    EXPECT_EQ(s.Servers.get(static_cast<uint32_t>(s.NumServers)), nullptr);
    for (const std::string* text :
         {&s.OutputDir, &s.PartsDir, &s.NetscapeDir, &s.LogFile, &s.FilterFile, &s.PostProcessCommand}) {
        EXPECT_LE(text->size(), 513u);
        EXPECT_EQ(text->find('\0'), std::string::npos);
    }
}

class ConfigBadInputTest : public ::testing::Test {
  protected:
    void TearDown() override { SetLogFileName(nullptr); }

    Settings Load(const std::string& bytes) {
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        Settings settings;
        LoadConfig(settings, path);
        return settings;
    }

    TempDir dir;
    std::string path = dir.file("spindrel.cfg");
};

std::string ValidFile() {
    TempDir dir;
    Settings settings;
    for (int i = 0; i < 3; ++i) {
        auto server = MakeServer("s" + std::to_string(i), "u", "p");
        for (int g = 0; g < 2; ++g) {
            AppendGroup(*server, MakeGroup("alt.g" + std::to_string(g), g, g, 1, 1));
        }
        AddServer(settings, std::move(server));
    }
    SaveConfig(settings, dir.file("c"));
    return ReadFileBytes(dir.file("c"));
}

TEST_F(ConfigBadInputTest, EveryTruncationLoadsTheCompleteServersBeforeIt) {
    const std::string full = ValidFile();
    long previous = 0;
    for (size_t length = 0; length <= full.size(); ++length) {
        Settings settings = Load(full.substr(0, length));
        ExpectConsistent(settings);
        // Cutting the file shorter never yields more servers.
        EXPECT_GE(settings.NumServers, previous) << length;
        previous = settings.NumServers;
    }
    EXPECT_EQ(previous, 3);
}

// A value cut to its field's length may end in blanks the file cannot carry (lines lose them when read): what
// loads must be what a save and a second load give, or a password would change at the next start.
TEST_F(ConfigBadInputTest, ValuesCutBeforeABlankSurviveASave) {
    const std::string cutBeforeBlanks = std::string(29, 'p') + "   rest";
    Settings first = Load("Config\n    PostProcessCommand=" + std::string(510, 'c') + " \t more\n" +
                          "    FilterFile=" + std::string(511, 'f') + "\r x\n    NumServers=1\nServer\n" +
                          "    Name=host,user," + cutBeforeBlanks + "\n    NumGroups=0\n\n");
    ASSERT_EQ(first.NumServers, 1);
    EXPECT_EQ(first.Servers.get(0)->Password, std::string(29, 'p'));
    EXPECT_EQ(first.PostProcessCommand, std::string(510, 'c'));
    EXPECT_EQ(first.FilterFile, std::string(511, 'f'));
    ASSERT_EQ(SaveConfig(first, path), 1);
    Settings second;
    LoadConfig(second, path);
    EXPECT_EQ(Describe(second), Describe(first));
}

TEST_F(ConfigBadInputTest, GarbageAndBinaryBytesNeverBreakTheRecord) {
    const std::string tokens[] = {"\n",
                                  "\r\n",
                                  "=",
                                  ",",
                                  "#",
                                  " ",
                                  std::string(1, '\0'),
                                  "\xff\xfe",
                                  "Server\n",
                                  "Config\n",
                                  "k",
                                  "NumServers=99999\n",
                                  "NumGroups=7\n",
                                  "Name=",
                                  "Group=",
                                  "OutputDir=",
                                  "-",
                                  "9999999999999999999999",
                                  std::string(700, 'x'),
                                  std::string(1500, ',')};
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> pick(0, std::size(tokens) - 1);
    std::uniform_int_distribution<int> count(0, 300);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        for (int n = count(random); n > 0; --n) {
            bytes += tokens[pick(random)];
        }
        SCOPED_TRACE(round);
        ExpectConsistent(Load(bytes));
    }
}

TEST_F(ConfigBadInputTest, RandomBytesNeverBreakTheRecord) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 100; ++round) {
        std::string bytes = "Config\nNumServers=5\nServer\n";
        for (int n = 0; n < 4000; ++n) {
            bytes += static_cast<char>(byte(random));
        }
        SCOPED_TRACE(round);
        ExpectConsistent(Load(bytes));
    }
}

TEST_F(ConfigBadInputTest, MissingValuesGiveEmptyOrZeroFields) {
    Settings settings = Load("Config\nOutputDir=\nMaxPartAge=\nBandWidthLimit=\nNumServers=1\n"
                             "Server\nName=\nNumGroups=\nGroup=\n");
    ExpectConsistent(settings);
    EXPECT_EQ(settings.OutputDir, "");
    EXPECT_EQ(settings.MaxPartAge, 0);
    EXPECT_EQ(settings.BandWidthLimit, 0.0);
    ASSERT_EQ(settings.NumServers, 1);
    EXPECT_EQ(settings.Servers.get(0)->Address, "");
    EXPECT_EQ(settings.Servers.get(0)->NumGroups, 0);
}

} // namespace
