// TARNWNSIMUL.dll loaded the way the server loads a driver: LoadLibraryA and
// GetProcAddress("TarnMain").  The driver's state lives in the module, so
// unloading and loading again starts from a freshly loaded driver.
#pragma once

#include <windows.h>

#include <cstdint>

#include "TarnProtocol.h"

namespace drivertest {

constexpr const char* kDriverFileName = "TARNWNSIMUL.dll";

// True while any copy of the driver is mapped into this process.
bool DriverModuleMapped();

class SimulationLibrary {
public:
    SimulationLibrary() = default;
    ~SimulationLibrary() { Unload(); }
    SimulationLibrary(const SimulationLibrary&) = delete;
    SimulationLibrary& operator=(const SimulationLibrary&) = delete;

    // Loads the driver from the build's binary folder; false when the file or
    // its export is missing.
    bool Load();
    // Frees the module; true when it is then really gone from the process.
    bool Unload();

    tarn::TarnMainProc entry() const { return entry_; }
    int32_t Call(tarn::TarnRequest& request) const { return entry_(&request); }

private:
    HMODULE module_ = nullptr;
    tarn::TarnMainProc entry_ = nullptr;
};

}  // namespace drivertest
