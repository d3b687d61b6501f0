#include "common/heap.h"

#include <windows.h>

#include "app/fatal_text.h"
#include "app/program.h"

void* heapTryAllocate(std::size_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
}

void* heapAllocate(std::size_t size) {
    void* block = heapTryAllocate(size);
    if (block == nullptr) fatalError(outOfMemoryMessage(size).bytes, 0);
    return block;
}

void* heapTryReallocate(void* block, std::size_t size) {
    if (block == nullptr) return heapTryAllocate(size);
    return HeapReAlloc(GetProcessHeap(), 0, block, size == 0 ? 1 : size);
}

void heapRelease(void* block) {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
