#include "nntp/GroupStatus.h"

#include <algorithm>
#include <cctype>

namespace {

std::string LowerTrimmed(const std::string& text) {
    std::string result = text.substr(0, text.find_last_not_of(' ') + 1);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

} // namespace

GroupStatus::GroupStatus(const std::string& serverName, const std::string& groupName, int64_t count,
                         int64_t first, int64_t last) {
    std::string server = LowerTrimmed(serverName);
    std::string group = LowerTrimmed(groupName);
    if (server.size() <= 3 || group.size() <= 4) {
        return;
    }
    serverName_ = server;
    groupName_ = group;
    count_ = count;
    first_ = first;
    last_ = last;
}
