#pragma once

#include <string>
#include <sys/types.h>

// A file that lines are appended to, kept open between writes. Before each write the path is looked at again:
// when the file was removed, renamed or replaced (a rotated log), the next write creates the file anew, so
// the text always lands in the file the path names, as it would if the file were opened for every write.
class AppendFile {
  public:
    AppendFile() = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile() { Close(); }

    // Appends `text` to the file at `path` (created if missing). False when it cannot be opened or written.
    bool Append(const std::string& path, const char* text, size_t count);
    void Close();

  private:
    bool StillNamed(const std::string& path) const;

    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
