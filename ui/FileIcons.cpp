#include "ui/FileIcons.h"

#include <QFile>

#include <algorithm>

#include "ui/GroupFiles.h"
#include "ui/Icons.h"

namespace {

// The cache key: the upper-cased extension with its dot, or the whole upper-cased name.
std::string CacheKey(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    return FileNodeText(dot == std::string::npos ? fileName : fileName.substr(dot));
}

} // namespace

QIcon FileIcons::ForName(const std::string& fileName) {
    std::string key = CacheKey(fileName);
    for (const auto& [cachedKey, icon] : cache_) {
        if (cachedKey == key) {
            return icon;
        }
    }
    if (std::find(misses_.begin(), misses_.end(), key) != misses_.end()) {
        return TreeImage(FileImage);
    }
    QIcon icon = ThemeIcon(fileName);
    if (icon.isNull()) {
        // Remembered apart, so thousands of such files cost one look-up, not one each.
        if (misses_.size() < kMaxEntries) {
            misses_.push_back(std::move(key));
        }
        return TreeImage(FileImage);
    }
    // Past the limit icons are still found, just not kept.
    if (cache_.size() < kMaxEntries) {
        cache_.emplace_back(std::move(key), icon);
    }
    return icon;
}

void FileIcons::Prepare() const {
    ThemeIcon("file.bin");
}

QIcon FileIcons::ThemeIcon(const std::string& fileName) const {
    QMimeType type = types_.mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(fileName)),
                                            QMimeDatabase::MatchExtension);
    for (const QString& name : {type.iconName(), type.genericIconName()}) {
        if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        }
    }
    return {};
}
