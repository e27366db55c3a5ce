#include "ServerTableScan.h"

#include "ComPtr.h"
#include "OpcConstants.h"
#include "RegistryKey.h"
#include "TaskMem.h"
#include "ValueText.h"

#include <comcat.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

// Empty when the key cannot be opened.
fw::UniqueRegKey OpenKey(HKEY parent, const char* name) {
    fw::UniqueRegKey key;
    if (fw::OpenRegKey(parent, name, KEY_READ, key) != ERROR_SUCCESS) return fw::UniqueRegKey();
    return key;
}

bool IsOpcServer(const char* name) {
    const fw::UniqueRegKey server = OpenKey(HKEY_CLASSES_ROOT, name);
    return server && OpenKey(server.get(), "OPC");
}

// The ProgID a class is registered under; empty when it has none that fits
// a table entry.
std::string ProgIdOf(REFCLSID clsid) {
    LPOLESTR progId = nullptr;
    if (FAILED(ProgIDFromCLSID(clsid, &progId)) || !progId) return std::string();
    const fw::TaskMemPtr<wchar_t> owner(progId);
    const std::string text = WideToAnsi(progId);
    // Names that do not fit the document's field, or the code page, are
    // left out rather than listed under a name that opens nothing.
    if (text.empty() || text.size() >= kTextFieldSize || AnsiToWide(text) != progId) return std::string();
    return text;
}

std::vector<std::string> ServersOfCategories() {
    std::vector<std::string> found;
    fw::ComPtr<ICatInformation> categories;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatInformation, categories.put_void())))
        return found;
    // One category at a time: asked for several at once, some category
    // managers (Wine's) list only the classes that implement all of them.
    for (CATID category : {CATID_OPCDAServer10, CATID_OPCDAServer20, CATID_OPCDAServer30}) {
        fw::ComPtr<IEnumGUID> classes;
        if (FAILED(categories->EnumClassesOfCategories(1, &category, 0, nullptr, classes.put())) || !classes)
            continue;
        CLSID clsid;
        ULONG fetched = 0;
        while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
            const std::string progId = ProgIdOf(clsid);
            if (!progId.empty() && std::find(found.begin(), found.end(), progId) == found.end())
                found.push_back(progId);
        }
    }
    return found;
}

}  // namespace

ServerTable ScanServerTable() {
    std::vector<std::string> kept;
    for (DWORD index = 0;; ++index) {
        char name[kTextFieldSize];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (IsOpcServer(name)) kept.emplace_back(name, length);
    }
    std::reverse(kept.begin(), kept.end());
    for (const std::string& progId : ServersOfCategories())
        if (std::none_of(kept.begin(), kept.end(),
                         [&](const std::string& listed) { return _stricmp(listed.c_str(), progId.c_str()) == 0; }))
            kept.push_back(progId);
    ServerTable table;
    table.reserve(kept.size());
    for (const std::string& name : kept) {
        auto entry = std::make_unique<CServer>();
        entry->m_progId = AnsiToUtf8(name);  // the model's texts are UTF-8
        table.push_back(std::move(entry));
    }
    return table;
}

std::string ReadServerDescription(const std::string& progId) {
    // Table entries have ANSI names (see ScanServerTable).
    const std::optional<std::string> ansiName = Utf8ToExactAnsi(progId);
    if (!ansiName) return std::string();
    const fw::UniqueRegKey key = OpenKey(HKEY_CLASSES_ROOT, ansiName->c_str());
    if (!key) return std::string();
    wchar_t text[kTextFieldSize] = {};
    DWORD type = 0;
    DWORD size = sizeof text;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    // A value stored without its terminator still ends inside the buffer.
    const size_t chars = size / sizeof(wchar_t);
    return WideToUtf8(text, wcsnlen(text, chars < kTextFieldSize ? chars : kTextFieldSize));
}
