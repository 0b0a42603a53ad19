#pragma once

#include <QIcon>
#include <QMimeDatabase>

#include <string>
#include <utility>
#include <vector>

// The icons of file nodes: the icon of the file's type from the freedesktop MIME database and the icon
// theme, cached by upper-cased extension (at most 254 entries, searched in insertion order). A type without
// an icon gets the tree's file image; such extensions are kept in a list of their own, as long.
class FileIcons {
  public:
    static constexpr size_t kMaxEntries = 254;

    QIcon ForName(const std::string& fileName);
    // Loads the MIME database and the icon theme now, so that the first file decoded during a download does
    // not hold up the window while they load.
    void Prepare() const;
    size_t CachedCount() const { return cache_.size(); }

  private:
    QIcon ThemeIcon(const std::string& fileName) const;

    QMimeDatabase types_;
    std::vector<std::pair<std::string, QIcon>> cache_;
    std::vector<std::string> misses_;
};
