// Article header analysis and filter matching on arbitrary text. Before the input's first NUL byte stands a
// filter file, after it the header (without a NUL the input is both). The filter file survives a write and a
// second read; every filter matches exactly where its letters occur in the header in any case; and the
// header's answers keep their promises (printable fields, a part counter within its total).
#include <cstdint>
#include <string>
#include <string_view>

#include "config/FilterList.h"
#include "fuzz/support/FuzzFile.h"
#include "parts/Header.h"

namespace {

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

void CheckField(const std::string& value) {
    FuzzCheck(value.size() <= 1023, "a header field is at most 1023 characters");
    for (char c : value) {
        FuzzCheck(c >= 0x20 && c < 0x7F, "a header field holds printable ASCII only");
    }
}

void CheckHeader(Header& header, const std::string& text) {
    CheckField(header.getSubject());
    CheckField(header.getFrom());
    header.getLines();
    if (header.isMultiPart()) {
        int part = header.getPartNumber(), total = header.getPartTotal();
        FuzzCheck(part >= 1 && part <= total && !(part == 1 && total == 1), "a part lies within its total");
        FuzzCheck(!header.getPartLine().empty(), "a part has a signature");
        FuzzCheck(header.getPartLine().find(header.getPartName()) != std::string::npos,
                  "a part's file name lies within its signature");
        FuzzCheck(text.find(header.getPartLine()) != std::string::npos, "a signature is text of the header");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile filters("filters.flt");
    static FuzzFile rewritten("rewritten.flt");
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string text = nul == std::string::npos ? input : input.substr(nul + 1);
    const std::string filterText = input.substr(0, nul);

    const std::vector<std::string> strings =
        ReadFilterFile(filters.Write(reinterpret_cast<const uint8_t*>(filterText.data()), filterText.size()));
    FuzzCheck(!WriteFilterFile(rewritten.path(), strings), "a filter file can be written");
    FuzzCheck(ReadFilterFile(rewritten.path()) == strings, "a filter file survives a write and a read");

    Header header(text);
    const std::string lowered = AsciiLower(text);
    for (const std::string& filter : strings) {
        FuzzCheck(filter.size() >= 3 && filter.size() <= 1023 &&
                      filter.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                  "a filter string is one line of 3 to 1023 characters");
        bool expected = lowered.find(AsciiLower(filter)) != std::string::npos;
        FuzzCheck(header.MatchFilter(filter) == expected, "a filter matches where its letters occur");
    }
    CheckHeader(header, text);
    if (auto subject = Header::isPartArticle(header.getSubject())) {
        FuzzCheck(subject->part >= 0 && subject->total >= 0, "part counters are never negative");
    }
    return 0;
}
