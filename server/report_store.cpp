// Schema and statements of the report database. Column lists come from the report's field
// tables, so the insert, the reads and the schema cannot drift apart.
#include "server/report_store.h"

#include "server/view_keys.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace {

// Profile columns in kProfileFields order, without the signature's empty slot.
std::vector<std::pair<std::size_t, std::string>> Profile_Columns() {
  std::vector<std::pair<std::size_t, std::string>> columns;
  for (std::size_t i = 0; i < kProfileCount; ++i)
    if (kProfileFields[i].column != nullptr) columns.emplace_back(i, kProfileFields[i].column);
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

std::string Insert_Statement() {
  const std::size_t count = 5 + Profile_Columns().size() + kRateCount;
  std::string values;
  for (std::size_t i = 1; i <= count; ++i) values += (i > 1 ? ", $" : "$") + std::to_string(i);
  return "INSERT INTO reports (" + Report_Columns() + ") VALUES (" + values + ") ON CONFLICT DO NOTHING";
}

Sql_Params Insert_Params(const Report& report) {
  Sql_Params params{report.received_ms, report.model_key, report.check_value, report.identity,
                    std::int64_t{report.outliers}};
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
std::vector<std::string> Give_View_Keys(Sql_Session& session, const std::vector<const Report*>& ordered) {
  static const std::string upsert =
      "INSERT INTO computers (comp_id, view_hash, key_report) VALUES ($1, $2, $3) ON CONFLICT (comp_id) "
      "DO UPDATE SET view_hash = excluded.view_hash WHERE computers.key_report = excluded.key_report";
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    const Report& report = *ordered[i];
    if (i > 0 && ordered[i - 1]->profile[kComputerId] == report.profile[kComputerId] &&
        ordered[i - 1]->identity == report.identity) {
      keys.push_back(keys.back());
      continue;
    }
    const std::string key = New_View_Key();
    const bool given = session.Execute(upsert, {report.profile[kComputerId], View_Key_Hash(key), report.identity}) > 0;
    keys.push_back(given ? key : std::string());
  }
  return keys;
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
  static const std::string insert = Insert_Statement();
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
    for (const Report* report : ordered)
      if (session.Execute(insert, Insert_Params(*report)) > 0) {
        auto& [model, count] = added[report->model_key];
        if (count++ == 0) model = report->profile[kModel];
      }
    const std::vector<std::string> given = Give_View_Keys(session, ordered);
    for (std::size_t i = 0; i < order.size(); ++i) keys[order[i]] = given[i];
    for (const auto& [key, model_and_count] : added)
      session.Execute("INSERT INTO model_counts (model_key, model, reports) VALUES ($1, $2, $3) "
                      "ON CONFLICT (model_key) DO UPDATE SET reports = model_counts.reports + excluded.reports",
                      {key, model_and_count.first, model_and_count.second});
    session.Commit();
  } catch (...) {
    session.Rollback();
    throw;
  }
  return keys;
}

std::optional<std::string> Report_Store::Computer_Of_Key(const std::string& view_key) {
  if (!Is_View_Key(view_key)) return std::nullopt;
  const auto rows = With_Session(readers_, [&](Sql_Session& session) {
    return session.Query("SELECT comp_id FROM computers WHERE view_hash = $1", {View_Key_Hash(view_key)});
  });
  if (rows.empty()) return std::nullopt;
  return Sql_Text(rows[0][0]);
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
