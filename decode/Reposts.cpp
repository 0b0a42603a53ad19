#include "decode/Reposts.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <new>
#include <string_view>

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Two items are the same file exactly when their keys are equal.
std::string SameFileKey(const Item& item) {
    std::string key;
    key.reserve(item.name.size() + 24);
    for (char c : item.name) {
        key += AsciiLower(c);
    }
    key += '\0';
    key += std::to_string(item.size / 1024);
    return key;
}

// "%d%b%Y" with English month names whatever the process locale is.
std::string TodayText() {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) {
        return "01Jan1970";
    }
    char text[32];
    snprintf(text, sizeof text, "%02d%s%04d", local.tm_mday, kMonths[local.tm_mon % 12],
             local.tm_year + 1900);
    return text;
}

} // namespace

Item::Item(uint64_t size, const std::string& name) : size(size) {
    try {
        this->name = name;
    } catch (const std::bad_alloc&) {
        printf("Item::Item(unsigned long,char*) - new[%zu] failed\n", name.size() + 1);
        fflush(stdout);
        exit(2);
    }
}

bool SameFile(const Item& a, const Item& b) {
    if (a.size / 1024 != b.size / 1024 || a.name.size() != b.name.size()) {
        return false;
    }
    for (size_t i = 0; i < a.name.size(); ++i) {
        if (AsciiLower(a.name[i]) != AsciiLower(b.name[i])) {
            return false;
        }
    }
    return true;
}

void RepostList::add(std::unique_ptr<Item> item) {
    keys_.insert(SameFileKey(*item));
    items.set(count++, std::move(item));
}

bool RepostList::contains(const Item& item) const {
    return keys_.count(SameFileKey(item)) != 0;
}

void LoadReposts(RepostList& list, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        // A line ends at its first carriage return, and text after a NUL byte does not count.
        size_t cut = line.find_first_of(std::string_view("\r\0", 2));
        if (cut != std::string::npos) {
            line.resize(cut);
        }
        if (line.size() < 4) {
            continue;
        }
        size_t first = line.find(' ');
        size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        uint64_t size = strtoull(line.c_str(), nullptr, 10);
        list.add(std::make_unique<Item>(size, line.substr(second + 1)));
    }
}

bool FindRepost(const RepostList& list, const Item& item) {
    return list.contains(item);
}

void AppendRepost(const Item& item, const std::string& file) {
    FILE* out = fopen(file.c_str(), "a");
    if (!out) {
        return;
    }
    fprintf(out, "%" PRIu64 " %s %s\n", item.size, TodayText().c_str(), item.name.c_str());
    fclose(out);
}
