#pragma once

// Types shared by the shell-namespace stand-in and its users: result codes, interface identifiers,
// item identifier lists and the display-name result.

#include <cstddef>
#include <cstdint>

#define IDLSHELL_API __attribute__((visibility("default")))

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    bool operator==(const GUID&) const = default;
};

// {000214E6-0000-0000-C000-000000000046}
inline constexpr GUID IID_IShellFolder = {0x000214E6, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// One item: a 16-bit byte count that includes itself, then count - 2 bytes of data. Items follow each
// other at any byte offset, so the structures are packed and every access is unaligned-safe.
struct __attribute__((packed)) SHITEMID {
    std::uint16_t cb;
    std::uint8_t abID[1];
};

// A list of items ended by a 16-bit zero.
struct __attribute__((packed)) ITEMIDLIST {
    SHITEMID mkid;
};

// Display-name kinds.
constexpr std::uint32_t SHGDN_NORMAL = 0;
constexpr std::uint32_t SHGDN_INFOLDER = 1;
constexpr std::uint32_t SHGDN_FORPARSING = 0x8000;

constexpr std::size_t MAX_PATH = 260;

// How GetDisplayNameOf hands back a name.
constexpr std::uint32_t STRRET_WSTR = 0;   // pOleStr, allocated by the shell allocator; the receiver frees it
constexpr std::uint32_t STRRET_OFFSET = 1; // uOffset: a NUL-terminated string inside the list asked about
constexpr std::uint32_t STRRET_CSTR = 2;   // cStr: the string itself

struct STRRET {
    std::uint32_t uType;
    union {
        wchar_t* pOleStr;
        std::uint32_t uOffset;
        char cStr[MAX_PATH];
    };
};
