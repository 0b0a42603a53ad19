// The repost record reader on arbitrary "decodes" files. Every entry it loads is found again, and written
// back by AppendRepost it loads the same.
#include <cstdint>
#include <filesystem>

#include "decode/Reposts.h"
#include "fuzz/support/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile input("decodes");
    static FuzzFile rewritten("decodes");
    RepostList list;
    LoadReposts(list, input.Write(data, size));
    std::filesystem::remove(rewritten.path());
    for (uint32_t i = 0; i < list.count; ++i) {
        const Item& item = list.items[i];
        FuzzCheck(FindRepost(list, item), "a loaded entry is found");
        AppendRepost(item, rewritten.path());
    }
    RepostList again;
    LoadReposts(again, rewritten.path());
    FuzzCheck(again.count == list.count, "every entry survives a write and a load");
    for (uint32_t i = 0; i < list.count; ++i) {
        FuzzCheck(again.items[i].size == list.items[i].size && again.items[i].name == list.items[i].name,
                  "an entry survives a write and a load");
    }
    return 0;
}
