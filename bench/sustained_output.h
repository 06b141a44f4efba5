// What the runner prints of a sustained write: the curve as CSV (or the whole result as one
// JSON object) on the output, and the summary with the fall for the user.
#pragma once

#include <ostream>
#include <string>

#include "engine/sustained_write.h"

// "seconds,mbps,written_bytes", then one line a sample: when it ended (seconds since the
// start), its rate in MB/s and the bytes written by then. Numbers with a point in any locale.
void Print_Sustained_Csv(std::ostream& out, const Sustained_Result& result);

void Print_Sustained_Json(std::ostream& out, const std::string& target, const Sustained_Result& result);

// The lines that tell the user how it went: size, time and average, the device's counters,
// the fall, and whether it was stopped.
std::string Sustained_Summary(const Sustained_Result& result);
