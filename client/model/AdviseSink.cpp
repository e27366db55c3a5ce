#include "AdviseSink.h"

#include "ComPtr.h"
#include "StreamApply.h"

#include <utility>

CAdviseSink::CAdviseSink(ChangeCallback onChange) : onChange_(std::move(onChange)) {}

STDMETHODIMP_(void) CAdviseSink::OnDataChange(FORMATETC*, STGMEDIUM* medium) {
    // The callback may remove the group, and with it the group's reference
    // to this sink; the sink must outlive its own call.
    fw::ComPtr<CAdviseSink> self(this);
    if (!group_) return;  // the group is gone; the server has not let go yet
    if (medium && medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
        const size_t size = GlobalSize(medium->hGlobal);
        if (const void* block = GlobalLock(medium->hGlobal)) {
            ApplyDataChange(static_cast<const BYTE*>(block), size, *group_);
            GlobalUnlock(medium->hGlobal);
        }
    }
    if (onChange_ && group_) onChange_(*group_);
}
