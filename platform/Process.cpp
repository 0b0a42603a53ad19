#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void ReportError(int errorPipe, int error) {
    [[maybe_unused]] ssize_t written = write(errorPipe, &error, sizeof error);
}

// Runs in the forked grandchild, so only async-signal-safe calls until exec. The started program gets default
// signal handling and none of this process's descriptors beyond the three standard ones.
[[noreturn]] void ExecProgram(char* const* argv, int devNull, int errorPipe) {
    dup2(devNull, STDIN_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execvp(argv[0], argv);
    ReportError(errorPipe, errno);
    _exit(127);
}

} // namespace

bool StartDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return false;
    }
    // Everything the children need is prepared here: after fork they may not allocate.
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0) {
        return false;
    }
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        close(devNull);
        return false;
    }
    // The middle child starts a new session, forks the program and exits at once; the program is then
    // nobody's child here, so init reaps it and this process never waits for it.
    pid_t middle = fork();
    if (middle == 0) {
        setsid();
        pid_t program = fork();
        if (program == 0) {
            ExecProgram(args.data(), devNull, errorPipe[1]);
        }
        if (program < 0) {
            ReportError(errorPipe[1], errno);
        }
        _exit(0);
    }
    close(devNull);
    close(errorPipe[1]);
    bool started = false;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        // End of file without an error number: the program's exec closed the pipe.
        int error = 0;
        ssize_t got;
        while ((got = read(errorPipe[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        started = got == 0;
    }
    close(errorPipe[0]);
    return started;
}

bool StartPostProcess(const std::string& command, const std::string& extension, const std::string& path) {
    // An empty command would make the shell run the extension itself.
    if (command.find_first_not_of(" \t\r\n") == std::string::npos) {
        return false;
    }
    return StartDetached({"/bin/sh", "-c", command + " \"$@\"", "sh", extension, path});
}
