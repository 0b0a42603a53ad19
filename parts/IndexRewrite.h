#pragma once

#include <cstdio>
#include <string>

#include "parts/PartRecord.h"

// A new parts index written beside the old one as "index.new" and moved over "index" in one step, so there is
// never a moment without a whole index. Dropped without commit, it leaves the old index untouched.
class IndexRewrite {
  public:
    explicit IndexRewrite(const std::string& partsDir);
    ~IndexRewrite();
    IndexRewrite(const IndexRewrite&) = delete;
    IndexRewrite& operator=(const IndexRewrite&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    void write(const PartRecord& record);
    // Finishes the file and moves it over the index. False, logged and with the old index kept, when the new
    // index could not be written in full (a full disk) or moved.
    bool commit();

  private:
    std::string indexPath_;
    std::string newPath_;
    FILE* file_ = nullptr;
    bool failed_ = false;
};
