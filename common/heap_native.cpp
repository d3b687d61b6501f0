#include "common/heap.h"

#include <cstdlib>
#include <new>

void* heapTryAllocate(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void* heapAllocate(std::size_t size) {
    void* block = heapTryAllocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* heapTryReallocate(void* block, std::size_t size) { return std::realloc(block, size == 0 ? 1 : size); }

void heapRelease(void* block) { std::free(block); }
