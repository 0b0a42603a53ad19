#include "parts/IndexRewrite.h"

#include "log/Log.h"
#include "parts/PartsPaths.h"

IndexRewrite::IndexRewrite(const std::string& partsDir)
    : indexPath_(IndexPath(partsDir)), newPath_(NewIndexPath(partsDir)) {
    file_ = fopen(newPath_.c_str(), "w");
}

IndexRewrite::~IndexRewrite() {
    if (file_) {
        fclose(file_);
        std::remove(newPath_.c_str());
    }
}

void IndexRewrite::write(const PartRecord& record) {
    std::string text = FormatRecord(record);
    if (file_ && fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        failed_ = true;
    }
}

bool IndexRewrite::commit() {
    if (!file_) {
        return false;
    }
    bool written = fflush(file_) == 0 && !ferror(file_) && !failed_;
    written = (fclose(file_) == 0) && written;
    file_ = nullptr;
    if (!written) {
        LogMessage("Failed to open \"%s\", out of space?\n", newPath_.c_str());
        std::remove(newPath_.c_str());
        return false;
    }
    if (std::rename(newPath_.c_str(), indexPath_.c_str()) != 0) {
        LogMessage("   Error removing old index");
        std::remove(newPath_.c_str());
        return false;
    }
    return true;
}
