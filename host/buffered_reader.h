#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Sequential reads at a position of its own over a file that is read at given offsets, served from
// a buffer: minizip reads the headers of an archive a byte or two at a time, and each of those
// reads would otherwise be a system call. Reads at least as large as the buffer go straight to the
// file.
class BufferedReader {
public:
    // Reads up to size bytes at offset into buffer; the count read, 0 at the end or on a failure.
    using ReadAt = std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t size)>;

    static constexpr std::size_t kBufferSize = 4096;

    explicit BufferedReader(ReadAt readAt) : readAt_(std::move(readAt)), buffer_(kBufferSize) {}

    // The count of bytes placed in buffer: short only at the end of the file or after a failure.
    std::size_t read(void* buffer, std::size_t size);

    std::uint64_t position() const { return position_; }
    void setPosition(std::uint64_t position) { position_ = position; }

private:
    // Copies what the buffer holds at the position; the count copied.
    std::size_t copyBuffered(unsigned char* target, std::size_t size);

    ReadAt readAt_;
    std::vector<unsigned char> buffer_;
    std::uint64_t bufferOffset_ = 0;
    std::size_t bufferLength_ = 0;
    std::uint64_t position_ = 0;
};
