#pragma once

#include <cstdint>
#include <string>

// What a server said about a selected group. Names are lower case without trailing blanks. When the
// server name has 3 characters or fewer, or the group name 4 or fewer, everything stays empty and zero.
class GroupStatus {
  public:
    GroupStatus(const std::string& serverName, const std::string& groupName, int64_t count, int64_t first,
                int64_t last);

    const std::string& groupName() const { return groupName_; }
    const std::string& serverName() const { return serverName_; }
    int64_t first() const { return first_; }
    int64_t last() const { return last_; }
    int64_t count() const { return count_; }

  private:
    std::string groupName_;
    std::string serverName_;
    int64_t first_ = 0;
    int64_t last_ = 0;
    int64_t count_ = 0;
};
