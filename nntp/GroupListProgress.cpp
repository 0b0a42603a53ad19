#include "nntp/GroupListProgress.h"

void GroupListProgress::Stored(long count, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ = count;
    lastLine_ = line;
}

long GroupListProgress::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

std::string GroupListProgress::LastLine() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastLine_;
}
