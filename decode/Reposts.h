#pragma once

#include "common/OwnedPtrArray.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

// One file decoded at some time: its size and its name as it stood in the post.
class Item {
  public:
    Item() = default;
    Item(uint64_t size, const std::string& name);

    uint64_t size = 0;
    std::string name;
};

// Same name ignoring the case of A-Z, and the same size in whole KiB.
bool SameFile(const Item& a, const Item& b);

// Every file decoded so far, in load order followed by the order of registration. A hash of the same-file key
// stands beside the list so that a look-up does not scan every entry.
class RepostList {
  public:
    RepostList() : items(4) {}

    void add(std::unique_ptr<Item> item);
    bool contains(const Item& item) const;

    OwnedPtrArray<Item> items;
    uint32_t count = 0;

  private:
    std::unordered_set<std::string> keys_;
};

// The record of decoded files in the current directory.
inline constexpr const char* kDecodesFile = "decodes";

void LoadReposts(RepostList& list, const std::string& file = kDecodesFile);
bool FindRepost(const RepostList& list, const Item& item);
void AppendRepost(const Item& item, const std::string& file = kDecodesFile);
