#pragma once
#include <cstddef>
#include <initializer_list>

// A NUL-terminated byte string in the ANSI code page, owned and move-only. A null Text is the
// empty text wherever a text is read.
class Text {
public:
    Text() = default;
    explicit Text(const char* bytes);
    Text(const char* bytes, std::size_t length);
    Text(Text&& other) noexcept : bytes_(other.bytes_) { other.bytes_ = nullptr; }
    Text& operator=(Text&& other) noexcept;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text();

    // A new zero-filled text with room for length bytes and the terminator.
    static Text withLength(std::size_t length);

    const char* c_str() const { return bytes_ != nullptr ? bytes_ : ""; }
    char* data() { return bytes_; }
    bool isNull() const { return bytes_ == nullptr; }
    bool empty() const { return bytes_ == nullptr || bytes_[0] == '\0'; }
    std::size_t length() const;

private:
    char* bytes_ = nullptr;
};

// A borrowed view of a text for reading; a null pointer reads as the empty text.
class TextRef {
public:
    TextRef(const char* bytes) : bytes_(bytes != nullptr ? bytes : "") {}  // NOLINT: implicit by design
    TextRef(const Text& text) : bytes_(text.c_str()) {}                     // NOLINT: implicit by design
    const char* c_str() const { return bytes_; }
    bool empty() const { return bytes_[0] == '\0'; }

private:
    const char* bytes_;
};

// The parts one after the other in a new text of the summed length plus one byte.
Text concatText(std::initializer_list<TextRef> parts);

// Byte-wise comparison as unsigned values: -1, 0 or 1.
int compareText(TextRef left, TextRef right);
