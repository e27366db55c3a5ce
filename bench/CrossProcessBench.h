// The figures a client sees across processes: the transport floor, synchronous
// reads of 1 to 10,000 items, AddItems and AddGroup/RemoveGroup.
#pragma once

#include "ResultTable.h"

namespace bench {

void MeasureTransportAndReads(ResultTable& table);
void MeasureItemsAndGroups(ResultTable& table);

}  // namespace bench
