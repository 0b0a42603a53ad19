#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

// A private INN2 news server for one test fixture: its own directory, 127.0.0.1 on a port chosen at run
// time, stopped (and its directory removed) on destruction.
class InnServer {
  public:
    InnServer() = default;
    ~InnServer();
    InnServer(const InnServer&) = delete;
    InnServer& operator=(const InnServer&) = delete;

    // Starts the server with the given groups; with a user name, reading needs that login. False with
    // Error() set when it cannot start (for instance when inn2 is not installed).
    bool Start(const std::vector<std::string>& groups, const std::string& user = "",
               const std::string& password = "");
    // As Start, for very many groups: the overview in one buffer and a storage that keeps no map of the
    // groups, so even 100,000 groups start in seconds.
    bool StartWithManyGroups(const std::vector<std::string>& groups);
    // Stores one article (headers, blank line, body; LF or CR LF line ends). Articles are numbered in
    // the order they are posted.
    bool Post(const std::string& article);
    bool PostAll(const std::vector<std::string>& articles);
    // Runs ctlinnd with these arguments on this instance.
    bool Control(const std::vector<std::string>& arguments);
    void Stop();

    uint16_t Port() const { return port_; }
    // "127.0.0.1:PORT", as a server address of the configuration.
    std::string Address() const;
    const std::string& Error() const { return error_; }

  private:
    bool StartWith(const std::vector<std::string>& groups, const std::vector<std::string>& options);
    bool Run(const std::string& command, const std::vector<std::string>& arguments);

    TempDir dir_;
    uint16_t port_ = 0;
    bool running_ = false;
    int posted_ = 0;
    std::string error_;
};

// A small article for `group`: the headers the server needs, a Lines header and `body`.
std::string MakeArticle(const std::string& group, const std::string& subject, const std::string& body);
