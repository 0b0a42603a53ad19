#include "ui/ServerGroups.h"

#include <algorithm>
#include <mutex>

#include "engine/EngineState.h"

std::vector<std::string> ConfiguredGroupNames(const Settings& settings, const std::string& server) {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    for (long i = 0; i < settings.NumServers; ++i) {
        const ServerEntry* entry = settings.Servers.get(i);
        if (entry && entry->Address == server) {
            std::vector<std::string> names;
            for (long j = 0; j < entry->NumGroups; ++j) {
                if (const GroupEntry* group = entry->Groups.get(j)) {
                    names.push_back(group->Name);
                }
            }
            return names;
        }
    }
    return {};
}

std::optional<std::string> FirstIncludedGroup(const Settings& settings, const std::string& server,
                                              const std::string& names) {
    std::vector<std::string> configured = ConfiguredGroupNames(settings, server);
    size_t start = 0;
    while (start < names.size()) {
        size_t end = std::min(names.find(' ', start), names.size());
        std::string name = names.substr(start, end - start);
        if (!name.empty() && std::find(configured.begin(), configured.end(), name) != configured.end()) {
            return name;
        }
        start = end + 1;
    }
    return std::nullopt;
}
