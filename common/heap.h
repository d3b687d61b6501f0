#pragma once
#include <cstddef>

// Memory for texts and byte buffers. On Windows it comes from the process heap and a failed
// allocation is a fatal fault of the program; natively it throws std::bad_alloc.
void* heapAllocate(std::size_t size);
// Returns null when the block cannot grow; the old block is then still valid.
void* heapTryReallocate(void* block, std::size_t size);
void* heapTryAllocate(std::size_t size);
void heapRelease(void* block);
