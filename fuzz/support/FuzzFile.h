#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The readers under test read files by name: each input is written to one file in a private directory that
// lives as long as the object.
class FuzzFile {
  public:
    explicit FuzzFile(const char* name);
    ~FuzzFile();
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;
    // Replaces the file's contents with the input; returns its path.
    const std::string& Write(const uint8_t* data, size_t size);
    const std::string& path() const { return path_; }
    const std::string& directory() const { return directory_; }

  private:
    std::string directory_;
    std::string path_;
};

// Stops the fuzzer with a message when a property of the reader does not hold.
void FuzzCheck(bool condition, const char* what);
