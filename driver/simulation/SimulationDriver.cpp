#include "SimulationDriver.h"

#include <cstring>

#include "AddressText.h"
#include "DriverInfo.h"
#include "StartupFile.h"
#include "TextFormat.h"
#include "ValueCodec.h"

namespace tarn {
namespace {

// Outputs of the address parser that mean nothing to the host but are part
// of what this driver has always answered.
constexpr int32_t kAddressReserved20 = 3;
constexpr int32_t kAddressReserved28 = -1;
constexpr int32_t kAddressParam = 16;

// Canonical VARTYPEs of the five tags, by record index.
constexpr std::array<int32_t, kSimulationTagCount> kTagTypes = {
    2,   // VT_I2
    3,   // VT_I4
    11,  // VT_BOOL
    4,   // VT_R4
    5,   // VT_R8
};

void PutText(char (&field)[TarnTextSize], const std::string& text) {
    const size_t n = text.size() < TarnTextSize ? text.size() : TarnTextSize - 1;
    std::memcpy(field, text.data(), n);  // the record was zeroed: the NUL is there
}

}  // namespace

int32_t DispatchSlot(int32_t code) {
    // 64-bit arithmetic: the most negative code must not overflow on the way.
    const int64_t wide = code;
    const int64_t slot = wide <= 15 ? wide - 1 : wide - 86;
    return (slot >= 0 && slot < kDispatchSlots) ? static_cast<int32_t>(slot) : -1;
}

const std::array<SimulationDriver::Handler, kDispatchSlots> SimulationDriver::kHandlers = {
    &SimulationDriver::ColdStartHandler,     //  1 ColdStart
    &SimulationDriver::Acknowledge,          //  2 WarmStart
    &SimulationDriver::AddressParser,        //  3 SingleAddressParser
    &SimulationDriver::AddressParser,        //  4 BlockAddressParser
    &SimulationDriver::Acknowledge,          //  5 SingleRead
    &SimulationDriver::Acknowledge,          //  6 BlockRead
    &SimulationDriver::Acknowledge,          //  7 SingleWrite
    nullptr,                                 //  8
    nullptr,                                 //  9
    &SimulationDriver::Acknowledge,          // 10 BlockWrite
    &SimulationDriver::EndTarnHandler,       // 11 EndTarn
    nullptr,                                 // 12 CloseCom
    nullptr,                                 // 13 ReOpenCom
    &SimulationDriver::GetTarnInfoHandler,   // 14 GetTarnInfo
    nullptr,                                 // 15 ChangeTarnParams
    &SimulationDriver::OpcBlockReadHandler,  // 101 OpcBlockRead
    &SimulationDriver::OpcWriteHandler,      // 102 OpcWrite
    &SimulationDriver::OpcTagListHandler,    // 103 OpcTagList
    &SimulationDriver::OpcTagCountHandler,   // 104 OpcTagCount
    nullptr,                                 // 105
};

SimulationDriver::SimulationDriver(WriteNotifier& notifier, StationList::Allocator allocateStation)
    : notifier_(notifier), stations_(allocateStation) {}

int32_t SimulationDriver::Dispatch(TarnRequest* request) {
    if (!request) return kTarnFailed;
    const int32_t code = request->code;
    // An ended driver plays dead to everything but the two requests that can
    // revive it; the test uses the code as sent, so 86 and 99 are not exempt.
    if (ended_ && code != ColdStart && code != GetTarnInfo) return TarnOk;
    const int32_t slot = DispatchSlot(code);
    if (slot < 0 || !kHandlers[slot]) return TarnNotSupported;
    return (this->*kHandlers[slot])(*request);
}

int32_t SimulationDriver::Acknowledge(TarnRequest&) { return TarnOk; }

int32_t SimulationDriver::ColdStartHandler(TarnRequest& request) {
    // The parameter's only home is the context block; without one the
    // request cannot be carried out, so nothing changes (not even the ended
    // state).
    if (!request.context) return kTarnFailed;
    ended_ = false;
    const int32_t parameter = ReadStartupParameter(request.instance);
    std::memcpy(request.context, &parameter, sizeof parameter);
    return TarnOk;
}

int32_t SimulationDriver::AddressParser(TarnRequest& request) {
    auto* address = static_cast<TarnAddress*>(request.data);
    if (!address || !address->address) return kTarnFailed;
    const ParsedAddress parsed = ParseAddress(address->address);
    const std::optional<int32_t> device = stations_.FindOrAppend(parsed.stationName, parsed.stationNumber);
    if (!device) return kTarnFailed;
    address->device = *device;
    address->reserved20 = kAddressReserved20;
    address->number = parsed.addressNumber;
    address->reserved28 = kAddressReserved28;
    address->param = kAddressParam;
    return TarnOk;
}

int32_t SimulationDriver::EndTarnHandler(TarnRequest&) {
    stations_.Clear();
    ended_ = true;
    return TarnOk;
}

int32_t SimulationDriver::GetTarnInfoHandler(TarnRequest& request) {
    auto* info = static_cast<TarnDriverInfo*>(request.data);
    if (!info) return kTarnFailed;
    FillDriverInfo(*info);
    return TarnOk;
}

int32_t SimulationDriver::OpcBlockReadHandler(TarnRequest& request) {
    auto* items = static_cast<TarnIoItem*>(request.data);
    // A request with elements but no array is refused whole, before the
    // running value moves: a refused read is not a read.
    if (request.count > 0 && !items) return kTarnFailed;

    running_ += kRunningStep;
    const double running = running_;  // every element of one request sees the same value
    for (int32_t i = 0; i < request.count; ++i) {
        TarnIoItem& item = items[i];
        // An element without a value cache cannot take a value: it is reported
        // like an unknown type instead of taking the whole request down.
        item.status = item.value ? StoreSimulatedValue(running, item.type, item.value) : kStatusUnknownType;
    }
    return TarnOk;
}

int32_t SimulationDriver::OpcWriteHandler(TarnRequest& request) {
    auto* item = static_cast<TarnIoItem*>(request.data);
    if (!item || !item->value) return kTarnFailed;
    const WrittenValue written = ReadWrittenValue(item->type, item->value);
    if (written.known) running_ = written.number;
    // The box is shown for an unknown type too, so that the user sees that a
    // write arrived; the running value keeps its course then.
    notifier_.ShowWrite(written.text);
    return TarnOk;
}

int32_t SimulationDriver::OpcTagListHandler(TarnRequest& request) {
    // Always five records, whatever count says: the host sized the array from
    // OpcTagCount.
    auto* records = static_cast<TarnTagRecord*>(request.data);
    if (!records) return kTarnFailed;
    for (int32_t i = 0; i < kSimulationTagCount; ++i) {
        TarnTagRecord& record = records[i];
        std::memset(&record, 0, sizeof record);
        PutText(record.address, FormatText("%d", static_cast<int>(i)));
        PutText(record.name, FormatText("Name%d", static_cast<int>(i)));
        record.type = kTagTypes[static_cast<size_t>(i)];
    }
    return TarnOk;
}

int32_t SimulationDriver::OpcTagCountHandler(TarnRequest& request) {
    if (!request.data) return kTarnFailed;
    const int32_t count = kSimulationTagCount;
    std::memcpy(request.data, &count, sizeof count);
    return TarnOk;
}

}  // namespace tarn
