#include "AdviseSink.h"

#include "ComPtr.h"
#include "GlobalMemory.h"
#include "StreamApply.h"

#include <utility>

CAdviseSink::CAdviseSink(ChangeCallback onChange) : onChange_(std::move(onChange)) {}

STDMETHODIMP_(void) CAdviseSink::OnDataChange(FORMATETC*, STGMEDIUM* medium) {
    // The callback may remove the group, and with it the group's reference
    // to this sink; the sink must outlive its own call.
    fw::ComPtr<CAdviseSink> self(this);
    if (!group_) return;  // the group is gone; the server has not let go yet
    if (medium && medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
        // Unlocked again before the callback: the medium stays the server's.
        const fw::GlobalLockScope block(medium->hGlobal);
        if (block.data()) ApplyDataChange(static_cast<const BYTE*>(block.data()), block.size(), *group_);
    }
    if (onChange_ && group_) onChange_(*group_);
}
