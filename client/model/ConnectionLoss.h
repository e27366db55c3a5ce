// Telling a server that has gone from one that refused a request: the RPC
// layer answers for a dead, disconnected or unreachable server with codes of
// its own, whatever the method.
#pragma once

#include <windows.h>

// The quality an item of a lost server shows: "Bad: not connected".
constexpr WORD kQualityNotConnected = 0x08;

inline bool IsConnectionLost(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
    case 0x80010108UL:  // RPC_E_DISCONNECTED
    case 0x80010007UL:  // RPC_E_SERVER_DIED
    case 0x80010012UL:  // RPC_E_SERVER_DIED_DNE
    case 0x800706BAUL:  // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEUL:  // RPC_S_CALL_FAILED
    case 0x800706BFUL:  // RPC_S_CALL_FAILED_DNE
    case 0x800401FDUL:  // CO_E_OBJNOTCONNECTED
        return true;
    default:
        return false;
    }
}
