#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

#include "engine/huge_pages.hpp"

namespace quorvel::csv {

// A text built by appending into one block. Unlike std::string it neither zeroes the room it
// makes nor copies itself to grow: the block is enlarged in place by realloc where it can be,
// so a large text costs one write of each byte.
class TextBuffer {
public:
    // Sets aside `capacity` bytes at once when the system grants them; otherwise the buffer
    // grows as it fills. Pages not yet written cost nothing but address space.
    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) return;
        if (void* grown = std::realloc(bytes_.get(), capacity)) adopt(grown, capacity);
    }

    // Makes room for `count` more bytes and returns where they go; `commit` keeps those written.
    char* room(std::size_t count) {
        if (capacity_ - size_ < count) grow(count);
        return bytes_.get() + size_;
    }
    void commit(const char* end) { size_ = static_cast<std::size_t>(end - bytes_.get()); }

    std::string_view view() const { return {bytes_.get(), size_}; }

private:
    void grow(std::size_t count) {
        std::size_t capacity = capacity_ < 4096 ? 4096 : capacity_ * 2;
        while (capacity - size_ < count) capacity *= 2;
        void* grown = std::realloc(bytes_.get(), capacity);
        if (!grown) throw std::bad_alloc();
        adopt(grown, capacity);
    }

    void adopt(void* grown, std::size_t capacity) {
        (void)bytes_.release();
        bytes_.reset(static_cast<char*>(grown));
        capacity_ = capacity;
        engine::advise_huge_pages(grown, capacity);
    }

    struct Free {
        void operator()(char* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<char, Free> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace quorvel::csv
