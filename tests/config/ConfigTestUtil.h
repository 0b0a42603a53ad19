#pragma once

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/ServerList.h"
#include "config/Settings.h"

inline std::unique_ptr<GroupEntry> MakeGroup(const std::string& name, long next, long minSizeK, int collapsed,
                                             int skip) {
    auto group = std::make_unique<GroupEntry>();
    group->Name = name;
    group->NextArticle = next;
    group->MinSizeK = minSizeK;
    group->Collapsed = collapsed;
    group->Skip = skip;
    return group;
}

inline std::unique_ptr<ServerEntry> MakeServer(const std::string& address, const std::string& user = "",
                                               const std::string& password = "") {
    auto server = std::make_unique<ServerEntry>();
    server->Address = address;
    server->User = user;
    server->Password = password;
    return server;
}

// Sets every setting to a value other than its default; directories already end in "/" as loading leaves
// them.
inline void FillAllSettings(Settings& s) {
    s.OutputDir = "/srv/news/out/";
    s.PartsDir = "/srv/news/parts dir/";
    s.NetscapeDir = "/home/u/.ns/";
    s.LogFile = "";
    s.FilterFile = "/home/u/filters.flt";
    s.PostProcessCommand = "chmod a=r";
    s.LineCullAmount = 12;
    s.MaxPartAge = 30;
    s.MaxDownloadSize = 5000000000;
    s.SmallIcons = 1;
    s.HeaderCacheSize = 64;
    s.ThreadPriority = -15;
    s.FilteringEnabled = 1;
    s.PartsEnabled = 1;
    s.MaxNumParts = 250;
    s.PostProcessEnabled = 1;
    s.LoggingEnabled = 1;
    s.ViewAllFiles = 1;
    s.HideOnMin = 1;
    s.UnAttendedMode = 1;
    s.NumLoops = -3;
    s.InterLoopWait = 3600;
    s.BandWidthLimit = 12345.5;
    s.MinFreeSpace = 0.25;
    s.MultipartFullStop = 2;
}

// Every field of the record, its servers and groups, one per line, so that two records compare as text.
inline std::string Describe(const Settings& s) {
    std::ostringstream out;
    out.precision(17);
    out << "OutputDir=" << s.OutputDir << "\nPartsDir=" << s.PartsDir << "\nNetscapeDir=" << s.NetscapeDir
        << "\nLogFile=" << s.LogFile << "\nFilterFile=" << s.FilterFile
        << "\nPostProcessCommand=" << s.PostProcessCommand << "\nLineCullAmount=" << s.LineCullAmount
        << "\nMaxPartAge=" << s.MaxPartAge << "\nMaxDownloadSize=" << s.MaxDownloadSize
        << "\nSmallIcons=" << s.SmallIcons << "\nHeaderCacheSize=" << s.HeaderCacheSize
        << "\nThreadPriority=" << s.ThreadPriority << "\nFilteringEnabled=" << s.FilteringEnabled
        << "\nPartsEnabled=" << s.PartsEnabled << "\nMaxNumParts=" << s.MaxNumParts
        << "\nPostProcessEnabled=" << s.PostProcessEnabled << "\nLoggingEnabled=" << s.LoggingEnabled
        << "\nViewAllFiles=" << s.ViewAllFiles << "\nHideOnMin=" << s.HideOnMin
        << "\nUnAttendedMode=" << s.UnAttendedMode << "\nNumLoops=" << s.NumLoops
        << "\nInterLoopWait=" << s.InterLoopWait << "\nBandWidthLimit=" << s.BandWidthLimit
        << "\nMinFreeSpace=" << s.MinFreeSpace << "\nMultipartFullStop=" << s.MultipartFullStop
        << "\nNumServers=" << s.NumServers << "\n";
    for (long i = 0; i < s.NumServers; ++i) {
        const ServerEntry* server = s.Servers.get(static_cast<uint32_t>(i));
        if (!server) {
            out << "missing server " << i << "\n";
            continue;
        }
        out << "server " << server->Address << "|" << server->User << "|" << server->Password << " groups "
            << server->NumGroups << "\n";
        for (long g = 0; g < server->NumGroups; ++g) {
            const GroupEntry* group = server->Groups.get(static_cast<uint32_t>(g));
            if (!group) {
                out << "  missing group " << g << "\n";
                continue;
            }
            out << "  group " << group->Name << " " << group->NextArticle << " " << group->MinSizeK << " "
                << group->Collapsed << " " << group->Skip << "\n";
        }
    }
    return out.str();
}

// Names of the entries of a directory, to spot temporary files left behind.
inline std::vector<std::string> DirectoryEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}
