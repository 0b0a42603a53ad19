#pragma once

#include <cstdio>
#include <string>

// A decoded file written under a hidden name beside the one it is meant to have (".name.partial"), which it
// takes only once it is whole: a run cut short at any moment leaves no partial file that looks decoded.
class PendingOutput {
  public:
    explicit PendingOutput(std::string path);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Null when the hidden file cannot be created.
    FILE* stream() const { return file_; }
    const std::string& hiddenPath() const { return hidden_; }
    // Closes the file and gives it its name. False, with nothing left behind, when writing or the move
    // failed.
    bool publish();

  private:
    std::string path_;
    std::string hidden_;
    FILE* file_ = nullptr;
};

// Whether the two files hold the same bytes.
bool SameContent(const std::string& a, const std::string& b);
