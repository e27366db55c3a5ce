// An enumerator over its own copy of a list: the position, Skip, Reset and
// Clone that every IEnumXxx shares.  The derived class adds Next.
//
//   class Names final : public ListEnumerator<Names, IEnumString, std::wstring> { ... };
#pragma once

#include "ComObject.h"
#include "ServerProcess.h"

#include <algorithm>
#include <vector>

namespace testserver {

template <class Derived, class Interface, class Element>
class ListEnumerator : public fw::ComObject<Derived, Interface> {
public:
    explicit ListEnumerator(std::vector<Element> elements, ULONG position = 0)
        : elements_(std::move(elements)), position_(position) {}

    STDMETHODIMP Skip(ULONG celt) override {
        const ULONG left = Left();
        position_ += std::min(celt, left);
        return celt <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** out) override {
        if (!out) return E_POINTER;
        return fw::CreateInstance<Derived>(fw::InterfaceId<Interface>(), reinterpret_cast<void**>(out), elements_,
                                           position_);
    }

protected:
    ULONG Left() const { return static_cast<ULONG>(elements_.size()) - position_; }

    std::vector<Element> elements_;
    ULONG position_;

private:
    ProcessReference process_;
};

}  // namespace testserver
