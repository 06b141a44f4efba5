// The plan's last test and the rate arithmetic.
#pragma once

#include <cstdint>

#include "common/global_functions.h"
#include "common/run_result.h"

constexpr int kLastTest = kPlannedTestCount - 1;  // tests 0..17

// MB/s of counts blocks of buffersize bytes moved between two timestamps; a span of 0 ms
// counts as 1 ms.
double Calculate_Speed(TDateTime starttime, TDateTime endtime, std::int64_t counts, std::int64_t buffersize);
