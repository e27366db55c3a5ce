// How fast a server answers synchronous reads of a group's items: as many
// IOPCSyncIO::Read calls as fit into one second, counted with their errors.
#pragma once

#include "OpcInterfaces.h"

#include <vector>

struct ReadThroughput {
    long requests = 0;
    long errors = 0;     // calls that failed (S_FALSE, an answer with item codes, is no error)
    HRESULT lostWith = S_OK;  // the server's connection was lost with this code: the run stopped there
    long elapsedMs = 0;  // at least the run's length: the loop runs once at least
    long items = 0;

    long RequestsPerSecond() const { return elapsedMs > 0 ? requests * 1000L / elapsedMs : 0; }
    double MsPerRequest() const { return requests > 0 ? static_cast<double>(elapsedMs) / requests : 0.0; }
    long ValuesPerSecond() const {
        return elapsedMs > 0 ? static_cast<long>(static_cast<long long>(items) * requests * 1000 / elapsedMs) : 0;
    }
};

// Reads the items behind `handles` from `source` again and again for
// `durationMs` of wall-clock time.
ReadThroughput MeasureReads(IOPCSyncIO* io, OPCDATASOURCE source, const std::vector<OPCHANDLE>& handles,
                            long durationMs = 1000);
