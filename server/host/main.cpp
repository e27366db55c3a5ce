// VELMORA_OPC: the OPC DA server program.
#include "HalyardApp.h"

#include <windows.h>

namespace {
CHalyardApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    const int rc = theApp.Run(instance, showCommand);
    return theApp.CommandExitCode().value_or(rc);
}
