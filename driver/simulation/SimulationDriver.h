// The simulation driver: answers the request protocol with five tags fed from
// one running value, without any controller behind it.  One instance holds
// the library's process-wide state; every server object of the host shares
// it, each with its own context block.
#pragma once

#include <array>
#include <cstdint>

#include "StationList.h"
#include "TarnProtocol.h"
#include "WriteNotifier.h"

namespace tarn {

// Result of a request whose buffer is missing or cannot be served.
constexpr int32_t kTarnFailed = 1;

constexpr double kInitialRunningValue = 1.0;
constexpr double kRunningStep = 1.1;
constexpr int32_t kSimulationTagCount = 5;

// Handler slot of a request code: 1..15 take slots 0..14 and codes above 15
// take code - 86, so 101..105 land on 15..19 and 86..100 alias 1..15.  -1
// when the slot falls outside the table.
int32_t DispatchSlot(int32_t code);
constexpr int32_t kDispatchSlots = 20;

class SimulationDriver {
public:
    explicit SimulationDriver(WriteNotifier& notifier,
                              StationList::Allocator allocateStation = &StationList::HeapAllocate);
    SimulationDriver(const SimulationDriver&) = delete;
    SimulationDriver& operator=(const SimulationDriver&) = delete;

    // Answers one request: 0 on success, 2 when unsupported, 1 on failure.
    int32_t Dispatch(TarnRequest* request);

    bool ended() const { return ended_; }
    double runningValue() const { return running_; }
    const StationList& stations() const { return stations_; }

private:
    using Handler = int32_t (SimulationDriver::*)(TarnRequest&);
    static const std::array<Handler, kDispatchSlots> kHandlers;

    int32_t Acknowledge(TarnRequest&);  // requests the simulation accepts without effect
    int32_t ColdStartHandler(TarnRequest& request);
    int32_t AddressParser(TarnRequest& request);
    int32_t EndTarnHandler(TarnRequest& request);
    int32_t GetTarnInfoHandler(TarnRequest& request);
    int32_t OpcBlockReadHandler(TarnRequest& request);
    int32_t OpcWriteHandler(TarnRequest& request);
    int32_t OpcTagListHandler(TarnRequest& request);
    int32_t OpcTagCountHandler(TarnRequest& request);

    WriteNotifier& notifier_;
    bool ended_ = false;
    double running_ = kInitialRunningValue;
    StationList stations_;
};

}  // namespace tarn
