// The empty run: every test of the plan under its key, without a result.
#include "common/run_result.h"

Run_Result::Run_Result() {
  for (std::size_t i = 0; i < tests.size(); ++i) tests[i].key = kPlannedTests[i].NameTag;
}
