#pragma once
#include <cstddef>

// A counted byte buffer, owned and move-only; the empty Bytes has length 0 and no storage.
class Bytes {
public:
    Bytes() = default;
    Bytes(const void* data, std::size_t length);
    Bytes(Bytes&& other) noexcept;
    Bytes& operator=(Bytes&& other) noexcept;
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    ~Bytes();

    // Takes over a block of the heap (common/heap.h), at least length bytes long, holding the
    // bytes; a length of 0 releases the block.
    static Bytes adoptHeapBlock(void* block, std::size_t length);

    const unsigned char* data() const { return data_; }
    std::size_t length() const { return length_; }
    bool empty() const { return length_ == 0; }

private:
    unsigned char* data_ = nullptr;
    std::size_t length_ = 0;
};
