#include "BlockingCall.h"

namespace drivertest {
namespace {

BOOL CALLBACK PressOk(HWND window, LPARAM) {
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

}  // namespace

BlockingCall::BlockingCall(tarn::TarnMainProc entry, const tarn::TarnRequest& request)
    : entry_(entry), request_(request) {
    thread_.reset(CreateThread(nullptr, 0, &BlockingCall::Run, this, 0, &threadId_));
}

BlockingCall::~BlockingCall() {
    if (!thread_) return;
    while (WaitForSingleObject(thread_.get(), 200) == WAIT_TIMEOUT) EnumThreadWindows(threadId_, PressOk, 0);
}

bool BlockingCall::WaitDone(DWORD timeoutMs) {
    return thread_ && WaitForSingleObject(thread_.get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI BlockingCall::Run(void* self) {
    auto* call = static_cast<BlockingCall*>(self);
    call->result_ = call->entry_(&call->request_);
    return 0;
}

}  // namespace drivertest
