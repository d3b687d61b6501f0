#include "common/text.h"

#include <cstring>

#include "common/heap.h"

Text::Text(const char* bytes) : Text(bytes, bytes != nullptr ? std::strlen(bytes) : 0) {}

Text::Text(const char* bytes, std::size_t length) : bytes_(static_cast<char*>(heapAllocate(length + 1))) {
    if (length != 0) std::memcpy(bytes_, bytes, length);
    bytes_[length] = '\0';
}

Text& Text::operator=(Text&& other) noexcept {
    if (this != &other) {
        heapRelease(bytes_);
        bytes_ = other.bytes_;
        other.bytes_ = nullptr;
    }
    return *this;
}

Text::~Text() { heapRelease(bytes_); }

Text Text::withLength(std::size_t length) {
    Text text;
    text.bytes_ = static_cast<char*>(heapAllocate(length + 1));
    std::memset(text.bytes_, 0, length + 1);
    return text;
}

std::size_t Text::length() const { return std::strlen(c_str()); }

Text concatText(std::initializer_list<TextRef> parts) {
    std::size_t total = 0;
    for (const TextRef& part : parts) total += std::strlen(part.c_str());
    Text result = Text::withLength(total);
    char* end = result.data();
    for (const TextRef& part : parts) {
        const std::size_t length = std::strlen(part.c_str());
        std::memcpy(end, part.c_str(), length);
        end += length;
    }
    return result;
}

int compareText(TextRef left, TextRef right) {
    const int order = std::strcmp(left.c_str(), right.c_str());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}
