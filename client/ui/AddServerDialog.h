// "Add OPC Server": picks one entry of the server table.  The list shows the
// ProgIDs in table order, so a list position is a table index.
#pragma once

#include "Dialog.h"

#include <string>
#include <vector>

class AddServerDialog : public fw::Dialog {
public:
    // progIds: the server table's ProgIDs, in table order.
    explicit AddServerDialog(const std::vector<std::string>& progIds);

    // After OK: the chosen table index, -1 when nothing was selected (an
    // empty table), and that entry's ProgID (empty with -1).  Text typed into
    // either box is not used.
    int index() const { return index_; }
    const std::string& progId() const { return progId_; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnOK() override;

private:
    std::vector<std::string> progIds_;
    int index_;
    std::string progId_;
};
