// How many subscribed groups one server process keeps on time: clients in
// processes of their own (this program started again in client mode) add
// groups in steps until a step's groups no longer keep their period.
#pragma once

#include "ResultTable.h"

#include <string>

namespace bench {

// Steps up from the target count while every group keeps its period and the
// next step fits in what is left of budgetMs.
void MeasureCapacity(ResultTable& table, double budgetMs);

// Client mode: "--capacity-client GROUPS STEP INDEX RESULT_FILE".
inline constexpr const char* kCapacityClientSwitch = "--capacity-client";
int RunCapacityClient(int argc, char** argv);

}  // namespace bench
