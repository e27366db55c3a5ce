// The library's only export.  The driver's state lives as long as the module:
// the host never unloads it, so the state is process-wide.
#include <windows.h>

#include <cstdint>
#include <new>

#include "SimulationDriver.h"
#include "TarnProtocol.h"

namespace {

// Every write is shown to the user, who must close the box before the write
// completes; the host holds its driver lock meanwhile, by design.
class MessageBoxWriteNotifier final : public tarn::WriteNotifier {
public:
    void ShowWrite(const std::string& text) override {
        MessageBoxA(nullptr, text.c_str(), "Write", MB_OK);
    }
};

MessageBoxWriteNotifier g_writeNotifier;
tarn::SimulationDriver g_driver(g_writeNotifier);

}  // namespace

extern "C" __declspec(dllexport) int32_t TARN_CALL TarnMain(tarn::TarnRequest* request) {
    // No exception may reach a caller that knows only result codes; running out
    // of memory while formatting or parsing is a failed request.
    try {
        return g_driver.Dispatch(request);
    } catch (...) {
        return tarn::kTarnFailed;
    }
}
