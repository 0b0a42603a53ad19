// The group-list file readers on arbitrary files. The names the fetch reads back are written and read again
// unchanged; the selection dialog's loader offers only names of the file that pass its filter and are not
// configured yet, never more than the file announces, and ends.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzz/support/FuzzFile.h"
#include "nntp/GroupList.h"

namespace {

const char* const kServer = "news.example";

// Records what the loader reports.
class LoadRecord : public GroupLoadReport {
  public:
    void Refreshed(const std::string&) override {}
    void GroupCount(const std::string&) override {}
    void Progress(const std::string&) override {}
    void LoadingNote(bool) override {}
    void AddAvailable(const std::string& name) override { offered.push_back(name); }

    std::vector<std::string> offered;
};

void CheckLoader(const std::string& directory, const std::string& text, const std::string& filter) {
    static const std::vector<std::string> configured = {"ALT.Binaries.Test"};
    static const std::atomic<int> running{0};
    LoadRecord record;
    FuzzCheck(LoadGroupList(kServer, directory, filter, configured, running, record), "the file is read");
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    FuzzCheck(record.offered.size() <= lines, "at most one name per line is offered");
    for (const std::string& name : record.offered) {
        if (name == "(No Group List Downloaded)") {
            continue;
        }
        FuzzCheck(name.find(filter) != std::string::npos, "an offered name passes the filter");
        FuzzCheck(name.size() <= 1023 && text.find(name) != std::string::npos,
                  "an offered name is in the file");
        FuzzCheck(name != "alt.binaries.test", "a configured group is never offered");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile input(kServer);
    static FuzzFile rewritten("rewritten");
    input.Write(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::optional<std::string> date;
    std::set<std::string> names = ReadGroupListFile(input.path(), date);
    FuzzCheck(date || names.empty(), "names are read only under a usable date");
    FuzzCheck(WriteGroupListFile(rewritten.path(), names), "the names can be written");
    std::optional<std::string> newDate;
    FuzzCheck(ReadGroupListFile(rewritten.path(), newDate) == names && newDate,
              "the names survive a write and a read");

    CheckLoader(input.directory(), text, "");
    CheckLoader(input.directory(), text, "alt");
    return 0;
}
