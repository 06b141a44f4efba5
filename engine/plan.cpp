#include "engine/plan.h"

double Calculate_Speed(TDateTime starttime, TDateTime endtime, std::int64_t counts, std::int64_t buffersize) {
  std::int64_t ms = Milliseconds_Between(starttime, endtime);
  if (ms == 0) ms = 1;
  return static_cast<double>(counts) * (static_cast<double>(buffersize) / 1000.0) / static_cast<double>(ms);
}
