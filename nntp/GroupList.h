#pragma once

#include <atomic>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The per-server group-list file and the two jobs around it: fetching the server's groups into the file
// and loading the file for the group selection. Windows only display what these report.

// What the fetch tells the "Groups on Server" window.
class GroupFetchReport {
  public:
    virtual ~GroupFetchReport() = default;
    virtual void Status(const std::string& text) = 0;
    virtual void SoFar(const std::string& text) = 0;
    virtual void LastGroup(const std::string& text) = 0;
    // A system-modal warning titled "Spindrel".
    virtual void Warning(const std::string& text) = 0;
    virtual void Beep() = 0;
};

// What the loader tells the group selection dialog.
class GroupLoadReport {
  public:
    virtual ~GroupLoadReport() = default;
    virtual void Refreshed(const std::string& text) = 0;
    virtual void GroupCount(const std::string& text) = 0;
    virtual void Progress(const std::string& text) = 0;
    virtual void LoadingNote(bool shown) = 0;
    virtual void AddAvailable(const std::string& name) = 0;
};

// The file's name: the server's address as configured, made safe as one file name in the current directory
// ("/" becomes "_"; ".", ".." and an empty name get a leading "_").
std::string GroupListFileName(const std::string& server);

// Line 1 of the file: "%b %d %Y/%y%m%d %H%M%S" of the given local time, without the line end.
std::string RefreshLine(const std::tm& localTime);

// The "newgroups" date of a line 1 (the part after "/"), when it is one: six digits, a blank, six digits.
std::optional<std::string> NewGroupsDate(const std::string& firstLine);

// The names a group-list file holds (lower case, first words of its lines), when its line 1 has a usable
// date; the date goes to `date`.
std::set<std::string> ReadGroupListFile(const std::string& path, std::optional<std::string>& date);

// Replaces the file as a whole with the current local time, the count and the names, so a failed write never
// leaves half a list behind. False when it could not be written.
bool WriteGroupListFile(const std::string& path, const std::set<std::string>& names);

// What the progress timer shows as "Last Group:" for the newest stored list line, if anything.
std::optional<std::string> TimerLastGroup(const std::string& line);

// Fetches the groups of `server` into its file in `directory` (the current directory when empty):
// "newgroups" since the file's date, or the whole "list" without a usable file; merged, lower case,
// sorted, without duplicates. `soFar` follows the number of list lines stored. Stops early when
// GroupListCancel is set. True when the fetch ran to its end.
bool FetchServerGroups(const std::string& server, const std::string& user, const std::string& password,
                       const std::string& directory, GroupFetchReport& report, std::atomic<long>& soFar);

// Fills the available list from the file of `server`: names containing `filter` (case-sensitive; empty
// means all), without the groups already configured (case-insensitive). Stops when `cancel` is set.
// False when there is no file to read.
bool LoadGroupList(const std::string& server, const std::string& directory, const std::string& filter,
                   const std::vector<std::string>& configuredGroups, const std::atomic<int>& cancel,
                   GroupLoadReport& report);
