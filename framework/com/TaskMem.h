// Blocks from the COM task allocator: owned while we hold them, handed to a
// caller with release() when a method succeeds.
#pragma once

#include <objbase.h>

#include <cstring>
#include <memory>
#include <new>

namespace fw {

struct TaskMemFree {
    void operator()(void* p) const { CoTaskMemFree(p); }
};

template <class T>
using TaskMemPtr = std::unique_ptr<T, TaskMemFree>;

// Zero-filled array of n elements of a trivially copyable type; null on
// failure (and for n == 0 only when the allocator refuses one byte).
template <class T>
TaskMemPtr<T> TaskMemArray(size_t n) {
    const size_t bytes = n ? n * sizeof(T) : 1;
    if (n && bytes / n != sizeof(T)) return nullptr;
    void* p = CoTaskMemAlloc(bytes);
    if (p) std::memset(p, 0, bytes);
    return TaskMemPtr<T>(static_cast<T*>(p));
}

// Copy of a wide string in task memory (null for a null input or no memory).
inline TaskMemPtr<wchar_t> TaskMemString(const wchar_t* text) {
    if (!text) return nullptr;
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* p = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (p) std::memcpy(p, text, bytes);
    return TaskMemPtr<wchar_t>(p);
}

}  // namespace fw
