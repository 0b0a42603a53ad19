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

std::vector<std::string> GroupNamesIn(const std::string& text) {
    constexpr const char* kSeparators = " \t\n\v\f\r,";
    std::vector<std::string> names;
    for (size_t start = text.find_first_not_of(kSeparators); start != std::string::npos;) {
        size_t end = std::min(text.find_first_of(kSeparators, start), text.size());
        size_t length = end - start;
        if (length > GroupEntry::kMaxName) { // cut, but not inside a character
            length = GroupEntry::kMaxName;
            while (length > 0 && (static_cast<unsigned char>(text[start + length]) & 0xC0) == 0x80) {
                --length;
            }
        }
        std::string name = text.substr(start, length);
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
        start = text.find_first_not_of(kSeparators, end);
    }
    return names;
}

std::optional<std::string> FirstIncludedGroup(const Settings& settings, const std::string& server,
                                              const std::string& names) {
    std::vector<std::string> configured = ConfiguredGroupNames(settings, server);
    for (const std::string& name : GroupNamesIn(names)) {
        if (std::find(configured.begin(), configured.end(), name) != configured.end()) {
            return name;
        }
    }
    return std::nullopt;
}
