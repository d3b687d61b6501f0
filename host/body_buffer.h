#pragma once
#include <cstddef>

#include "common/bytes.h"

// The body of one response as it is read, gathered in one block of the heap. Growth may fail
// (memory running out stops the reading, it is not fatal); what was gathered is then kept whole.
class BodyBuffer {
public:
    BodyBuffer() = default;
    BodyBuffer(const BodyBuffer&) = delete;
    BodyBuffer& operator=(const BodyBuffer&) = delete;
    ~BodyBuffer();

    // Makes room for at least capacity bytes in all; false when the memory cannot be had.
    bool reserve(std::size_t capacity);
    // Appends the bytes; false, with the body unchanged, when the storage cannot grow.
    bool append(const void* bytes, std::size_t count);
    // Hands the gathered body over without copying it and leaves the buffer empty.
    Bytes takeBytes();

    std::size_t length() const { return length_; }
    std::size_t capacity() const { return capacity_; }

private:
    unsigned char* storage_ = nullptr;
    std::size_t length_ = 0;
    std::size_t capacity_ = 0;
};
