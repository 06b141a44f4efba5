// The reports and ad counters in the database: one schema and one set of parameterised
// statements for SQLite and PostgreSQL alike.
#pragma once

#include "server/report.h"
#include "server/sql_session.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Stored_Report {
  std::int64_t id = 0;
  Report report;
};

struct Model_Count {
  std::string model_key;
  std::string model;  // one of the spellings reported
  std::int64_t count = 0;
};

using Rate_Row = std::array<std::optional<double>, kRateCount>;

// One report as a model's figures take it.
struct Model_Row {
  std::int64_t id = 0;
  std::string computer;
  bool like_run = false;       // the whole plan at the default test time
  std::uint32_t outliers = 0;  // rates flagged far outside the model's figures
  Rate_Row rates;
};

// A model's reports in one snapshot: how many there are, and those numbered above a given
// report number, in number order.
struct Model_Rows {
  std::int64_t total = 0;
  std::int64_t max_id = 0;  // the highest number among rows, or the number asked for
  std::vector<Model_Row> rows;
};

struct Ad_Counts {
  std::int64_t clicks = 0;
  std::int64_t views = 0;
};

class Report_Store {
 public:
  // factory opens one connection; at most max_readers are open for the pages at once.
  Report_Store(Session_Factory factory, std::size_t max_readers);

  // Creates the tables and indexes that are missing.
  void Prepare_Schema();

  // A connection of its own, for the writer of the reports.
  std::unique_ptr<Sql_Session> Open_Session() { return factory_(); }

  // Stores reports in one transaction; a report already stored (same computer and identity,
  // from any process) is skipped. Returns, for each report, the view key made for its
  // computer: for the computer's first report and for that report sent again; empty for any
  // other. Throws Sql_Error when nothing was committed.
  static std::vector<std::string> Insert_Reports(Sql_Session& session, const std::vector<const Report*>& reports);

  std::optional<Stored_Report> Latest_Report(const std::string& computer_id);
  std::vector<Stored_Report> Computer_History(const std::string& computer_id, int limit);
  // The latest reports, oldest first, of the computer a view key opens; none for a key that
  // is no key or opens none (a computer with a key always has a report).
  std::vector<Stored_Report> History_Of_Key(const std::string& view_key, int limit);
  std::vector<Model_Count> Top_Models(int limit);
  Model_Rows Model_Rates_After(const std::string& model_key, std::int64_t after_id);
  std::int64_t Report_Count();

  void Count_Ad(const std::string& number, bool click);
  Ad_Counts Ad_Counters(const std::string& number);

 private:
  Session_Factory factory_;
  Session_Pool readers_;
};
