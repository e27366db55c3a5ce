#include "ServerTableScan.h"

#include "RegistryKey.h"

#include <cstring>
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
    ServerTable table;
    table.reserve(kept.size());
    for (auto name = kept.rbegin(); name != kept.rend(); ++name) {
        auto entry = std::make_unique<CServer>();
        entry->m_progId = *name;
        table.push_back(std::move(entry));
    }
    return table;
}

std::string ReadServerDescription(const std::string& progId) {
    const fw::UniqueRegKey key = OpenKey(HKEY_CLASSES_ROOT, progId.c_str());
    if (!key) return std::string();
    char text[kTextFieldSize] = {};
    DWORD type = 0;
    DWORD size = sizeof text;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    // A value stored without its terminator still ends inside the buffer.
    return std::string(text, strnlen(text, size < sizeof text ? size : sizeof text));
}
