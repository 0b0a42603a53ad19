#pragma once

#include <string>

// Points the activity log at `path` and switches it on for the life of the object; off and unnamed
// afterwards.
class ActivityLogFile {
  public:
    explicit ActivityLogFile(std::string path);
    ~ActivityLogFile();
    ActivityLogFile(const ActivityLogFile&) = delete;
    ActivityLogFile& operator=(const ActivityLogFile&) = delete;

    const std::string& path() const { return path_; }
    // Everything logged so far.
    std::string Read() const;

  private:
    std::string path_;
};
