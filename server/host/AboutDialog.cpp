#include "AboutDialog.h"

#include "resource.h"

CAboutDialog::CAboutDialog() : fw::Dialog(IDD_ABOUTBOX) {}
