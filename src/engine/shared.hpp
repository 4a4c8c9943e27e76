#pragma once

#include <cstddef>
#include <utility>

namespace quorvel::engine {

// Base of the immutable blocks that frames share (column values, row selections). The count
// is a plain integer, not an atomic: every holder lives on the thread that created it, which
// the binding enforces per object.
class RefCounted {
protected:
    RefCounted() = default;
    RefCounted(const RefCounted&) : refs_(0) {}
    RefCounted& operator=(const RefCounted&) { return *this; }
    ~RefCounted() = default;

private:
    template <class>
    friend class Shared;
    mutable std::size_t refs_ = 0;
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
    std::size_t use_count() const { return block_ ? block_->refs_ : 0; }

private:
    void retain() const {
        if (block_) ++block_->refs_;
    }
    void release() {
        if (block_ && --block_->refs_ == 0) delete block_;
        block_ = nullptr;
    }

    T* block_ = nullptr;
};

template <class T, class... Args>
Shared<T> make_shared_block(Args&&... args) {
    return Shared<T>(new T(std::forward<Args>(args)...));
}

}  // namespace quorvel::engine
