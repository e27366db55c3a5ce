// Propagating failures: the first failed HRESULT of a sequence of calls is
// what the caller gets.
#pragma once

#include <winerror.h>

#define RETURN_IF_FAILED(expression)              \
    do {                                          \
        const HRESULT fw_hr_ = (expression);      \
        if (FAILED(fw_hr_)) return fw_hr_;        \
    } while (0)
