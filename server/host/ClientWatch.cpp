#include "ClientWatch.h"

#include <rpc.h>
#include <rpcdcep.h>

bool ClientWatch::Start(DWORD pid, HWND notify, UINT message) {
    Stop();
    if (pid == 0 || pid == GetCurrentProcessId()) return false;
    process_.reset(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process_) return false;
    pid_ = pid;
    notify_ = notify;
    message_ = message;
    if (!RegisterWaitForSingleObject(&wait_, process_.get(), Ended, this, INFINITE,
                                     WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD)) {
        wait_ = nullptr;
        process_.reset();
        pid_ = 0;
        return false;
    }
    return true;
}

void ClientWatch::Stop() {
    if (wait_) {
        UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
        wait_ = nullptr;
    }
    process_.reset();
    pid_ = 0;
}

void CALLBACK ClientWatch::Ended(void* param, BOOLEAN) {
    auto* watch = static_cast<ClientWatch*>(param);
    PostMessageW(watch->notify_, watch->message_, watch->pid_, 0);
}

DWORD CallingProcessId() {
    unsigned long pid = 0;
    if (I_RpcBindingInqLocalClientPID(nullptr, &pid) != RPC_S_OK) return 0;
    return static_cast<DWORD>(pid);
}
