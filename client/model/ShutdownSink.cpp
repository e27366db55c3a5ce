#include "ShutdownSink.h"

#include "ComPtr.h"
#include "ValueText.h"

STDMETHODIMP CShutdownSink::ShutdownRequest(LPCWSTR reason) {
    const fw::ComPtr<CShutdownSink> self(this);  // the callback may let go of us
    if (onShutdown_) {
        const ShutdownCallback callback = onShutdown_;
        callback(WideToUtf8(reason));
    }
    return S_OK;
}
