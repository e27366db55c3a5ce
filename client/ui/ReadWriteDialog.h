// "Read/Write": reads one item of a group from the device and writes a typed
// text to it, both synchronously and each within a time limit.  The dialog reads the item as it opens and
// again on "Read"; "Write" converts the new value text to the type of the
// last value read and sends it, without reading back.
#pragma once

#include "ClientRecords.h"
#include "Dialog.h"
#include "TimeLimitedCall.h"

#include <memory>
#include <string>

class ReadWriteDialog : public fw::Dialog {
public:
    // server: the group's server object as other threads reach it
    // (CServer::m_mta; null reads and writes nothing); group: the group whose item is read (it must
    // outlive the dialog); row: the item's position in the group (a row out
    // of range reads and writes nothing); itemName: the text the item list
    // shows for it; limitMs: how long a read or write may take before the
    // user is told the server does not answer and can go on.
    ReadWriteDialog(std::shared_ptr<MtaServer> server, const CGroup& group, int row, std::string itemName,
                    DWORD limitMs = kUserCallLimitMs);

    // The item name's field size in characters; the value and the new value
    // are whole, however long.
    static constexpr size_t kMaxItemName = 100;

    std::string itemName;        // UTF-8, like the texts below
    std::string valueText;       // of the last successful read
    std::string newValueText;
    VARTYPE valueType = VT_EMPTY;  // of the last successful read
    bool valueTypeKnown = false;   // a read has succeeded

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnCommand(UINT id) override;
    // OK only closes: the texts are taken for a write, never on the way out.
    void OnOK() override { EndDialog(IDOK); }

private:
    void Read();
    void Write();
    const CItem* Item() const;
    void Warn(const std::string& text);
    std::string NoAnswerText() const;

    std::shared_ptr<MtaServer> server_;
    DWORD limitMs_;
    const CGroup& group_;
    int row_;
};
