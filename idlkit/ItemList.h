#pragma once

#include "idlkit/ShellMalloc.h"
#include "idlkit/ShellTypes.h"

#include <cstddef>

// The item following `item`; null for null.
const ITEMIDLIST* NextItem(const ITEMIDLIST* item);
ITEMIDLIST* NextItem(ITEMIDLIST* item);
// Sum of the item counts plus 2 for the terminator; 0 for null.
unsigned ListSize(const ITEMIDLIST* list);
// A block from `allocator`, cleared to zero; null when the allocation fails.
void* AllocCleared(IMalloc* allocator, std::size_t size);
