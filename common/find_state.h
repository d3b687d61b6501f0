#pragma once
#include <utility>

// The caller-held state of one enumeration by findFile: empty, or one open search. It closes its
// search when emptied or destroyed; the host that opened the search says how.
class FindState {
public:
    using Closer = void (*)(void* search);

    FindState() = default;
    FindState(FindState&& other) noexcept
        : search_(std::exchange(other.search_, nullptr)), closer_(std::exchange(other.closer_, nullptr)) {}
    FindState& operator=(FindState&& other) noexcept {
        if (this != &other) {
            reset();
            search_ = std::exchange(other.search_, nullptr);
            closer_ = std::exchange(other.closer_, nullptr);
        }
        return *this;
    }
    FindState(const FindState&) = delete;
    FindState& operator=(const FindState&) = delete;
    ~FindState() { reset(); }

    bool isOpen() const { return search_ != nullptr; }
    void* search() const { return search_; }

    // Closes the search held, then holds the given one (none by default).
    void reset(void* search = nullptr, Closer closer = nullptr) {
        if (search_ != nullptr && closer_ != nullptr) closer_(search_);
        search_ = search;
        closer_ = closer;
    }

private:
    void* search_ = nullptr;
    Closer closer_ = nullptr;
};
