// The plan of eighteen tests and the rate arithmetic.
#pragma once

#include <cstdint>

#include "common/global_functions.h"
#include "common/records.h"

class Engine_Host;

constexpr int kLastTest = 17;       // entries 0..17 hold tests
constexpr int kPlanEntries = 21;

// Resets the plan: layout values, the eighteen tests, every result to -1 with its label
// reading "00.00", and the status text cleared.
void Clean_ALL_Stats(TMyGraph& graph, Engine_Host& host);

// MB/s of counts blocks of buffersize bytes moved between two timestamps; a span of 0 ms
// counts as 1 ms.
double Calculate_Speed(TDateTime starttime, TDateTime endtime, std::int64_t counts, std::int64_t buffersize);
