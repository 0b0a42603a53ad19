#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// Replaces a file as a whole. The new content goes to a temporary file beside the target, reaches the disk
// and is renamed over the target on commit, so a reader sees the old file or the complete new one, never a
// mixture or a truncated file. Whatever fails, the target stays as it was and the temporary file is removed.
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file for `path` with exactly `mode` (the umask does not apply). False when the
    // directory cannot take it.
    bool open(const std::string& path, mode_t mode);
    // Appends `bytes`. After a failed write the file is discarded and commit fails.
    bool write(std::string_view bytes);
    // Flushes the file to disk and renames it over the target. False when any step fails.
    bool commit();

  private:
    void discard();

    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

// Replaces `path` with `bytes` through an AtomicFile. False when the old file had to stay.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);
