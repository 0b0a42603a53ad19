#include "config/ServerList.h"
#include "config/ConfigLineReader.h"

#include <cstring>

// Servers and groups are both lists of owned entries with a count beside them; these work on either.
namespace {

template <typename T> int Append(OwnedPtrArray<T>& list, long& count, std::unique_ptr<T> element) {
    if (!element) {
        return 0;
    }
    list.set(static_cast<uint32_t>(count), std::move(element));
    ++count;
    return 1;
}

template <typename T> int Remove(OwnedPtrArray<T>& list, long& count, long index) {
    if (index < 0 || index >= count) {
        return 0;
    }
    for (long i = index; i + 1 < count; ++i) {
        list.swap(static_cast<uint32_t>(i), static_cast<uint32_t>(i + 1));
    }
    --count;
    list.take(static_cast<uint32_t>(count));
    return 1;
}

// Swaps the elements at `index` and `index + 1` when both exist.
template <typename T> int SwapWithNext(OwnedPtrArray<T>& list, long count, long index) {
    if (index < 0 || index >= count - 1) {
        return 0;
    }
    list.swap(static_cast<uint32_t>(index), static_cast<uint32_t>(index + 1));
    return 1;
}

int SetLimited(std::string& field, const char* text, size_t limit) {
    if (!text || std::strlen(text) > limit) {
        return 0;
    }
    field = text;
    return 1;
}

} // namespace

void ClearServers(Settings& settings) {
    settings.Servers.clear();
    settings.NumServers = 0;
}

int AddServer(Settings& settings, std::unique_ptr<ServerEntry> entry) {
    return Append(settings.Servers, settings.NumServers, std::move(entry));
}

int RemoveServer(Settings& settings, long index) {
    return Remove(settings.Servers, settings.NumServers, index);
}

int MoveServerUp(Settings& settings, long index) {
    return index >= 1 ? SwapWithNext(settings.Servers, settings.NumServers, index - 1) : 0;
}

int MoveServerDown(Settings& settings, long index) {
    return SwapWithNext(settings.Servers, settings.NumServers, index);
}

void SetServerLogin(ServerEntry& entry, std::string_view text) {
    size_t first = text.find(',');
    std::string_view address = text.substr(0, first);
    std::string_view user;
    std::string_view password;
    if (first != std::string_view::npos) {
        std::string_view rest = text.substr(first + 1);
        size_t second = rest.find(',');
        user = rest.substr(0, second);
        if (second != std::string_view::npos) {
            password = rest.substr(second + 1);
        }
    }
    entry.Address = address.substr(0, ServerEntry::kMaxAddress);
    entry.User = user.substr(0, ServerEntry::kMaxUser);
    entry.Password = CutLineEndValue(password, ServerEntry::kMaxPassword);
}

int SetServerUser(ServerEntry& entry, const char* text) {
    return SetLimited(entry.User, text, ServerEntry::kMaxUser);
}

int SetServerPassword(ServerEntry& entry, const char* text) {
    return SetLimited(entry.Password, text, ServerEntry::kMaxPassword);
}

GroupEntry* GetGroup(ServerEntry& entry, long index) {
    if (index < 0 || index >= entry.NumGroups) {
        return nullptr;
    }
    return &entry.Groups[static_cast<uint32_t>(index)];
}

int AppendGroup(ServerEntry& entry, std::unique_ptr<GroupEntry> group) {
    return Append(entry.Groups, entry.NumGroups, std::move(group));
}

int RemoveGroup(ServerEntry& entry, long index) {
    return Remove(entry.Groups, entry.NumGroups, index);
}

int MoveGroupUp(ServerEntry& entry, long index) {
    return index >= 1 ? SwapWithNext(entry.Groups, entry.NumGroups, index - 1) : 0;
}

int MoveGroupDown(ServerEntry& entry, long index) {
    return SwapWithNext(entry.Groups, entry.NumGroups, index);
}
