#include "platform/Process.h"
#include "platform/FileSystem.h"
#include "platform/Thread.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Waits up to 10 s for `path` to appear.
bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        if (PathExists(path)) {
            return true;
        }
        SleepMs(10);
    }
    return false;
}

std::vector<std::string> SplitAtNul(const std::string& bytes) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
        parts.push_back(bytes.substr(start, end - start));
    }
    return parts;
}

// Single-quotes `s` for the shell.
std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// A script that records its arguments, NUL-separated, in `args` (written whole, then renamed into place).
std::string WriteRecorder(const TempDir& dir) {
    std::string script = dir.file("record.sh");
    WriteFileBytes(script, "#!/bin/sh\nprintf '%s\\0' \"$@\" > " + Quoted(dir.file("args.tmp")) + " && mv " +
                               Quoted(dir.file("args.tmp")) + " " + Quoted(dir.file("args")) + "\n");
    chmod(script.c_str(), 0755);
    return script;
}

TEST(StartPostProcess, HostileExtensionAndPathArriveVerbatimAndNothingInThemRuns) {
    const struct {
        const char* name;
        std::string extension;
        std::string fileName;
    } cases[] = {
        {"command substitution", "jpg", "$(touch PWNED)"},
        {"backquotes", "jpg", "`touch PWNED`.jpg"},
        {"separators", "jpg", "a; touch PWNED; b && touch PWNED || touch PWNED | cat"},
        {"quotes and blanks", "jpg", "it's a \"quoted\"  name '$(touch PWNED)'"},
        {"newlines and glob", "jpg", "line one\ntouch PWNED\n*"},
        {"redirection and variables", "jpg", "> PWNED $HOME ${IFS} < /dev/null"},
        {"hostile extension", "$(touch PWNED)`touch PWNED`;touch PWNED", "plain.bin"},
        {"leading dash", "?", "-rf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string recorder = WriteRecorder(dir);
        std::string marker = dir.file("PWNED");
        // The marker's full path inside the hostile text, so an injected command would hit this directory.
        auto aimed = [&](std::string text) {
            for (size_t at = 0; (at = text.find("PWNED", at)) != std::string::npos; at += marker.size()) {
                text.replace(at, 5, marker);
            }
            return text;
        };
        std::string extension = aimed(c.extension);
        std::string path = dir.file(aimed(c.fileName));
        ASSERT_TRUE(StartPostProcess(Quoted(recorder), extension, path));
        ASSERT_TRUE(WaitForFile(dir.file("args")));
        EXPECT_EQ(SplitAtNul(ReadFileBytes(dir.file("args"))), (std::vector<std::string>{extension, path}));
        EXPECT_FALSE(PathExists(marker));
    }
}

TEST(StartPostProcess, CommandMayUseShellSyntax) {
    TempDir dir;
    std::string recorder = WriteRecorder(dir);
    std::string command = "cd " + Quoted(dir.str()) + " && EXTRA=1 ./record.sh first";
    ASSERT_TRUE(StartPostProcess(command, "nfo", dir.file("x y.nfo")));
    ASSERT_TRUE(WaitForFile(dir.file("args")));
    EXPECT_EQ(SplitAtNul(ReadFileBytes(dir.file("args"))),
              (std::vector<std::string>{"first", "nfo", dir.file("x y.nfo")}));
}

TEST(StartPostProcess, BlankCommandIsRefused) {
    for (const char* command : {"", "   ", "\t\n"}) {
        EXPECT_FALSE(StartPostProcess(command, "ls", "/"));
    }
}

TEST(StartDetached, RunsInItsOwnSessionWithoutInputAndIsNotOurChild) {
    TempDir dir;
    // Ignored here, which an exec would pass on; the program must get the default back.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    std::string script = "{ readlink /proc/$$/fd/0; cut -d' ' -f6 /proc/$$/stat; "
                         "grep '^SigIgn' /proc/$$/status; } > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"";
    bool started = StartDetached({"/bin/sh", "-c", script, "sh", dir.file("facts")});
    sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_TRUE(started);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "a child of ours was left to reap";
    ASSERT_TRUE(WaitForFile(dir.file("facts")));
    std::string facts = ReadFileBytes(dir.file("facts"));
    size_t firstEnd = facts.find('\n');
    size_t secondEnd = facts.find('\n', firstEnd + 1);
    ASSERT_NE(secondEnd, std::string::npos) << facts;
    EXPECT_EQ(facts.substr(0, firstEnd), "/dev/null");
    EXPECT_NE(std::stol(facts.substr(firstEnd + 1, secondEnd - firstEnd - 1)), static_cast<long>(getsid(0)));
    unsigned long ignored = std::stoul(facts.substr(facts.find(':') + 1), nullptr, 16);
    EXPECT_EQ(ignored & (1ul << (SIGPIPE - 1)), 0u);
}

TEST(StartDetached, ReturnsWithoutWaitingForTheProgram) {
    TempDir dir;
    // The program holds until the test lets it go (at most 10 s), so returning first shows nobody waited.
    std::string script = "i=0; while [ ! -e \"$1/go\" ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done; "
                         "touch \"$1/done\"";
    ASSERT_TRUE(StartDetached({"/bin/sh", "-c", script, "sh", dir.str()}));
    EXPECT_FALSE(PathExists(dir.file("done")));
    WriteFileBytes(dir.file("go"), "");
    EXPECT_TRUE(WaitForFile(dir.file("done")));
}

TEST(StartDetached, ReportsProgramsThatCannotStart) {
    TempDir dir;
    WriteFileBytes(dir.file("not-executable"), "#!/bin/sh\n");
    chmod(dir.file("not-executable").c_str(), 0644);
    const std::vector<std::vector<std::string>> cases = {
        {},          {dir.file("missing")},        {"spindrel-no-such-program-in-path"},
        {dir.str()}, {dir.file("not-executable")},
    };
    for (const auto& argv : cases) {
        SCOPED_TRACE(argv.empty() ? "(empty)" : argv[0]);
        EXPECT_FALSE(StartDetached(argv));
    }
}

TEST(StartDetached, FindsProgramsInPath) {
    TempDir dir;
    ASSERT_TRUE(StartDetached({"touch", dir.file("touched")}));
    EXPECT_TRUE(WaitForFile(dir.file("touched")));
}

} // namespace
