#include "SimulationLibrary.h"

#include "WineTest.h"

namespace drivertest {

bool DriverModuleMapped() { return GetModuleHandleA(kDriverFileName) != nullptr; }

bool SimulationLibrary::Load() {
    Unload();
    module_ = LoadLibraryA(testsupport::BinPath(kDriverFileName).c_str());
    if (!module_) return false;
    entry_ = reinterpret_cast<tarn::TarnMainProc>(
        reinterpret_cast<void*>(GetProcAddress(module_, tarn::TarnEntryName)));
    return entry_ != nullptr;
}

bool SimulationLibrary::Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    entry_ = nullptr;
    return !DriverModuleMapped();
}

}  // namespace drivertest
