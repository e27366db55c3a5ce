// Result arrays of COM calls in task memory: a plain array taken through an
// out parameter, and an array whose elements each hold a VARIANT (such as
// OPCITEMSTATE), whose values are cleared before the block is freed.
#pragma once

#include "TaskMem.h"

#include <oleauto.h>

namespace fw {

// Lets a TaskMemPtr receive an array from an out parameter:
//   fw::TaskMemPtr<HRESULT> errors;
//   group->RemoveItems(n, handles, fw::OutPtr(errors));
template <class T>
class TaskMemOut {
public:
    explicit TaskMemOut(TaskMemPtr<T>& owner) : owner_(owner) {}
    ~TaskMemOut() { owner_.reset(raw_); }
    TaskMemOut(const TaskMemOut&) = delete;
    TaskMemOut& operator=(const TaskMemOut&) = delete;
    operator T**() { return &raw_; }

private:
    TaskMemPtr<T>& owner_;
    T* raw_ = nullptr;
};

template <class T>
TaskMemOut<T> OutPtr(TaskMemPtr<T>& owner) {
    return TaskMemOut<T>(owner);
}

template <class T, VARIANT T::*Value>
class TaskMemResults {
public:
    TaskMemResults() = default;
    ~TaskMemResults() { reset(); }
    TaskMemResults(const TaskMemResults&) = delete;
    TaskMemResults& operator=(const TaskMemResults&) = delete;

    // For the call that fills the array with count elements.
    T** put(size_t count) {
        reset();
        count_ = count;
        return &data_;
    }
    T* get() const { return data_; }
    T& operator[](size_t i) const { return data_[i]; }
    explicit operator bool() const { return data_ != nullptr; }
    void reset() {
        if (data_)
            for (size_t i = 0; i < count_; ++i) ::VariantClear(&(data_[i].*Value));
        ::CoTaskMemFree(data_);
        data_ = nullptr;
        count_ = 0;
    }

private:
    T* data_ = nullptr;
    size_t count_ = 0;
};

}  // namespace fw
