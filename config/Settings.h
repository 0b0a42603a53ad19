#pragma once

#include <string>

#include "common/OwnedPtrArray.h"

// One news group under a server. A new entry is all zero: empty name, article 0, no minimum, included,
// expanded.
struct GroupEntry {
    static constexpr size_t kMaxName = 255;

    std::string Name;     // at most 255 characters
    long NextArticle = 0; // number of the next article to process
    long MinSizeK = 0;    // compared with an article's line count; 0 = no minimum
    int Skip = 0;         // 1 = downloads pass the group by
    int Collapsed = 0;    // 1 = the tree leaves the group node collapsed
};

// One news server with its groups in tree order.
struct ServerEntry {
    static constexpr size_t kMaxAddress = 255;
    static constexpr size_t kMaxUser = 31;
    static constexpr size_t kMaxPassword = 31;

    OwnedPtrArray<GroupEntry> Groups;
    long NumGroups = 0;
    std::string Address;  // at most 255 characters
    std::string User;     // at most 31 characters; empty = no login
    std::string Password; // at most 31 characters
};

// The user settings without the server list: everything CopySettings carries from one record to another.
struct SettingValues {
    static constexpr size_t kMaxString = 2047;

    std::string OutputDir;
    std::string PartsDir;
    std::string NetscapeDir;
    std::string LogFile;
    std::string FilterFile;
    std::string PostProcessCommand;
    long LineCullAmount = 5;
    long MaxPartAge = 7;
    long MaxDownloadSize = 0;
    int SmallIcons = 0;
    int HeaderCacheSize = 16;
    int ThreadPriority = 0;
    int FilteringEnabled = 0;
    int PartsEnabled = 0;
    int MaxNumParts = 0;
    int PostProcessEnabled = 0;
    int LoggingEnabled = 0;
    int ViewAllFiles = 0;
    int HideOnMin = 0;
    int UnAttendedMode = 0;
    long NumLoops = 0;
    long InterLoopWait = 0;
    double BandWidthLimit = 1000.0;
    double MinFreeSpace = 0.0;
    int MultipartFullStop = 0;
};

// Every user setting, with the servers and their groups. Field names are the configuration file's keys.
// The record owns its servers; destroying it deletes them with their groups.
struct Settings : SettingValues {
    long NumServers = 0;
    OwnedPtrArray<ServerEntry> Servers;
};

// Copies every setting from `from` into `to`; the server list of `to` and its count stay as they are.
inline void CopySettings(Settings& to, const Settings& from) {
    static_cast<SettingValues&>(to) = static_cast<const SettingValues&>(from);
}
