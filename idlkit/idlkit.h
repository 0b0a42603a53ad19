#pragma once

// Helpers for item identifier lists of the shell namespace. Lists made by the list operations come from
// the allocator the caller passes; lists made from names come from the shell allocator. The caller frees
// each with the allocator it came from. Every function returns null or 0 on failure.

#include "idlkit/ShellFolder.h"
#include "idlkit/ShellMalloc.h"
#include "idlkit/ShellTypes.h"

#define IDLKIT_API __attribute__((visibility("default")))

extern "C" {

// Bytes of the list including its terminator; 0 for null.
IDLKIT_API unsigned Idlkit_GetSize(const ITEMIDLIST* list);
IDLKIT_API ITEMIDLIST* Idlkit_Copy(IMalloc* allocator, const ITEMIDLIST* list);
// `first` may be null; a null `second` gives null.
IDLKIT_API ITEMIDLIST* Idlkit_Concatenate(IMalloc* allocator, const ITEMIDLIST* first,
                                          const ITEMIDLIST* second);
// Splits `full` into a new parent list (all but the last item) and a new one-item list (the last item).
// Returns 1; 0 when an allocation fails (both outputs null then).
IDLKIT_API int Idlkit_GetRelative(IMalloc* allocator, const ITEMIDLIST* full, ITEMIDLIST** parent,
                                  ITEMIDLIST** last);
// Paths and names of 260 characters or more give null.
IDLKIT_API ITEMIDLIST* Idlkit_GetFromPath(const char* path);
IDLKIT_API ITEMIDLIST* Idlkit_GetFromParentFolder(IShellFolder* folder, const char* name);
// Null as well when the list's path does not fit 260 characters.
IDLKIT_API ITEMIDLIST* Idlkit_GetFullyQualified(IShellFolder* folder, const ITEMIDLIST* list);
IDLKIT_API IShellFolder* Idlkit_GetFileFolder(const ITEMIDLIST* list);
// Writes the name of `list` in `folder` (null: the desktop) into `buffer`, cut to `size` bytes with its
// terminator (at a character boundary). Returns 1, or 0 when there is no such name.
IDLKIT_API int Idlkit_GetDisplayName(IShellFolder* folder, const ITEMIDLIST* list, unsigned flags,
                                     char* buffer, unsigned size);
// Traces the list level by level; returns the shell allocator's remaining references (0 for a null list,
// the error code when the desktop is not available).
IDLKIT_API int Idlkit_Dump(IShellFolder* folder, const ITEMIDLIST* list);
}
