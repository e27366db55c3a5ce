#include "PerformanceDialog.h"

#include "DataExchange.h"
#include "GroupInterface.h"
#include "ReadThroughput.h"
#include "ToolResource.h"

#include <vector>

PerformanceDialog::PerformanceDialog(IUnknown* server, const CGroup& group)
    : fw::Dialog(IDD_PERFORMANCE), server_(server), group_(group) {}

void PerformanceDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_PERF_REQUESTS, texts.requests);
    dx.Text(IDC_PERF_TIME, texts.time);
    dx.Text(IDC_PERF_REQUEST_RATE, texts.requestRate);
    dx.Text(IDC_PERF_REQUEST_TIME, texts.requestTime);
    dx.Text(IDC_PERF_VALUE_RATE, texts.valueRate);
    dx.Text(IDC_PERF_ITEMS, texts.items);
    dx.Text(IDC_PERF_ERRORS, texts.errors);
}

bool PerformanceDialog::OnCommand(UINT id) {
    switch (id) {
    case IDC_PERF_CACHE:
        Run(OPC_DS_CACHE);
        return true;
    case IDC_PERF_DEVICE:
        Run(OPC_DS_DEVICE);
        return true;
    default:
        return false;
    }
}

void PerformanceDialog::Run(OPCDATASOURCE source) {
    fw::ComPtr<IOPCSyncIO> io;
    switch (GetGroupInterface(server_, group_.m_name, io)) {
    case GroupAccess::NoServerInterface:
        return;
    case GroupAccess::GroupNotFound:
        texts = NoRequestTexts();
        break;
    case GroupAccess::Reached: {
        // Taken anew for every run: items may have come or gone since the last.
        std::vector<OPCHANDLE> handles;
        for (const auto& item : group_.m_items) handles.push_back(item->m_hServer);
        texts = MeasuredTexts(MeasureReads(io.get(), source, handles));
        break;
    }
    }
    UpdateData(false);
}
