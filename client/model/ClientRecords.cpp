#include "ClientRecords.h"

#include "AdviseSink.h"
#include "DataCallback.h"
#include "ShutdownSink.h"

CGroup::CGroup() = default;

CServer::CServer() = default;

CServer::~CServer() {
    if (m_pShutdownSink) m_pShutdownSink->Detach();
}

CGroup::~CGroup() {
    // The server may still hold the sink after the group is gone: it must
    // not reach back into freed records.
    if (m_pSink) m_pSink->DetachGroup();
    if (m_pCallback) m_pCallback->DetachGroup();
}

std::string FitTextField(const std::string& text, size_t fieldSize) {
    size_t end = 0;
    while (end < text.size()) {
        const size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1;
        if (end + step > fieldSize) break;
        end += step;
    }
    return text.substr(0, end);
}
