/* Forced into every generated proxy source.  MinGW's unknwn.h declares the
 * IUnknown proxy thunks that stubless proxy vtables point at only for C++;
 * the generated proxies are C. */
#ifndef VELMORA_PROXY_PRELUDE_H
#define VELMORA_PROXY_PRELUDE_H

/* rpcproxy.h must not come in here: the generated file defines
 * USE_STUBLESS_PROXY first, which changes the proxy header layout. */
#include <objbase.h>

HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);

#endif
