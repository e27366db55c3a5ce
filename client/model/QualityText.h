// The words for an OPC quality word (QQSSSSLL: quality, substatus, limit),
// as a list column or a console line shows them: "Good", "Uncertain: last
// usable", "Bad: comm failure, low limited".
#pragma once

#include <windows.h>

#include <string>

std::string QualityText(WORD quality);
