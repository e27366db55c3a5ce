// "OPC Interfaces": which of the OPC interfaces a server and its groups
// give, as a list of interface name, whether OPC requires it, and whether
// the server gave it.  The group interfaces are asked of the server's first
// group; a server without one gets a temporary group "Group1" for the
// questions, removed again before the list is shown.
#pragma once

#include "Dialog.h"

#include <optional>
#include <string>

class InterfacesDialog : public fw::Dialog {
public:
    // server: the server object asked (borrowed while the dialog opens);
    // firstGroup: the name of the server's first group, if it has one.
    InterfacesDialog(IUnknown* server, std::optional<std::string> firstGroup);

protected:
    bool OnInitDialog() override;

private:
    void InsertColumns();
    void AddRow(const char* name, const char* required, const char* obtained);

    IUnknown* server_;
    std::optional<std::string> firstGroup_;
    HWND list_ = nullptr;
    int rows_ = 0;
};
