#pragma once

#include <mutex>
#include <string>

// How far a running group-list fetch has come: the number of list lines stored and the newest of them.
// The fetch thread writes it line by line; the progress window's timer reads it.
class GroupListProgress {
  public:
    void Stored(long count, const std::string& line);
    long Count() const;
    std::string LastLine() const;

  private:
    mutable std::mutex mutex_;
    long count_ = 0;
    std::string lastLine_;
};
