#include "nntp/HeaderCacheEntry.h"

#include <algorithm>
#include <cstring>

void HeaderCacheEntry::assign(int64_t article, const char* bytes, size_t count) {
    article_ = article;
    if (count == 0) {
        data_.fill(0);
        length_ = 0;
        return;
    }
    length_ = std::min(count, kDataSize);
    std::memcpy(data_.data(), bytes, length_);
}

void HeaderCacheEntry::assignNumber(int64_t article, int64_t value) {
    assign(article, reinterpret_cast<const char*>(&value), sizeof value);
}

void HeaderCacheEntry::assignText(int64_t article, const std::string& text) {
    std::string stored = text.substr(0, kDataSize - 1);
    assign(article, stored.c_str(), stored.size() + 1);
}

int64_t HeaderCacheEntry::number() const {
    int64_t value = 0;
    if (length_ >= sizeof value) {
        std::memcpy(&value, data_.data(), sizeof value);
    }
    return value;
}

std::string HeaderCacheEntry::text() const {
    return length_ == 0 ? std::string() : std::string(data_.data(), strnlen(data_.data(), length_));
}
