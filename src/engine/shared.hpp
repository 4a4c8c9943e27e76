#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

namespace quorvel::engine {

// Base of the immutable blocks that frames share (column values, row selections). Frames stay
// on the thread that made them, but an Arrow export hands the same blocks to consumers that
// release them on threads of their own, so the count is atomic: whichever holder goes last,
// on whatever thread, frees the block once. The blocks themselves are never written after
// they are built, so reading them from several threads needs nothing more.
class RefCounted {
protected:
    RefCounted() = default;
    RefCounted(const RefCounted&) {}
    RefCounted& operator=(const RefCounted&) { return *this; }
    ~RefCounted() = default;

private:
    template <class>
    friend class Shared;
    mutable std::atomic<std::size_t> refs_{0};
};

// A counted reference to a RefCounted block; copying shares, the last holder frees.
template <class T>
class Shared {
public:
    Shared() = default;
    explicit Shared(T* block) : block_(block) { retain(); }
    Shared(const Shared& other) : block_(other.block_) { retain(); }
    Shared(Shared&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    template <class U>
    Shared(const Shared<U>& other) : block_(other.get()) { retain(); }
    ~Shared() { release(); }

    Shared& operator=(Shared other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }

    T* get() const { return block_; }
    T& operator*() const { return *block_; }
    T* operator->() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }
    std::size_t use_count() const { return block_ ? block_->refs_.load(std::memory_order_relaxed) : 0; }

private:
    // A new holder can only come from an existing one, so the increment orders nothing; the
    // last decrement must see every other holder's reads done before it frees.
    void retain() const {
        if (block_) block_->refs_.fetch_add(1, std::memory_order_relaxed);
    }
    void release() {
        if (block_ && block_->refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block_;
        block_ = nullptr;
    }

    T* block_ = nullptr;
};

template <class T, class... Args>
Shared<T> make_shared_block(Args&&... args) {
    return Shared<T>(new T(std::forward<Args>(args)...));
}

}  // namespace quorvel::engine
