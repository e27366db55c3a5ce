#include "DataChangeSend.h"

void SendDataChange(IAdviseSink* sink, const FORMATETC& format, HGLOBAL block) {
    FORMATETC sent = format;
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    medium.pUnkForRelease = nullptr;
    // The proxy copies the block, so the caller frees it afterwards whatever
    // the client did.
    sink->OnDataChange(&sent, &medium);
}
