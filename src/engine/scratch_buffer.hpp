#pragma once

#include <cstddef>
#include <type_traits>

#include "engine/blocks.hpp"

namespace quorvel::engine {

// A large temporary array of trivially copyable elements, left uninitialised: a block, so a
// buffer of megabytes lies on huge pages. Filled through ordinary 4 KiB pages, a fresh buffer
// takes a page fault per page, which in a sort of a million rows costs a third of the whole.
template <class T>
class ScratchBuffer {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit ScratchBuffer(std::size_t count)
        : data_(static_cast<T*>(allocate_block(count * sizeof(T)))), count_(count) {}
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    ~ScratchBuffer() { release_block(data_, count_ * sizeof(T)); }

    T* data() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }

private:
    T* data_;
    std::size_t count_;
};

}  // namespace quorvel::engine
