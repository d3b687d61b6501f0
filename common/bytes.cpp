#include "common/bytes.h"

#include <cstring>
#include <utility>

#include "common/heap.h"

Bytes::Bytes(const void* data, std::size_t length) {
    if (length == 0) return;
    data_ = static_cast<unsigned char*>(heapAllocate(length));
    std::memcpy(data_, data, length);
    length_ = length;
}

Bytes Bytes::adoptHeapBlock(void* block, std::size_t length) {
    Bytes bytes;
    if (length == 0) {
        heapRelease(block);
        return bytes;
    }
    bytes.data_ = static_cast<unsigned char*>(block);
    bytes.length_ = length;
    return bytes;
}

Bytes::Bytes(Bytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), length_(std::exchange(other.length_, 0)) {}

Bytes& Bytes::operator=(Bytes&& other) noexcept {
    if (this != &other) {
        heapRelease(data_);
        data_ = std::exchange(other.data_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

Bytes::~Bytes() { heapRelease(data_); }
