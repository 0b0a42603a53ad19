#include "tests/support/InnServer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/Socket.h"
#include "tests/support/ShellQuote.h"

namespace {

const std::string kScript = std::string(SPINDREL_SOURCE_DIR) + "/tests/support/inn-instance.sh";

uint16_t FreeLoopbackPort() {
    TcpListener probe;
    return probe.Listen("127.0.0.1") ? probe.Port() : 0;
}

} // namespace

InnServer::~InnServer() {
    Stop();
}

std::string InnServer::Address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

bool InnServer::Run(const std::string& command, const std::vector<std::string>& arguments) {
    std::string line = ShellQuote(kScript) + " " + command + " " + ShellQuote(dir_.file("inn"));
    for (const std::string& argument : arguments) {
        line += " " + ShellQuote(argument);
    }
    std::string errors = dir_.file(command + ".err");
    line += " >/dev/null 2>" + ShellQuote(errors);
    int status = std::system(line.c_str());
    if (status != 0) {
        error_ = "inn-instance.sh " + command + " failed: " + ReadFileBytes(errors);
    }
    return status == 0;
}

bool InnServer::Start(const std::vector<std::string>& groups, const std::string& user,
                      const std::string& password) {
    std::vector<std::string> options;
    if (!user.empty()) {
        options = {"--auth", user, password};
    }
    return StartWith(groups, options);
}

bool InnServer::StartWithManyGroups(const std::vector<std::string>& groups) {
    return StartWith(groups, {"--many-groups"});
}

bool InnServer::StartWith(const std::vector<std::string>& groups, const std::vector<std::string>& options) {
    if (!std::filesystem::exists("/usr/lib/news/bin/innd")) {
        error_ = "inn2 is not installed: run scripts/install-deps.sh";
        return false;
    }
    std::filesystem::create_directory(dir_.file("inn"));
    // The names go in a file: a command line holds only some thousands of them.
    std::string groupFile = dir_.file("groups");
    std::string names;
    for (const std::string& group : groups) {
        names += group + "\n";
    }
    if (!WriteFileBytes(groupFile, names)) {
        error_ = "cannot write " + groupFile;
        return false;
    }
    std::vector<std::string> arguments{"", "--group-file", groupFile};
    arguments.insert(arguments.end(), options.begin(), options.end());
    // The port is free when probed but may be taken before innd binds it: try a few.
    for (int attempt = 0; attempt < 3 && !running_; ++attempt) {
        port_ = FreeLoopbackPort();
        arguments[0] = std::to_string(port_);
        running_ = Run("start", arguments);
        if (!running_) {
            Run("stop", {});
            std::filesystem::remove_all(dir_.file("inn"));
            std::filesystem::create_directory(dir_.file("inn"));
        }
    }
    return running_;
}

bool InnServer::Post(const std::string& article) {
    return PostAll({article});
}

bool InnServer::PostAll(const std::vector<std::string>& articles) {
    // One command line holds the names of some hundred files at a time: longer lists go in several calls.
    constexpr size_t kFilesPerCall = 500;
    for (size_t first = 0; first < articles.size(); first += kFilesPerCall) {
        std::vector<std::string> files;
        bool ok = true;
        for (size_t i = first; i < std::min(articles.size(), first + kFilesPerCall) && ok; ++i) {
            files.push_back(dir_.file("article-" + std::to_string(++posted_)));
            ok = WriteFileBytes(files.back(), articles[i]);
            if (!ok) {
                error_ = "cannot write " + files.back();
            }
        }
        ok = ok && Run("post", files);
        for (const std::string& file : files) {
            std::filesystem::remove(file);
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool InnServer::Control(const std::vector<std::string>& arguments) {
    return Run("ctl", arguments);
}

void InnServer::Stop() {
    if (running_) {
        Run("stop", {});
        running_ = false;
    }
}

std::string MakeArticle(const std::string& group, const std::string& subject, const std::string& body) {
    size_t lines = 0;
    for (char c : body) {
        lines += c == '\n';
    }
    return "From: tester@example.com\nNewsgroups: " + group + "\nSubject: " + subject +
           "\nLines: " + std::to_string(lines) + "\n\n" + body;
}
