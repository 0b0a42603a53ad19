#pragma once

#include <filesystem>
#include <string>

// A fresh directory under the system's temporary directory, removed with everything in it on destruction.
// It is world-traversable so that helper daemons running as another user (the news server) can reach it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    // Path of `name` inside the directory.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Reads a whole file into a string; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Reads the activity log once every line logged so far has reached it.
std::string ReadLogFile(const std::string& path);
// Writes `bytes` to `path`, replacing it; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
