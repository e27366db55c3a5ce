// Data-change subscriptions as a client receives them: the period each group
// keeps, the callbacks and values per second, and the server's CPU share.
#pragma once

#include "ResultTable.h"

namespace bench {

void MeasureSubscriptions(ResultTable& table);

}  // namespace bench
