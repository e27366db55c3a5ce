/* DllRegisterServer and DllUnregisterServer of the proxy/stub DLL.
 *
 * The interfaces we marshal are the standard OPC ones, which the OPC
 * Foundation's core components and other vendors' servers register with
 * proxies of their own.  rpcrt4's stock registration would point every one of
 * them at our DLL and, on unregistration, delete them outright, breaking those
 * programs.  So an interface is written only while nobody else serves it, and
 * removed only while it still names our proxy class. */
#include <windows.h>
#include <objbase.h>
#include <rpcproxy.h>

#include <stdlib.h>

/* Defined by widl's dlldata.c (DLLDATA_ROUTINES): the proxy files of this DLL
 * and the CLSID of its proxy/stub factory.  Only the stub side of the tables
 * is read here, whose layout does not depend on USE_STUBLESS_PROXY. */
void RPC_ENTRY GetProxyDllInfo(const ProxyFileInfo ***files, const CLSID **clsid);

HRESULT WINAPI DllRegisterServer(void);
HRESULT WINAPI DllUnregisterServer(void);

#define GUID_CHARS 39 /* "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and its end */
#define KEY_CHARS 128 /* the longest, Interface\{guid}\ProxyStubClsid32, takes 66 */

/* Who serves an interface or holds our class key. */
enum claim { CLAIM_NONE, CLAIM_OURS, CLAIM_OTHER };

static HRESULT hr_from_win32(LONG rc)
{
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

static HRESULT first_failure(HRESULT so_far, HRESULT next)
{
    return FAILED(so_far) ? so_far : next;
}

/* "<prefix>{guid}<suffix>" into key (KEY_CHARS). */
static void guid_key(WCHAR *key, const WCHAR *prefix, const GUID *guid, const WCHAR *suffix)
{
    WCHAR text[GUID_CHARS];
    StringFromGUID2(guid, text, GUID_CHARS);
    lstrcpyW(key, prefix);
    lstrcatW(key, text);
    lstrcatW(key, suffix);
}

/* Compares the default value of HKCR\key with expected, ignoring case.  An
 * absent key or value, or an empty one, is nobody's; a value that cannot be
 * read (longer than expected, not a string, no access) is someone else's, so
 * that it is never overwritten or deleted by mistake. */
static enum claim claim_of(const WCHAR *key, const WCHAR *expected)
{
    /* Room for one character more than expected: a longer value then fails
     * to fit, and is not ours. */
    DWORD bytes = (DWORD)((lstrlenW(expected) + 2) * sizeof(WCHAR));
    WCHAR *value = HeapAlloc(GetProcessHeap(), 0, bytes);
    enum claim claim = CLAIM_OTHER;
    LONG rc;
    if (!value) return CLAIM_OTHER;
    rc = RegGetValueW(HKEY_CLASSES_ROOT, key, NULL, RRF_RT_REG_SZ, NULL, value, &bytes);
    if (rc == ERROR_FILE_NOT_FOUND || (rc == ERROR_SUCCESS && !value[0]))
        claim = CLAIM_NONE;
    else if (rc == ERROR_SUCCESS && lstrcmpiW(value, expected) == 0)
        claim = CLAIM_OURS;
    HeapFree(GetProcessHeap(), 0, value);
    return claim;
}

static HRESULT set_string(const WCHAR *key, const WCHAR *name, const WCHAR *value)
{
    HKEY handle;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &handle, NULL);
    if (rc != ERROR_SUCCESS) return hr_from_win32(rc);
    rc = RegSetValueExW(handle, name, 0, REG_SZ, (const BYTE *)value,
                        (DWORD)((lstrlenW(value) + 1) * sizeof(WCHAR)));
    RegCloseKey(handle);
    return hr_from_win32(rc);
}

static HRESULT delete_tree(const WCHAR *key)
{
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
        /* The tree call may leave the emptied key itself behind. */
        rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, key);
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    }
    return hr_from_win32(rc);
}

/* Full path of this DLL, wherever it was loaded from; null on failure (the
 * caller frees it with HeapFree). */
static WCHAR *own_path(HRESULT *hr)
{
    HMODULE self;
    DWORD chars = MAX_PATH;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (const WCHAR *)(const void *)&own_path, &self)) {
        *hr = HRESULT_FROM_WIN32(GetLastError());
        return NULL;
    }
    for (;;) {
        WCHAR *path = HeapAlloc(GetProcessHeap(), 0, chars * sizeof(WCHAR));
        DWORD length;
        if (!path) {
            *hr = E_OUTOFMEMORY;
            return NULL;
        }
        length = GetModuleFileNameW(self, path, chars);
        if (length == 0) {
            *hr = HRESULT_FROM_WIN32(GetLastError());
            HeapFree(GetProcessHeap(), 0, path);
            return NULL;
        }
        if (length < chars) {
            *hr = S_OK;
            return path;
        }
        /* Truncated: a long path.  Windows paths end at 32767 characters. */
        HeapFree(GetProcessHeap(), 0, path);
        if (chars >= 32768) {
            *hr = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
            return NULL;
        }
        chars *= 2;
    }
}

/* Calls visit for every interface this DLL marshals, with its name and its
 * method count (IUnknown's three included); the first failure is returned,
 * but every interface is visited. */
typedef HRESULT (*interface_visitor)(const IID *iid, const char *name, ULONG methods, const WCHAR *ours);

static HRESULT for_each_interface(interface_visitor visit, const WCHAR *ours)
{
    const ProxyFileInfo **files;
    const CLSID *clsid;
    HRESULT hr = S_OK;
    GetProxyDllInfo(&files, &clsid);
    for (; *files; ++files) {
        const ProxyFileInfo *file = *files;
        unsigned short i;
        for (i = 0; i < file->TableSize && file->pStubVtblList[i]; ++i) {
            const CInterfaceStubHeader *header = &file->pStubVtblList[i]->header;
            hr = first_failure(hr, visit(header->piid, file->pNamesArray[i], header->DispatchTableCount, ours));
        }
    }
    return hr;
}

static HRESULT register_interface(const IID *iid, const char *name, ULONG methods, const WCHAR *ours)
{
    WCHAR key[KEY_CHARS], sub[KEY_CHARS], wide_name[128], count[16];
    HRESULT hr;
    guid_key(sub, L"Interface\\", iid, L"\\ProxyStubClsid32");
    /* Another program's proxy serves it: that registration stays theirs. */
    if (claim_of(sub, ours) == CLAIM_OTHER) return S_OK;

    guid_key(key, L"Interface\\", iid, L"");
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, ARRAYSIZE(wide_name)))
        return HRESULT_FROM_WIN32(GetLastError());
    _ultow(methods, count, 10);
    hr = set_string(key, NULL, wide_name);
    if (SUCCEEDED(hr)) {
        guid_key(key, L"Interface\\", iid, L"\\NumMethods");
        hr = set_string(key, NULL, count);
    }
    /* Last: an interface half written stays unclaimed and is retried. */
    if (SUCCEEDED(hr)) hr = set_string(sub, NULL, ours);
    return hr;
}

static HRESULT unregister_interface(const IID *iid, const char *name, ULONG methods, const WCHAR *ours)
{
    WCHAR key[KEY_CHARS];
    (void)name;
    (void)methods;
    guid_key(key, L"Interface\\", iid, L"\\ProxyStubClsid32");
    if (claim_of(key, ours) != CLAIM_OURS) return S_OK;
    guid_key(key, L"Interface\\", iid, L"");
    return delete_tree(key);
}

/* Our proxy class and its "{...}" text (GUID_CHARS). */
static const CLSID *proxy_clsid(WCHAR *text)
{
    const ProxyFileInfo **files;
    const CLSID *clsid;
    GetProxyDllInfo(&files, &clsid);
    StringFromGUID2(clsid, text, GUID_CHARS);
    return clsid;
}

HRESULT WINAPI DllRegisterServer(void)
{
    WCHAR clsid_text[GUID_CHARS], key[KEY_CHARS];
    const CLSID *clsid = proxy_clsid(clsid_text);
    HRESULT hr;
    WCHAR *path = own_path(&hr);
    if (!path) return hr;

    /* The class always names the copy registered last. */
    guid_key(key, L"CLSID\\", clsid, L"");
    hr = set_string(key, NULL, L"PSFactoryBuffer");
    guid_key(key, L"CLSID\\", clsid, L"\\InprocServer32");
    hr = first_failure(hr, set_string(key, NULL, path));
    hr = first_failure(hr, set_string(key, L"ThreadingModel", L"Both"));
    HeapFree(GetProcessHeap(), 0, path);

    return first_failure(hr, for_each_interface(register_interface, clsid_text));
}

HRESULT WINAPI DllUnregisterServer(void)
{
    WCHAR clsid_text[GUID_CHARS], key[KEY_CHARS];
    const CLSID *clsid = proxy_clsid(clsid_text);
    enum claim server;
    HRESULT hr;
    WCHAR *path = own_path(&hr);
    if (!path) return hr;

    guid_key(key, L"CLSID\\", clsid, L"\\InprocServer32");
    server = claim_of(key, path);
    HeapFree(GetProcessHeap(), 0, path);

    /* Our class registered from another folder (a second installation)
     * keeps the interfaces: they are that copy's now. */
    if (server == CLAIM_OTHER) return S_OK;
    hr = for_each_interface(unregister_interface, clsid_text);
    if (server == CLAIM_OURS) {
        guid_key(key, L"CLSID\\", clsid, L"");
        hr = first_failure(hr, delete_tree(key));
    }
    return hr;
}
