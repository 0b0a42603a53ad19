#include "config/ConfigFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

#include "config/ConfigLineReader.h"
#include "config/ServerList.h"
#include "log/Log.h"
#include "platform/AtomicFile.h"

namespace {

constexpr std::string_view kHeader = "#\n# Abandon all hope, Ye who edit here\n#\n\n";
constexpr std::string_view kSectionName = "Config";
constexpr std::string_view kServerLine = "Server";
constexpr std::string_view kIndent = "    ";
constexpr size_t kMaxValue = 512;
constexpr mode_t kFileMode = 0600;

using Field = std::variant<std::string Settings::*, long Settings::*, int Settings::*, double Settings::*>;

struct Key {
    std::string_view name;
    Field field;
};

// The keys of the Config section in the order they are written.
const Key kKeys[] = {
    {"OutputDir", &Settings::OutputDir},
    {"PartsDir", &Settings::PartsDir},
    {"NetscapeDir", &Settings::NetscapeDir},
    {"FilterFile", &Settings::FilterFile},
    {"LogFile", &Settings::LogFile},
    {"PostProcessCommand", &Settings::PostProcessCommand},
    {"MaxDownloadSize", &Settings::MaxDownloadSize},
    {"MaxPartAge", &Settings::MaxPartAge},
    {"LineCullAmount", &Settings::LineCullAmount},
    {"SmallIcons", &Settings::SmallIcons},
    {"HeaderCacheSize", &Settings::HeaderCacheSize},
    {"ThreadPriority", &Settings::ThreadPriority},
    {"FilteringEnabled", &Settings::FilteringEnabled},
    {"PartsEnabled", &Settings::PartsEnabled},
    {"MaxNumParts", &Settings::MaxNumParts},
    {"PostProcessEnabled", &Settings::PostProcessEnabled},
    {"LoggingEnabled", &Settings::LoggingEnabled},
    {"ViewAllFiles", &Settings::ViewAllFiles},
    {"HideOnMin", &Settings::HideOnMin},
    {"UnAttendedMode", &Settings::UnAttendedMode},
    {"NumLoops", &Settings::NumLoops},
    {"InterLoopWait", &Settings::InterLoopWait},
    {"BandWidthLimit", &Settings::BandWidthLimit},
    {"MinFreeSpace", &Settings::MinFreeSpace},
    {"MultipartFullStop", &Settings::MultipartFullStop},
    {"NumServers", &Settings::NumServers},
};

// One save at a time, so the file always holds the record of the save that finished last.
std::mutex saveMutex;

// ---- writing ----

// The part of a text that reads back as written: up to its first line end or NUL and at most `limit`
// characters. Longer texts could not be read back whole, and a line end would break the file's structure.
std::string_view FileText(std::string_view text, size_t limit) {
    return text.substr(0, std::min(text.find_first_of(std::string_view("\n\0", 2)), limit));
}

void AppendNumber(std::string& out, const char* format, auto value) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    out.append(buffer, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

void AppendValue(std::string& out, const std::string& value) {
    out += FileText(value, kMaxValue);
}
void AppendValue(std::string& out, long value) {
    AppendNumber(out, "%ld", value);
}
void AppendValue(std::string& out, int value) {
    AppendNumber(out, "%d", value);
}
// Six decimals as "%lf" gives them, but always with a decimal point, whatever locale the program runs in.
void AppendValue(std::string& out, double value) {
    char buffer[512];
    std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

// The element at `index`, or a default one for an empty slot (a record whose count runs ahead of its list).
template <typename T> const T& ElementAt(const OwnedPtrArray<T>& list, long index) {
    static const T empty;
    const T* element = list.get(static_cast<uint32_t>(index));
    return element ? *element : empty;
}

void WriteGroup(std::string& out, const GroupEntry& group) {
    out += kIndent;
    out += "Group=";
    out += FileText(group.Name, GroupEntry::kMaxName);
    AppendNumber(out, ",%ld", group.NextArticle);
    AppendNumber(out, ",%ldk", group.MinSizeK);
    out += group.Collapsed ? ",Collapsed" : ",Expanded";
    out += group.Skip ? ",Skip\n" : ",Include\n";
}

void WriteServer(std::string& out, const ServerEntry& server) {
    out += kServerLine;
    out += '\n';
    out += kIndent;
    out += "Name=";
    out += FileText(server.Address, ServerEntry::kMaxAddress);
    out += ',';
    out += FileText(server.User, ServerEntry::kMaxUser);
    out += ',';
    out += FileText(server.Password, ServerEntry::kMaxPassword);
    out += '\n';
    out += kIndent;
    AppendNumber(out, "NumGroups=%ld\n", server.NumGroups);
    for (long i = 0; i < server.NumGroups; ++i) {
        WriteGroup(out, ElementAt(server.Groups, i));
    }
    out += '\n';
}

// ---- reading ----

// Significant lines with one line of look-ahead: a "Server" line that ends a section is left for the next
// reader.
class LineSource {
  public:
    explicit LineSource(std::FILE* file) : file_(file) {}

    std::optional<std::string> next() {
        if (holding_) {
            holding_ = false;
            return std::move(held_);
        }
        return ReadSignificantLine(file_);
    }

    // The next line split at its first "=", or none at the end of the file, at a line without "=" or at a
    // "Server" line (which stays unread).
    std::optional<std::pair<std::string, std::string>> nextKeyLine() {
        std::optional<std::string> line = next();
        if (!line) {
            return std::nullopt;
        }
        if (*line == kServerLine) {
            held_ = std::move(*line);
            holding_ = true;
            return std::nullopt;
        }
        size_t equals = line->find('=');
        if (equals == std::string::npos) {
            return std::nullopt;
        }
        return std::pair(line->substr(0, equals), line->substr(equals + 1));
    }

  private:
    std::FILE* file_;
    std::string held_;
    bool holding_ = false;
};

// Decimal numbers read the way atol and atof do: leading blanks and a sign are accepted, reading stops at the
// first character that does not fit, no digits give 0. Integers out of range are clamped; the decimal point
// of a fraction is "." in every locale.
long ParseLong(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

int ParseInt(const std::string& text) {
    return static_cast<int>(std::clamp<long>(ParseLong(text), INT_MIN, INT_MAX));
}

double ParseDouble(std::string_view text) {
    size_t start = text.find_first_not_of(" \t\n\v\f\r");
    if (start == std::string_view::npos) {
        return 0.0;
    }
    text.remove_prefix(start);
    if (text.starts_with('+') && !text.starts_with("+-")) {
        text.remove_prefix(1);
    }
    double value = 0.0;
    std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}

void StoreValue(std::string& field, const std::string& value) {
    field = value;
}
void StoreValue(long& field, const std::string& value) {
    field = ParseLong(value);
}
void StoreValue(int& field, const std::string& value) {
    field = ParseInt(value);
}
void StoreValue(double& field, const std::string& value) {
    field = ParseDouble(value);
}

const Key* FindKey(std::string_view name) {
    for (const Key& key : kKeys) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

void ReadConfigSection(Settings& settings, LineSource& lines) {
    for (size_t i = 0; i < std::size(kKeys); ++i) {
        auto keyLine = lines.nextKeyLine();
        const Key* key = keyLine ? FindKey(keyLine->first) : nullptr;
        if (!key) {
            return;
        }
        std::string value = CutLineEndValue(keyLine->second, kMaxValue);
        std::visit([&](auto member) { StoreValue(settings.*member, value); }, key->field);
        if (key->name == "LogFile") {
            SetLogFileName(value.c_str());
        }
    }
}

void AddTrailingSeparator(std::string& dir) {
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
}

// Splits off the text up to the next comma; none when there is no comma left.
std::optional<std::string> TakeField(std::string_view& rest) {
    size_t comma = rest.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    std::string field(rest.substr(0, comma));
    rest.remove_prefix(comma + 1);
    return field;
}

// "name,next,min k,Collapsed|Expanded,Skip|Include"; reading stops at the first missing comma, leaving the
// remaining fields zero.
std::unique_ptr<GroupEntry> ParseGroup(std::string_view rest) {
    auto group = std::make_unique<GroupEntry>();
    std::optional<std::string> name = TakeField(rest);
    if (!name) {
        return group;
    }
    group->Name = name->substr(0, GroupEntry::kMaxName);
    std::optional<std::string> next = TakeField(rest);
    if (!next) {
        return group;
    }
    group->NextArticle = ParseLong(*next);
    std::optional<std::string> minSize = TakeField(rest);
    if (!minSize) {
        return group;
    }
    group->MinSizeK = ParseLong(*minSize);
    std::optional<std::string> state = TakeField(rest);
    if (!state) {
        return group;
    }
    group->Collapsed = !state->empty() && ((*state)[0] == 'C' || (*state)[0] == 'c');
    group->Skip = !rest.empty() && (rest[0] == 'S' || rest[0] == 's');
    return group;
}

// Reads one server block after its "Server" line.
std::unique_ptr<ServerEntry> ReadServer(LineSource& lines) {
    auto server = std::make_unique<ServerEntry>();
    long announcedGroups = 0;
    for (int i = 0; i < 2; ++i) {
        auto keyLine = lines.nextKeyLine();
        if (!keyLine) {
            break;
        }
        if (keyLine->first == "Name") {
            SetServerLogin(*server, keyLine->second);
        } else if (keyLine->first == "NumGroups") {
            announcedGroups = ParseLong(keyLine->second);
        } else {
            break;
        }
    }
    while (server->NumGroups < announcedGroups) {
        auto keyLine = lines.nextKeyLine();
        if (!keyLine) {
            break;
        }
        AppendGroup(*server, ParseGroup(keyLine->second));
    }
    return server;
}

// Reads as many of the announced server blocks as the file holds; NumServers ends as the number read.
void ReadServers(Settings& settings, LineSource& lines) {
    long announced = settings.NumServers;
    settings.NumServers = 0;
    while (settings.NumServers < announced) {
        std::optional<std::string> line = lines.next();
        if (!line || *line != kServerLine) {
            return;
        }
        AddServer(settings, ReadServer(lines));
    }
}

} // namespace

int LoadConfig(Settings& settings, const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) {
        return 0;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "r"), &std::fclose);
    if (!file) {
        return 0;
    }
    ClearServers(settings);
    LineSource lines(file.get());
    lines.next(); // the section header, whatever it says
    ReadConfigSection(settings, lines);
    AddTrailingSeparator(settings.OutputDir);
    AddTrailingSeparator(settings.PartsDir);
    AddTrailingSeparator(settings.NetscapeDir);
    ReadServers(settings, lines);
    return 0;
}

std::string FormatConfig(const Settings& settings) {
    std::string out(kHeader);
    out += kSectionName;
    out += '\n';
    for (const Key& key : kKeys) {
        out += kIndent;
        out += key.name;
        out += '=';
        std::visit([&](auto member) { AppendValue(out, settings.*member); }, key.field);
        out += '\n';
    }
    for (long i = 0; i < settings.NumServers; ++i) {
        WriteServer(out, ElementAt(settings.Servers, i));
    }
    return out;
}

int WriteConfigText(const std::string& text, const std::string& fileName) {
    std::lock_guard<std::mutex> lock(saveMutex);
    return WriteFileAtomically(fileName, text, kFileMode) ? 1 : 0;
}

int SaveConfig(const Settings& settings, const std::string& fileName) {
    return WriteConfigText(FormatConfig(settings), fileName);
}
