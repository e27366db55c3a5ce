// OSTREL: the OPC client test tool.
#include "OstrelApp.h"

#include <windows.h>

namespace {
COstrelApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) { return theApp.Run(instance, showCommand); }
