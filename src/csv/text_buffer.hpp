#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "engine/blocks.hpp"

namespace quorvel::csv {

// A text built by appending into one block. Unlike std::string it does not zero the room it
// makes, so a large text costs one write of each byte, and once large it lies on huge pages.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    TextBuffer(TextBuffer&& other) noexcept
        : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ~TextBuffer() {
        if (bytes_) engine::release_block(bytes_, capacity_);
    }

    // Sets aside `capacity` bytes at once when the system grants them; otherwise the buffer
    // grows as it fills. Pages not yet written cost nothing but address space.
    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) return;
        try {
            move_to(capacity);
        } catch (const std::bad_alloc&) {
        }
    }

    // Makes room for `count` more bytes and returns where they go; `commit` keeps those written.
    char* room(std::size_t count) {
        if (capacity_ - size_ < count) grow(count);
        return bytes_ + size_;
    }
    void commit(const char* end) { size_ = static_cast<std::size_t>(end - bytes_); }

    std::string_view view() const { return {bytes_, size_}; }

private:
    void grow(std::size_t count) {
        std::size_t capacity = capacity_ < 4096 ? 4096 : capacity_ * 2;
        while (capacity - size_ < count) capacity *= 2;
        move_to(capacity);
    }

    void move_to(std::size_t capacity) {
        char* moved = static_cast<char*>(engine::allocate_block(capacity));
        if (size_ != 0) std::memcpy(moved, bytes_, size_);
        if (bytes_) engine::release_block(bytes_, capacity_);
        bytes_ = moved;
        capacity_ = capacity;
    }

    char* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace quorvel::csv
