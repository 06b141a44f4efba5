// The program's clock. Timestamps keep the day-count form, but they advance with a
// monotonic clock anchored once to the wall clock, so a clock change or a daylight-saving
// switch never bends a measured span.
#pragma once

#include "common/global_functions.h"

// The current time as a day count (see TDateTime).
TDateTime Now();

// A wall-clock time_t as a local day count.
TDateTime Day_Count_From_Time(std::int64_t unix_seconds, long gmt_offset_seconds);
