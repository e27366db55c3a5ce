// IOPCCommon of the server object (locale, error texts, the client's name)
// and its connection point for IOPCShutdown.
#include "HalyardDoc.h"

#include "OpcErrorText.h"
#include "TaskMem.h"
#include "Text.h"
#include "TextConversion.h"

#include <olectl.h>

namespace {

// The locales our texts are in: English, and the defaults that name it here.
constexpr LCID kAvailableLocales[] = {0x409, LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT};

constexpr const wchar_t* kShutdownReason = L"The server object was closed at the server.";

}  // namespace

STDMETHODIMP CHalyardDoc::SetLocaleID(LCID dwLcid) {
    for (const LCID available : kAvailableLocales)
        if (available == dwLcid) {
            m_locale = dwLcid;
            return S_OK;
        }
    return E_INVALIDARG;
}

STDMETHODIMP CHalyardDoc::GetLocaleID(LCID* pdwLcid) {
    if (!pdwLcid) return E_INVALIDARG;
    *pdwLcid = m_locale;
    return S_OK;
}

STDMETHODIMP CHalyardDoc::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
    if (!pdwCount || !pdwLcid) return E_INVALIDARG;
    *pdwCount = 0;
    *pdwLcid = nullptr;
    constexpr DWORD count = sizeof kAvailableLocales / sizeof kAvailableLocales[0];
    auto locales = fw::TaskMemArray<LCID>(count);
    if (!locales) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < count; ++i) locales.get()[i] = kAvailableLocales[i];
    *pdwLcid = locales.release();
    *pdwCount = count;
    return S_OK;
}

STDMETHODIMP CHalyardDoc::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
    return ErrorStringFor(dwError, m_locale, ppString);
}

STDMETHODIMP CHalyardDoc::SetClientName(LPCWSTR szName) {
    if (!szName) return E_INVALIDARG;
    // The window shows whose object it is; the name is the client's own text.
    if (m_baseTitle.empty()) m_baseTitle = Title();
    const std::string name = fw::Narrow(szName);  // the framework's titles are UTF-8
    SetTitle(name.empty() ? m_baseTitle : m_baseTitle + " (" + name + ")");
    return S_OK;
}

STDMETHODIMP CHalyardDoc::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return m_points.EnumConnectionPoints(ppEnum);
}

STDMETHODIMP CHalyardDoc::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return m_points.FindConnectionPoint(riid, ppCP);
}

void CHalyardDoc::NotifyShutdown() {
    if (!m_shutdownPoint) return;
    // A client that has died cannot be told, and one that let go of the
    // object needs no telling; the others are told before they are cut off.  Each answer comes back on this thread, which serves
    // their calls meanwhile (a client that releases everything on the
    // notice does so from inside it).
    if (!m_clientGone && !m_finalReleasing)
        for (const auto& sink : m_shutdownPoint->Sinks()) sink->ShutdownRequest(kShutdownReason);
    m_shutdownPoint->DisconnectAll();
}
