#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/ServerList.h"
#include "engine/Download.h"
#include "engine/EngineState.h"
#include "log/Log.h"
#include "tests/engine/EngineTestHost.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/YEncPost.h"

// Output of a command run through the shell; the tests use it for real encoders.
inline std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        pclose(pipe);
    }
    return out;
}

inline std::string PatternBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

inline size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

// An article with its own Lines value.
inline std::string ArticleWithLines(const std::string& group, const std::string& subject,
                                    const std::string& body, long lines,
                                    const std::string& from = "poster@example.com") {
    return "From: " + from + "\nNewsgroups: " + group + "\nSubject: " + subject +
           "\nLines: " + std::to_string(lines) + "\n\n" + body;
}

inline std::string Article(const std::string& group, const std::string& subject, const std::string& body,
                           const std::string& from = "poster@example.com") {
    return ArticleWithLines(group, subject, body, static_cast<long>(CountLines(body)), from);
}

// The articles of a yEnc post made by python3-yenc, element i being part i + 1, with subjects as posting
// tools write them: `prefix` "name" yEnc (03/15), or (1/1) for a single part.
inline std::vector<std::string> YEncArticles(const std::string& group, const std::string& bytes,
                                             const std::string& name, int parts, int line = 128,
                                             const std::string& prefix = "") {
    std::vector<std::string> articles;
    std::vector<std::string> bodies = YEncPost(bytes, name, parts, line);
    for (int part = 1; part <= static_cast<int>(bodies.size()); ++part) {
        char counter[32];
        snprintf(counter, sizeof counter, parts == 1 ? "(%d/%d)" : "(%02d/%02d)", part, parts);
        articles.push_back(Article(group, prefix + "\"" + name + "\" yEnc " + counter, bodies[part - 1]));
    }
    return articles;
}

// A download run in a directory of its own: the working directory (where "decodes", "lastgroup" and the
// configuration file land), the output directory and the parts directory.
class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        std::filesystem::create_directory(dir_.file("out"));
        settings_.OutputDir = dir_.str() + "/out/";
        settings_.PartsDir = dir_.str() + "/";
        settings_.BandWidthLimit = 0;
        settings_.LogFile = log_.path();
        SetEngineTimeScale(0.01);
    }

    void TearDown() override {
        SetEngineTimeScale(1.0);
        std::filesystem::current_path(previousDir_);
    }

    // Encodes `bytes` as the file `name` with sharutils' uuencode.
    std::string UUEncode(const std::string& bytes, const std::string& name) {
        std::string source = dir_.file("uu-source");
        WriteFileBytes(source, bytes);
        return CommandOutput("uuencode '" + source + "' '" + name + "'");
    }

    GroupEntry& AddGroup(ServerEntry& server, const std::string& name, long nextArticle = 0) {
        auto group = std::make_unique<GroupEntry>();
        group->Name = name;
        group->NextArticle = nextArticle;
        GroupEntry& added = *group;
        AppendGroup(server, std::move(group));
        return added;
    }

    ServerEntry& AddServerAt(const std::string& address, const std::string& user = "",
                             const std::string& password = "") {
        auto server = std::make_unique<ServerEntry>();
        server->Address = address;
        server->User = user;
        server->Password = password;
        ServerEntry& added = *server;
        AddServer(settings_, std::move(server));
        return added;
    }

    // Runs one download to its end, as Start would; false when it did not end within the bound.
    bool RunDownload(EngineTestHost& host, FreeSpaceProbe freeSpace = {}) {
        if (!StartDownload(host, settings_, std::move(freeSpace))) {
            return false;
        }
        bool ended = host.WaitForEnd(std::chrono::seconds(120));
        if (!ended) {
            StopDownload();
        }
        JoinDownload();
        return ended;
    }

    std::string Log() const { return log_.Read(); }
    bool Logged(const std::string& line) const {
        std::string log = "\n" + Log();
        return log.find("\n" + line + "\n") != std::string::npos;
    }
    size_t CountLogged(const std::string& line) const {
        std::string log = "\n" + Log();
        size_t count = 0;
        for (size_t at = log.find("\n" + line + "\n"); at != std::string::npos;
             at = log.find("\n" + line + "\n", at + 1)) {
            ++count;
        }
        return count;
    }
    std::string OutputFile(const std::string& group, const std::string& name) const {
        return dir_.str() + "/out/" + group + "/" + name;
    }

    TempDir dir_;
    ActivityLogFile log_{dir_.file("activity.log")};
    Settings settings_;
    std::filesystem::path previousDir_;
};
