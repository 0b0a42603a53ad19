#pragma once

#include <memory>
#include <string_view>

#include "config/Settings.h"

// Editing the server list of a Settings record and the group list of a server. Operations that can be refused
// return 1 on success and 0 when refused, leaving the lists unchanged. Counts (NumServers, NumGroups) are
// kept in step with the lists.

// Deletes every server with its groups.
void ClearServers(Settings& settings);
// Appends `entry`; a null entry is refused.
int AddServer(Settings& settings, std::unique_ptr<ServerEntry> entry);
// Deletes the server at `index` and moves the later ones down.
int RemoveServer(Settings& settings, long index);
// Swaps the server at `index` with the one before it.
int MoveServerUp(Settings& settings, long index);
// Swaps the server at `index` with the one after it.
int MoveServerDown(Settings& settings, long index);

// Splits `text` at its first and second comma into address, user and password (a missing part is empty; the
// password keeps any further commas) and stores them cut to 255, 31 and 31 characters.
void SetServerLogin(ServerEntry& entry, std::string_view text);
// Store the user name or the password. A null text, or one longer than 31 characters, is refused rather than
// cut, so the record never holds credentials the user did not enter.
int SetServerUser(ServerEntry& entry, const char* text);
int SetServerPassword(ServerEntry& entry, const char* text);

// The group at `index`, or null when there is none.
GroupEntry* GetGroup(ServerEntry& entry, long index);
// Appends `group`; a null group is refused.
int AppendGroup(ServerEntry& entry, std::unique_ptr<GroupEntry> group);
// Deletes the group at `index` and moves the later ones down.
int RemoveGroup(ServerEntry& entry, long index);
// Swaps the group at `index` with the one before it.
int MoveGroupUp(ServerEntry& entry, long index);
// Swaps the group at `index` with the one after it.
int MoveGroupDown(ServerEntry& entry, long index);
