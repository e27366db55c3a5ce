// Owner of one handle, closed exactly once with the function its traits name.
#pragma once

#include <windows.h>

#include <utility>

namespace fw {

template <class Traits>
class UniqueHandleOf {
public:
    using Type = typename Traits::Type;
    UniqueHandleOf() = default;
    explicit UniqueHandleOf(Type value) : value_(value) {}
    UniqueHandleOf(UniqueHandleOf&& o) noexcept : value_(o.release()) {}
    UniqueHandleOf& operator=(UniqueHandleOf&& o) noexcept {
        reset(o.release());
        return *this;
    }
    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
    ~UniqueHandleOf() { reset(); }

    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Type{}; }
    Type release() { return std::exchange(value_, Type{}); }
    // For an API that hands out a new handle through a pointer: what was
    // held before is closed first.
    Type* put() {
        reset();
        return &value_;
    }
    void reset(Type value = Type{}) {
        if (Type old = std::exchange(value_, value)) Traits::Close(old);
    }

private:
    Type value_{};
};

// A kernel object handle whose empty value is null (events, threads).
struct KernelHandleTraits {
    using Type = HANDLE;
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
using UniqueHandle = UniqueHandleOf<KernelHandleTraits>;

}  // namespace fw
