#include "host/buffered_reader.h"

#include <algorithm>
#include <cstring>

std::size_t BufferedReader::read(void* buffer, std::size_t size) {
    auto* target = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < size) {
        const std::size_t copied = copyBuffered(target + total, size - total);
        total += copied;
        if (copied > 0) continue;
        const std::size_t wanted = size - total;
        if (wanted >= buffer_.size()) {
            const std::size_t read = readAt_(position_, target + total, wanted);
            position_ += read;
            total += read;
            break;
        }
        bufferOffset_ = position_;
        bufferLength_ = readAt_(position_, buffer_.data(), buffer_.size());
        if (bufferLength_ == 0) break;
    }
    return total;
}

std::size_t BufferedReader::copyBuffered(unsigned char* target, std::size_t size) {
    if (position_ < bufferOffset_ || position_ >= bufferOffset_ + bufferLength_) return 0;
    const std::size_t start = static_cast<std::size_t>(position_ - bufferOffset_);
    const std::size_t count = std::min(size, bufferLength_ - start);
    std::memcpy(target, buffer_.data() + start, count);
    position_ += count;
    return count;
}
