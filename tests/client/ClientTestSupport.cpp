#include "ClientTestSupport.h"

#include "ComPtr.h"
#include "Processes.h"
#include "WineTest.h"

#include <iterator>

namespace clienttest {

NodeHandle RecordingUi::InsertConnectionNode(const std::string& progId) {
    nodes[++last] = {0, progId};
    return last;
}

NodeHandle RecordingUi::InsertGroupNode(NodeHandle connection, const std::string& name) {
    nodes[++last] = {connection, name};
    return last;
}

void RecordingUi::DeleteNode(NodeHandle node) {
    for (auto it = nodes.begin(); it != nodes.end();)
        it = it->second.parent == node ? nodes.erase(it) : std::next(it);
    nodes.erase(node);
}

bool RegisterOnce(const char* exe) {
    return testsupport::RunToEnd("\"" + testsupport::BinPath(exe) + "\" /RegServer", 60000) == 0;
}

int IndexOf(const ServerTable& table, const char* progId) {
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i]->m_progId == progId) return static_cast<int>(i);
    return -1;
}

int ServerItemCount(CGroup& group) {
    fw::ComPtr<IEnumOPCItemAttributes> items;
    if (!group.m_pItemMgt ||
        FAILED(group.m_pItemMgt->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(items.put()))) ||
        !items)
        return -1;
    int count = 0;
    for (;;) {
        OPCITEMATTRIBUTES* attributes = nullptr;
        ULONG fetched = 0;
        const HRESULT hr = items->Next(1, &attributes, &fetched);
        if (attributes) {
            CoTaskMemFree(attributes->szItemID);
            CoTaskMemFree(attributes->szAccessPath);
            CoTaskMemFree(attributes->pBlob);
            VariantClear(&attributes->vEUInfo);
            CoTaskMemFree(attributes);
        }
        if (hr != S_OK || fetched != 1) break;
        ++count;
    }
    return count;
}

}  // namespace clienttest
