#include "decode/TextSearch.h"

#include <cstring>

namespace {

// How common a byte is in article bodies: lower is rarer. Punctuation never occurs in base64 text and
// lower-case letters never in uuencoded text, so searching for such a byte of a needle skips most of a binary
// quickly.
int Commonness(unsigned char c) {
    if (c >= 'a' && c <= 'z') {
        return 2;
    }
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '/') {
        return 3;
    }
    return c == ' ' ? 1 : 0;
}

size_t RarestIndex(std::string_view needle) {
    size_t best = 0;
    for (size_t i = 1; i < needle.size(); ++i) {
        if (Commonness(static_cast<unsigned char>(needle[i])) <
            Commonness(static_cast<unsigned char>(needle[best]))) {
            best = i;
        }
    }
    return best;
}

} // namespace

const char* FindText(const char* from, const char* end, std::string_view needle) {
    if (!from || needle.empty() || end - from < static_cast<ptrdiff_t>(needle.size())) {
        return nullptr;
    }
    size_t key = RarestIndex(needle);
    const char* last = end - needle.size(); // the last possible start
    const char* p = from;
    while (p <= last) {
        const void* hit = memchr(p + key, needle[key], static_cast<size_t>(last - p) + 1);
        if (!hit) {
            return nullptr;
        }
        const char* start = static_cast<const char*>(hit) - key;
        if (memcmp(start, needle.data(), needle.size()) == 0) {
            return start;
        }
        p = start + 1;
    }
    return nullptr;
}

char* FindText(char* from, char* end, std::string_view needle) {
    return const_cast<char*>(FindText(static_cast<const char*>(from), end, needle));
}

const char* FindAtLineStart(const char* lineStart, const char* from, const char* end,
                            std::string_view needle) {
    for (const char* hit = FindText(from, end, needle); hit; hit = FindText(hit + 1, end, needle)) {
        if (hit == lineStart || IsLineBreak(hit[-1])) {
            return hit;
        }
    }
    return nullptr;
}

char* FindAtLineStart(char* lineStart, char* from, char* end, std::string_view needle) {
    return const_cast<char*>(FindAtLineStart(static_cast<const char*>(lineStart), from, end, needle));
}

const char* FindLineEnd(const char* from, const char* end) {
    if (from >= end) {
        return end;
    }
    const char* lf = static_cast<const char*>(memchr(from, '\n', static_cast<size_t>(end - from)));
    const char* limit = lf ? lf : end;
    const char* cr = static_cast<const char*>(memchr(from, '\r', static_cast<size_t>(limit - from)));
    return cr ? cr : limit;
}

char* FindLineEnd(char* from, char* end) {
    return const_cast<char*>(FindLineEnd(static_cast<const char*>(from), end));
}
