#include "host/body_buffer.h"

#include <cstring>
#include <limits>

#include "common/heap.h"
#include "host/archive_fetch_rules.h"

BodyBuffer::~BodyBuffer() { heapRelease(storage_); }

bool BodyBuffer::reserve(std::size_t capacity) {
    if (capacity <= capacity_) return true;
    void* grown = heapTryReallocate(storage_, capacity);
    if (grown == nullptr) return false;
    storage_ = static_cast<unsigned char*>(grown);
    capacity_ = capacity;
    return true;
}

bool BodyBuffer::append(const void* bytes, std::size_t count) {
    if (count == 0) return true;
    if (count > std::numeric_limits<std::size_t>::max() - length_) return false;
    const std::size_t needed = length_ + count;
    if (needed > capacity_ && !reserve(grownBodyCapacity(capacity_, needed))) return false;
    std::memcpy(storage_ + length_, bytes, count);
    length_ = needed;
    return true;
}

Bytes BodyBuffer::takeBytes() {
    Bytes body = Bytes::adoptHeapBlock(storage_, length_);
    storage_ = nullptr;
    length_ = 0;
    capacity_ = 0;
    return body;
}
