#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The description of one output file of a decoded body. Construction and destruction leave developer traces.
class FileStat {
  public:
    enum Status { kProduced = 0, kNoEncoding = 1, kNoFileName = 2, kNoBytes = 4 };
    enum RepostState { kNotTested = 0, kNewFile = 1, kRepost = 2 };

    FileStat();
    ~FileStat();
    FileStat(const FileStat&) = delete;
    FileStat& operator=(const FileStat&) = delete;

    void reset();

    // Each setter replaces the string; null clears it. setExtension lower-cases A-Z.
    void setName(const char* text);
    void setExtension(const char* text);
    void setFullPath(const char* text);

    // Empty for a cleared string.
    const std::string& getName() const;
    const std::string& getExtension() const;
    const std::string& getFullPath() const;
    bool hasExtension() const { return extension_.has_value(); }

    int32_t status = kProduced;
    uint64_t size = 0;
    int32_t encoding = 3;
    int32_t repost_state = kNotTested;

  private:
    void trace(const char* title) const;

    std::optional<std::string> extension_;
    std::optional<std::string> name_;
    std::optional<std::string> full_path_;
};
