// Global memory blocks (the medium of clipboard data and data-change
// streams): an owner of the block, and a scope that holds it locked.
#pragma once

#include "UniqueHandle.h"

namespace fw {

struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static void Close(HGLOBAL block) { ::GlobalFree(block); }
};
using UniqueGlobal = UniqueHandleOf<GlobalMemoryTraits>;

// The block's bytes for the life of the scope; data() is null when the block
// is null or cannot be locked.
class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL block) : block_(block), data_(block ? ::GlobalLock(block) : nullptr) {}
    ~GlobalLockScope() {
        if (data_) ::GlobalUnlock(block_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;

    void* data() const { return data_; }
    size_t size() const { return data_ ? ::GlobalSize(block_) : 0; }

private:
    HGLOBAL block_;
    void* data_;
};

}  // namespace fw
