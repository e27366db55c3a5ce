// The About box: program icon, name and version.
#pragma once

#include "Dialog.h"

class CAboutDialog : public fw::Dialog {
public:
    CAboutDialog();
};
