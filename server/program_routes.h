// The logic of the routes the program itself calls, apart from HTTP: a report taken, judged
// and confirmed once stored, and an ad's click or view counted once an hour per address.
#pragma once

#include "server/address_limits.h"
#include "server/commit_queue.h"
#include "server/model_stats.h"
#include "server/report.h"
#include "server/route_answer.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// Milliseconds since 1970 (UTC), the time the limits and reports are kept in.
std::int64_t Now_Ms();

class Report_Intake {
 public:
  // reports_per_hour per client address (0: no limit); a report not committed within
  // commit_wait is answered "0".
  Report_Intake(Commit_Queue& commits, Model_Stats& stats, Serial_Hasher hash_serial, int reports_per_hour,
                std::chrono::milliseconds commit_wait);

  // The answer to one upload: host is the Host header the program addressed, content_type
  // the form's type with its boundary. "[RESULT]1[/RESULT]" once the report is stored (or
  // was stored before), followed by "[VIEW]<key>[/VIEW]" when the computer was given its
  // view key; "[RESULT]0[/RESULT]" for one that is not a report or was not stored; 429
  // without a verdict when the address has sent its reports for the hour.
  Route_Answer Take(const std::string& client_address, const std::string& host, const std::string& content_type,
                    const std::string& body, std::int64_t now_ms);

 private:
  Commit_Queue& commits_;
  Model_Stats& stats_;
  Serial_Hasher hash_serial_;
  Window_Limit reports_;
  std::chrono::milliseconds commit_wait_;
};

class Ad_Counter {
 public:
  explicit Ad_Counter(Report_Store& store);

  // A click (302 to target) or a view (204) of the ad number, counted when the address has
  // not been counted for this ad and kind in the past hour; 404 for an ad not on offer.
  Route_Answer Visit(const std::string& number, const std::optional<std::string>& target, bool click,
                     const std::string& client_address, std::int64_t now_ms);

 private:
  Report_Store& store_;
  Window_Limit once_an_hour_;
};
