#include "AddGroupDialog.h"

#include "DataExchange.h"
#include "resource.h"

AddGroupDialog::AddGroupDialog() : fw::Dialog(IDD_ADD_GROUP) {}

void AddGroupDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Check(IDC_ACTIVE, active);
    dx.Check(IDC_DATA_CALLBACK, dataCallback);
    dx.Int(IDC_TIME_BIAS, timeBias);
    dx.Float(IDC_DEADBAND, percentDeadband);
    dx.UInt(IDC_LOCALE_ID, localeId);
    dx.Text(IDC_GROUP_NAME, name, kMaxNameLength);
    dx.UInt(IDC_UPDATE_RATE, updateRate);
}
