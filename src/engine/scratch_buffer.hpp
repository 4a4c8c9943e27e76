#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

namespace quorvel::engine {

// Raw storage behind ScratchBuffer; throws std::bad_alloc when memory runs out.
void* allocate_scratch(std::size_t bytes);
void release_scratch(void* data);

// A large temporary array of trivially copyable elements, left uninitialised.
//
// On Linux a buffer of several megabytes is aligned to and advised for huge pages: filled
// through ordinary 4 KiB pages, a fresh buffer takes a page fault per page, which in a sort
// of a million rows costs as much as a third of the whole.
template <class T>
class ScratchBuffer {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit ScratchBuffer(std::size_t count) : data_(static_cast<T*>(allocate_scratch(count * sizeof(T)))) {}
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    ~ScratchBuffer() { release_scratch(data_); }

    T* data() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }

private:
    T* data_;
};

}  // namespace quorvel::engine
