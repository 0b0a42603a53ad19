#include "nntp/GroupList.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "nntp/NntpConnection.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

// Group names hold no white space: a name ends at its first blank, tab, CR or other white-space character.
std::string FirstWord(const std::string& line) {
    return line.substr(0, line.find_first_of(" \t\n\v\f\r"));
}

// Reads one line without its line end (LF or CR LF, and any further CRs before it); text after a NUL byte
// does not count. False at the end of the file.
bool ReadTextLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    line.resize(std::min(line.find('\0'), line.size()));
    line.resize(std::min(line.find_last_not_of('\r') + 1, line.size()));
    return true;
}

std::string FilePath(const std::string& directory, const std::string& server) {
    std::string name = GroupListFileName(server);
    return directory.empty() ? name : (std::filesystem::path(directory) / name).string();
}

std::string Printf(const char* format, long value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::set<std::string> ReadGroupListFile(const std::string& path, std::optional<std::string>& date) {
    std::set<std::string> names;
    std::ifstream in(path);
    std::string line;
    if (!in || !ReadTextLine(in, line) || !(date = NewGroupsDate(line.substr(0, 79)))) {
        return names;
    }
    long count = ReadTextLine(in, line) ? std::strtol(line.c_str(), nullptr, 10) : 0;
    for (long i = 0; i < count && ReadTextLine(in, line); ++i) {
        names.insert(Lower(FirstWord(line)));
    }
    return names;
}

bool WriteGroupListFile(const std::string& path, const std::set<std::string>& names) {
    std::string temporary = path + ".tmp";
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    FILE* out = std::fopen(temporary.c_str(), "w");
    if (!out) {
        return false;
    }
    bool ok = std::fprintf(out, "%s\n%zu\n", RefreshLine(local).c_str(), names.size()) > 0;
    for (const std::string& name : names) {
        ok = ok && std::fprintf(out, "%s\n", name.c_str()) > 0;
    }
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::string GroupListFileName(const std::string& server) {
    std::string name = server;
    std::replace(name.begin(), name.end(), '/', '_');
    if (name.empty() || name == "." || name == "..") {
        name = "_" + name;
    }
    return name;
}

std::string RefreshLine(const std::tm& localTime) {
    char text[80];
    size_t length = std::strftime(text, sizeof text, "%b %d %Y/%y%m%d %H%M%S", &localTime);
    return std::string(text, length);
}

std::optional<std::string> NewGroupsDate(const std::string& firstLine) {
    size_t slash = firstLine.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    std::string date = firstLine.substr(slash + 1);
    date.erase(date.find_last_not_of("\r\n") + 1);
    bool shaped = date.size() == 13 && date[6] == ' ';
    for (size_t i = 0; shaped && i < date.size(); ++i) {
        shaped = i == 6 || std::isdigit(static_cast<unsigned char>(date[i]));
    }
    return shaped ? std::optional<std::string>(date) : std::nullopt;
}

std::optional<std::string> TimerLastGroup(const std::string& line) {
    std::string name = FirstWord(line.substr(0, 255));
    bool shown = !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isprint(c) && !std::isspace(c);
    });
    return shown ? std::optional<std::string>(name) : std::nullopt;
}

bool FetchServerGroups(const std::string& server, const std::string& user, const std::string& password,
                       const std::string& directory, GroupFetchReport& report, std::atomic<long>& soFar) {
    auto stillWanted = [] { return GroupListCancel.load() == 0; };
    auto status = [&](const char* text) {
        if (stillWanted()) {
            report.Status(text);
        }
        return stillWanted();
    };
    if (!status("Connecting...")) {
        return false;
    }
    // A server that greets with "not ready" has not been connected to.
    NntpConnection connection(server);
    if (connection.Connect() != 1) {
        report.Warning("Could not connect to server " + server + ".");
    }
    if (connection.Connect() != 1) {
        status("No Connection");
        report.Beep();
        report.Warning("Failed to connect to " + server);
        return false;
    }
    if (!user.empty() && !password.empty() && !connection.Login(user, password)) {
        report.Beep();
        report.Warning("News Server Login failed");
        return false;
    }
    std::string path = FilePath(directory, server);
    std::optional<std::string> date;
    std::set<std::string> names = ReadGroupListFile(path, date);
    if (!status(date ? "Updating Groups..." : "Fetching Groups...")) {
        return false;
    }
    std::vector<std::string> lines;
    long count = connection.FetchGroupList(lines, &soFar, date ? date->c_str() : nullptr);
    if (!status("Sorting Groups...")) {
        return false;
    }
    long shownPercent = -1;
    for (long i = 0; i < count; ++i) {
        std::string name = Lower(FirstWord(lines[i]));
        names.insert(name);
        long percent = (i + 1) * 100 / count;
        if (percent != shownPercent) {
            if (!stillWanted()) {
                return false;
            }
            shownPercent = percent;
            report.SoFar(Printf("%ld %%", percent));
            report.LastGroup(name);
        }
    }
    if (count > 0) {
        if (!status("Writing File...")) {
            return false;
        }
        report.SoFar("0");
        if (!WriteGroupListFile(path, names)) {
            report.Warning("Unable to record group list");
        } else {
            status("Done");
        }
    }
    if (!status("Complete..")) {
        return false;
    }
    report.SoFar("");
    report.LastGroup("");
    return true;
}

bool LoadGroupList(const std::string& server, const std::string& directory, const std::string& filter,
                   const std::vector<std::string>& configuredGroups, const std::atomic<int>& cancel,
                   GroupLoadReport& report) {
    std::ifstream in(FilePath(directory, server));
    std::string line;
    if (!in) {
        return false;
    }
    if (ReadTextLine(in, line)) {
        char month[16] = "";
        int day = 0, year = 0;
        if (std::sscanf(line.c_str(), "%15s %d %d", month, &day, &year) == 3) {
            char refreshed[48];
            std::snprintf(refreshed, sizeof refreshed, "%s %d %d", month, day, year);
            report.Refreshed(refreshed);
        }
    }
    long count = ReadTextLine(in, line) ? std::strtol(line.c_str(), nullptr, 10) : 0;
    report.GroupCount(Printf("%ld", count));
    report.Progress("0%");
    report.LoadingNote(true);
    for (long i = 0; i < count && cancel.load() == 0 && ReadTextLine(in, line); ++i) {
        std::string name = line.substr(0, 1023);
        bool wanted = filter.empty() || name.find(filter) != std::string::npos;
        bool configured =
            std::any_of(configuredGroups.begin(), configuredGroups.end(),
                        [&name](const std::string& group) { return SameIgnoringCase(group, name); });
        if (wanted && !configured) {
            report.AddAvailable(name);
        }
        if (i % 50 == 0) {
            report.Progress(Printf("%ld%%", 100 * i / count));
        }
    }
    if (count == 0) {
        report.AddAvailable("(No Group List Downloaded)");
    }
    report.LoadingNote(false);
    return true;
}
