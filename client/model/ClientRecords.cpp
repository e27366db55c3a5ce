#include "ClientRecords.h"

#include "AdviseSink.h"
#include "DataCallback.h"
#include "ShutdownSink.h"
#include "TextEncoding.h"

#include <cstring>

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

std::string FitTextField(const std::string& ansiText, size_t fieldSize) {
    size_t end = 0;
    while (end < ansiText.size()) {
        const size_t step = IsDBCSLeadByte(static_cast<BYTE>(ansiText[end])) ? 2 : 1;
        if (end + step > fieldSize) break;
        end += step;
    }
    return ansiText.substr(0, end);
}

FieldCheck CheckDocumentField(const std::string& text) {
    FieldCheck check;
    const std::optional<std::string> ansi = Utf8ToExactAnsi(text);
    // A NUL would end the field early: the text would be read back shorter.
    if (!ansi || text.size() != std::strlen(text.c_str())) {
        check.fit = FieldFit::NotAnsi;
        return check;
    }
    check.ansiBytes = ansi->size();
    if (check.ansiBytes > kTextFieldSize) check.fit = FieldFit::TooLong;
    return check;
}

std::string TextForMessage(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // UTF-8 continuation bytes are 10xxxxxx: back up to a character's start.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + "...";
}
