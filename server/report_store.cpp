// Schema and statements of the report database. Column lists come from the report's field
// tables, so the insert, the reads and the schema cannot drift apart.
#include "server/report_store.h"

#include "server/view_keys.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

namespace {

// Profile columns in kProfileFields order, without the signature's empty slot.
const std::vector<std::pair<std::size_t, std::string>>& Profile_Columns() {
  static const auto columns = [] {
    std::vector<std::pair<std::size_t, std::string>> list;
    for (std::size_t i = 0; i < kProfileCount; ++i)
      if (kProfileFields[i].column != nullptr) list.emplace_back(i, kProfileFields[i].column);
    return list;
  }();
  return columns;
}

std::string Join_Columns() {
  std::string list = "received_ms, model_key, check_value, identity, outliers";
  for (const auto& [index, column] : Profile_Columns()) list += ", " + column;
  for (const Rate_Field& rate : kRateFields) list += std::string(", ") + rate.column;
  return list;
}

const std::string& Report_Columns() {
  static const std::string columns = Join_Columns();
  return columns;
}

// Tables made by the first version lack the identity and the outlier flags, and have their
// reports unique by check value; the columns are added and the identities filled in.
std::vector<std::string> Schema(const std::string& id_column) {
  std::string table = "CREATE TABLE IF NOT EXISTS reports (" + id_column +
                      ", received_ms BIGINT NOT NULL, model_key TEXT NOT NULL, check_value TEXT NOT NULL"
                      ", identity TEXT, outliers INTEGER NOT NULL DEFAULT 0";
  for (const auto& [index, column] : Profile_Columns())
    table += ", " + column + (index == kTestSeconds ? " INTEGER NOT NULL" : " TEXT NOT NULL");
  for (const Rate_Field& rate : kRateFields) table += std::string(", ") + rate.column + " DOUBLE PRECISION";
  table += ")";
  return {table,
          "CREATE INDEX IF NOT EXISTS reports_by_computer ON reports (comp_id, id)",
          "CREATE INDEX IF NOT EXISTS reports_by_model ON reports (model_key, id)",
          "CREATE TABLE IF NOT EXISTS ad_counters (ad TEXT PRIMARY KEY, clicks BIGINT NOT NULL, "
          "views BIGINT NOT NULL)",
          "CREATE TABLE IF NOT EXISTS model_counts (model_key TEXT PRIMARY KEY, model TEXT NOT NULL, "
          "reports BIGINT NOT NULL)",
          // A computer's view key, as a hash, and the identity of the report it was made for.
          "CREATE TABLE IF NOT EXISTS computers (comp_id TEXT PRIMARY KEY, view_hash TEXT NOT NULL UNIQUE, "
          "key_report TEXT NOT NULL)"};
}

// A batch is written in statements of these many rows, largest first, so that a connection
// keeps only a few forms of each statement and a batch costs a few round trips, not one per
// report.
constexpr std::array<std::size_t, 3> kRowsPerStatement{32, 8, 1};

// Calls write(first, rows) for consecutive runs of count items, in order.
template <typename Write>
void In_Statements(std::size_t count, Write write) {
  std::size_t first = 0;
  for (const std::size_t rows : kRowsPerStatement)
    for (; count - first >= rows; first += rows) write(first, rows);
}

// "($1, $2), ($3, $4)" for rows of columns values each.
std::string Values_Rows(std::size_t rows, std::size_t columns) {
  std::string values;
  std::size_t number = 0;
  for (std::size_t row = 0; row < rows; ++row) {
    values += row > 0 ? ", (" : "(";
    for (std::size_t column = 0; column < columns; ++column)
      values.append(column > 0 ? ", $" : "$").append(std::to_string(++number));
    values += ")";
  }
  return values;
}

// The insert of each row count in kRowsPerStatement: the session's way to begin an insert
// in a write transaction, target ("INTO table (columns)"), the rows, then tail.
class Batch_Statement {
 public:
  Batch_Statement(const std::string& target, std::size_t columns, const std::string& tail) {
    for (std::size_t i = 0; i < kRowsPerStatement.size(); ++i)
      sql_[i] = " " + target + " VALUES " + Values_Rows(kRowsPerStatement[i], columns) + tail;
  }
  std::string For(const Sql_Session& session, std::size_t rows) const {
    for (std::size_t i = 0; i < kRowsPerStatement.size(); ++i)
      if (kRowsPerStatement[i] == rows) return session.Insert_In_Transaction() + sql_[i];
    throw std::logic_error("no statement for " + std::to_string(rows) + " rows");
  }

 private:
  std::array<std::string, kRowsPerStatement.size()> sql_;
};

// Inserts that skip the reports already stored and name the model of each one stored.
const Batch_Statement& Insert_Statement() {
  static const Batch_Statement statement("INTO reports (" + Report_Columns() + ")",
                                         5 + Profile_Columns().size() + kRateCount,
                                         " ON CONFLICT DO NOTHING RETURNING model_key, model");
  return statement;
}

Sql_Params Insert_Params(const Report& report) {
  Sql_Params params{report.received_ms, report.model_key, report.check_value, report.identity,
                    std::int64_t{report.outliers}};
  params.reserve(params.size() + Profile_Columns().size() + kRateCount);
  for (const auto& [index, column] : Profile_Columns()) params.emplace_back(report.profile[index]);
  for (const auto& rate : report.rates) {
    if (rate) params.emplace_back(*rate);
    else params.emplace_back(std::monostate{});
  }
  return params;
}

Stored_Report Read_Report(const Sql_Row& row) {
  Stored_Report stored;
  std::size_t c = 0;
  stored.id = Sql_Int(row[c++]);
  Report& report = stored.report;
  report.received_ms = Sql_Int(row[c++]);
  report.model_key = Sql_Text(row[c++]);
  report.check_value = Sql_Text(row[c++]);
  report.identity = Sql_Text(row[c++]);
  report.outliers = static_cast<std::uint32_t>(Sql_Int(row[c++]));
  for (const auto& [index, column] : Profile_Columns()) report.profile[index] = Sql_Text(row[c++]);
  for (auto& rate : report.rates) {
    if (!Sql_Is_Null(row[c])) rate = Sql_Double(row[c]);
    ++c;
  }
  return stored;
}

std::vector<Stored_Report> Read_Reports(Sql_Session& session, const std::string& where, const Sql_Params& params) {
  std::vector<Stored_Report> reports;
  for (const Sql_Row& row : session.Query("SELECT id, " + Report_Columns() + " FROM reports " + where, params))
    reports.push_back(Read_Report(row));
  return reports;
}

// Fills in the identities of reports stored before there were any. Reports that only their
// encoding told apart were stored more than once then; the later ones keep their rows under
// an identity of their own.
void Fill_Identities(Sql_Session& session) {
  std::set<std::pair<std::string, std::string>> seen;
  std::int64_t after = 0;
  while (true) {
    const auto reports = Read_Reports(session, "WHERE identity IS NULL AND id > $1 ORDER BY id LIMIT 1000", {after});
    if (reports.empty()) return;
    for (const Stored_Report& stored : reports) {
      std::string identity = Report_Identity(stored.report);
      if (!seen.emplace(stored.report.profile[kComputerId], identity).second) identity.append("-").append(std::to_string(stored.id));
      session.Execute("UPDATE reports SET identity = $1 WHERE id = $2", {identity, stored.id});
      after = stored.id;
    }
  }
}

void Upgrade_Reports(Sql_Session& session) {
  if (!session.Has_Column("reports", "identity")) {
    session.Execute("ALTER TABLE reports ADD COLUMN identity TEXT");
    session.Execute("ALTER TABLE reports ADD COLUMN outliers INTEGER NOT NULL DEFAULT 0");
    Fill_Identities(session);
  }
  session.Execute("CREATE UNIQUE INDEX IF NOT EXISTS reports_by_identity ON reports (comp_id, identity)");
}

std::string Rate_Columns() {
  std::string list;
  for (const Rate_Field& rate : kRateFields) list += std::string(", ") + rate.column;
  return list;
}

// A computer gets its view key with its first stored report. The answer with the key may
// have been lost, so the same report sent again gets a new key in place of the old one; any
// other report of the computer gets none (whoever knows an identifier can send reports).
// Copies of one report within a batch share one key.
class View_Key_Giver {
 public:
  View_Key_Giver(Sql_Session& session, const std::vector<const Report*>& ordered)
      : session_(session), ordered_(ordered), keys_(ordered.size()) {}

  // Offers go out in the order of the computer. A statement may name each computer once, so
  // a computer with two different reports in the batch has them offered one at a time.
  std::vector<std::string> Give() {
    for (std::size_t first = 0; first < ordered_.size();) {
      const std::size_t end = Computer_End(first);
      if (Same_Report(first, end - 1)) {
        offers_.push_back({first, end, New_View_Key(ordered_[first]->received_ms)});
      } else {
        Send_Offers();
        for (std::size_t i = first; i < end;) {
          std::size_t copies = i + 1;
          while (copies < end && Same_Report(i, copies)) ++copies;
          offers_.push_back({i, copies, New_View_Key(ordered_[i]->received_ms)});
          Send_Offers();
          i = copies;
        }
      }
      first = end;
    }
    Send_Offers();
    return std::move(keys_);
  }

 private:
  struct Offer {
    std::size_t first, end;  // the reports in ordered_ that take the key
    std::string key;
  };

  const std::string& Computer(std::size_t i) const { return ordered_[i]->profile[kComputerId]; }
  bool Same_Report(std::size_t a, std::size_t b) const {
    return Computer(a) == Computer(b) && ordered_[a]->identity == ordered_[b]->identity;
  }
  std::size_t Computer_End(std::size_t first) const {
    std::size_t end = first + 1;
    while (end < ordered_.size() && Computer(end) == Computer(first)) ++end;
    return end;
  }

  void Send_Offers() {
    static const Batch_Statement upsert(
        "INTO computers (comp_id, view_hash, key_report)", 3,
        " ON CONFLICT (comp_id) DO UPDATE SET view_hash = excluded.view_hash"
        " WHERE computers.key_report = excluded.key_report RETURNING comp_id");
    In_Statements(offers_.size(), [&](std::size_t first, std::size_t rows) {
      Sql_Params params;
      std::map<std::string, const Offer*> by_computer;
      for (std::size_t o = first; o < first + rows; ++o) {
        const Offer& offer = offers_[o];
        const Report& report = *ordered_[offer.first];
        params.insert(params.end(), {report.profile[kComputerId], View_Key_Hash(offer.key), report.identity});
        by_computer.emplace(report.profile[kComputerId], &offer);
      }
      for (const Sql_Row& given : session_.Query(upsert.For(session_, rows), params)) {
        const Offer& offer = *by_computer.at(Sql_Text(given[0]));
        for (std::size_t i = offer.first; i < offer.end; ++i) keys_[i] = offer.key;
      }
    });
    offers_.clear();
  }

  Sql_Session& session_;
  const std::vector<const Report*>& ordered_;
  std::vector<std::string> keys_;
  std::vector<Offer> offers_;
};

// Adds each model's new reports to its count, in the order of the model.
void Count_Models(Sql_Session& session, const std::map<std::string, std::pair<std::string, std::int64_t>>& added) {
  static const Batch_Statement upsert(
      "INTO model_counts (model_key, model, reports)", 3,
      " ON CONFLICT (model_key) DO UPDATE SET reports = model_counts.reports + excluded.reports");
  const std::vector<std::pair<std::string, std::pair<std::string, std::int64_t>>> models(added.begin(), added.end());
  In_Statements(models.size(), [&](std::size_t first, std::size_t rows) {
    Sql_Params params;
    for (std::size_t m = first; m < first + rows; ++m)
      params.insert(params.end(), {models[m].first, models[m].second.first, models[m].second.second});
    session.Execute(upsert.For(session, rows), params);
  });
}

}  // namespace

Report_Store::Report_Store(Session_Factory factory, std::size_t max_readers)
    : factory_(factory), readers_(std::move(factory), max_readers) {}

void Report_Store::Prepare_Schema() {
  std::unique_ptr<Sql_Session> session = factory_();
  session->Under_Schema_Lock([&] {
    for (const std::string& sql : Schema(session->Id_Column())) session->Execute(sql);
    Upgrade_Reports(*session);
  });
}

// Every writer inserts in the order of the unique key, then gives keys in the order of the
// computer and counts per model in the order of the model, so two processes storing the same
// reports at once wait for each other instead of deadlocking. The count per model is kept
// with the reports, in the same transaction, so that the pages learn in one row lookup
// whether a model has new reports.
std::vector<std::string> Report_Store::Insert_Reports(Sql_Session& session, const std::vector<const Report*>& reports) {
  std::vector<std::size_t> order(reports.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return std::tie(reports[a]->profile[kComputerId], reports[a]->identity) <
           std::tie(reports[b]->profile[kComputerId], reports[b]->identity);
  });
  std::vector<const Report*> ordered;
  for (std::size_t i : order) ordered.push_back(reports[i]);
  std::map<std::string, std::pair<std::string, std::int64_t>> added;  // model key -> (model, reports)
  std::vector<std::string> keys(reports.size());
  session.Begin_Write();
  try {
    In_Statements(ordered.size(), [&](std::size_t first, std::size_t rows) {
      Sql_Params params;
      for (std::size_t i = first; i < first + rows; ++i) {
        Sql_Params row = Insert_Params(*ordered[i]);
        params.insert(params.end(), std::make_move_iterator(row.begin()), std::make_move_iterator(row.end()));
      }
      for (const Sql_Row& stored : session.Query(Insert_Statement().For(session, rows), params)) {
        auto& [model, count] = added[Sql_Text(stored[0])];
        if (count++ == 0) model = Sql_Text(stored[1]);
      }
    });
    const std::vector<std::string> given = View_Key_Giver(session, ordered).Give();
    for (std::size_t i = 0; i < order.size(); ++i) keys[order[i]] = given[i];
    Count_Models(session, added);
    session.Commit();
  } catch (...) {
    session.Rollback();
    throw;
  }
  return keys;
}

std::optional<Stored_Report> Report_Store::Latest_Report(const std::string& computer_id) {
  auto found = With_Session(readers_, [&](Sql_Session& session) {
    return Read_Reports(session, "WHERE comp_id = $1 ORDER BY id DESC LIMIT 1", {computer_id});
  });
  if (found.empty()) return std::nullopt;
  return std::move(found.front());
}

std::vector<Stored_Report> Report_Store::Computer_History(const std::string& computer_id, int limit) {
  return With_Session(readers_, [&](Sql_Session& session) {
    auto reports = Read_Reports(session, "WHERE comp_id = $1 ORDER BY id DESC LIMIT $2",
                                {computer_id, std::int64_t{limit}});
    return std::vector<Stored_Report>(reports.rbegin(), reports.rend());
  });
}

// The key's computer and its reports in one statement: a page opened by key costs one
// round trip to the database. A key handed out before keys began with their time is kept
// as its digest alone. The limit is written into the statement: as a parameter, it made
// PostgreSQL plan the statement afresh for every page instead of keeping one plan.
std::vector<Stored_Report> Report_Store::History_Of_Key(const std::string& view_key, int limit) {
  if (!Is_View_Key(view_key)) return {};
  const std::string where = "WHERE comp_id = (SELECT comp_id FROM computers WHERE view_hash IN ($1, $2)) "
                            "ORDER BY id DESC LIMIT " + std::to_string(std::max(limit, 0));
  return With_Session(readers_, [&](Sql_Session& session) {
    auto reports = Read_Reports(session, where, {View_Key_Hash(view_key), Untimed_View_Key_Hash(view_key)});
    return std::vector<Stored_Report>(reports.rbegin(), reports.rend());
  });
}

std::vector<Model_Count> Report_Store::Top_Models(int limit) {
  return With_Session(readers_, [&](Sql_Session& session) {
    std::vector<Model_Count> models;
    for (const Sql_Row& row : session.Query("SELECT model_key, model, reports FROM model_counts "
                                            "ORDER BY reports DESC, model_key LIMIT $1",
                                            {std::int64_t{limit}}))
      models.push_back({Sql_Text(row[0]), Sql_Text(row[1]), Sql_Int(row[2])});
    return models;
  });
}

// One statement, so the count and the rows come from one snapshot in either database.
Model_Rows Report_Store::Model_Rates_After(const std::string& model_key, std::int64_t after_id) {
  static const std::string sql = "SELECT c.reports, id, comp_id, test_seconds, outliers" + Rate_Columns() +
                                 " FROM model_counts c LEFT JOIN reports r ON r.model_key = c.model_key AND r.id > $2"
                                 " WHERE c.model_key = $1 ORDER BY id";
  constexpr std::size_t kFirstRate = 5;
  return With_Session(readers_, [&](Sql_Session& session) {
    Model_Rows result;
    result.max_id = after_id;
    for (const Sql_Row& row : session.Query(sql, {model_key, after_id})) {
      result.total = Sql_Int(row[0]);
      if (Sql_Is_Null(row[1])) continue;  // no report after after_id
      Model_Row& report = result.rows.emplace_back();
      report.id = Sql_Int(row[1]);
      report.computer = Sql_Text(row[2]);
      report.outliers = static_cast<std::uint32_t>(Sql_Int(row[4]));
      report.like_run = Sql_Int(row[3]) == kDefaultTestSeconds;
      for (std::size_t r = 0; r < kRateCount; ++r) {
        if (!Sql_Is_Null(row[kFirstRate + r])) report.rates[r] = Sql_Double(row[kFirstRate + r]);
        else report.like_run = false;
      }
      result.max_id = std::max(result.max_id, report.id);
    }
    return result;
  });
}

std::int64_t Report_Store::Report_Count() {
  return With_Session(readers_, [](Sql_Session& session) {
    return Sql_Int(session.Query("SELECT COALESCE(SUM(reports), 0) FROM model_counts").at(0).at(0));
  });
}

void Report_Store::Count_Ad(const std::string& number, bool click) {
  With_Session(readers_, [&](Sql_Session& session) {
    return session.Execute("INSERT INTO ad_counters (ad, clicks, views) VALUES ($1, $2, $3) ON CONFLICT (ad) DO UPDATE "
                           "SET clicks = ad_counters.clicks + excluded.clicks, views = ad_counters.views + excluded.views",
                           {number, std::int64_t{click ? 1 : 0}, std::int64_t{click ? 0 : 1}});
  });
}

Ad_Counts Report_Store::Ad_Counters(const std::string& number) {
  return With_Session(readers_, [&](Sql_Session& session) {
    const auto rows = session.Query("SELECT clicks, views FROM ad_counters WHERE ad = $1", {number});
    return rows.empty() ? Ad_Counts{} : Ad_Counts{Sql_Int(rows[0][0]), Sql_Int(rows[0][1])};
  });
}
