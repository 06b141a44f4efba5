// The logic of the pages for people and their JSON twins, apart from HTTP: a client address
// and the query's values in, the answer out. A computer's own pages open only with its view
// key; every page read from the database counts towards the address's limit per minute.
#pragma once

#include "server/address_limits.h"
#include "server/model_stats.h"
#include "server/report_store.h"
#include "server/route_answer.h"

#include <cstdint>
#include <string>

class Page_Answers {
 public:
  // pages_per_minute per client address (0: no limit).
  Page_Answers(Report_Store& store, Model_Stats& stats, int pages_per_minute);

  Route_Answer Home(const std::string& client_address, std::int64_t now_ms);
  // The computer's latest report beside its model (/compare, /api/compare).
  Route_Answer Compare(const std::string& client_address, const std::string& view_key, bool json, std::int64_t now_ms);
  // The computer's latest reports (/computer, /api/computer).
  Route_Answer Computer(const std::string& client_address, const std::string& view_key, bool json,
                        std::int64_t now_ms);
  // One model's figures (/drive, /api/drive).
  Route_Answer Drive(const std::string& client_address, const std::string& model, bool json, std::int64_t now_ms);

 private:
  // The refusal when the address has asked too often; nothing when it may go on.
  std::optional<Route_Answer> Over_Limit(const std::string& client_address, bool json, std::int64_t now_ms);

  Report_Store& store_;
  Model_Stats& stats_;
  Window_Limit pages_;
};
