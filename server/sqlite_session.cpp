// SQLite connection with its prepared statements kept for reuse. WAL lets the page
// handlers read while reports are written; synchronous=FULL makes a commit survive a
// power cut, not only a crash of the server. A statement that writes many rows keeps the
// pages it changes until it ends, so it can be undone alone; temp_store=MEMORY keeps those
// in memory instead of writing them to a temporary file page by page.
#include "server/sqlite_session.h"

#include <sqlite3.h>

#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace {

class Sqlite_Session final : public Sql_Session {
 public:
  explicit Sqlite_Session(const std::string& path) : path_(path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      const std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw Sql_Error("Cannot open database " + path + ": " + reason);
    }
    sqlite3_busy_timeout(db_, 10000);
    try {
      Execute("PRAGMA journal_mode=WAL", {});
      Execute("PRAGMA synchronous=FULL", {});
      Execute("PRAGMA temp_store=MEMORY", {});
    } catch (...) {
      Close();
      throw;
    }
  }

  ~Sqlite_Session() override { Close(); }

  std::int64_t Execute(const std::string& sql, const Sql_Params& params) override {
    Run(sql, params, [](sqlite3_stmt*) {});
    return sqlite3_changes(db_);
  }

  std::vector<Sql_Row> Query(const std::string& sql, const Sql_Params& params) override {
    std::vector<Sql_Row> rows;
    Run(sql, params, [&rows](sqlite3_stmt* statement) { rows.push_back(Read_Row(statement)); });
    return rows;
  }

  void Begin_Write() override { Execute("BEGIN IMMEDIATE", {}); }
  void Commit() override { Execute("COMMIT", {}); }
  void Rollback() noexcept override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  void Under_Schema_Lock(const std::function<void()>& work) override {
    Begin_Write();
    try {
      work();
      Commit();
    } catch (...) {
      Rollback();
      throw;
    }
  }

  bool Has_Column(const std::string& table, const std::string& column) override {
    return !Query("SELECT 1 FROM pragma_table_info($1) WHERE name = $2", {table, column}).empty();
  }

  std::string Id_Column() const override { return "id INTEGER PRIMARY KEY"; }
  // The rows a failing statement wrote before its failing row stay, for the rollback.
  std::string Insert_In_Transaction() const override { return "INSERT OR FAIL"; }

 private:
  // A statement and, for each of its numbered parameters $1, $2, ..., the index SQLite binds
  // it at (0 for a number the statement does not use). Looking a name up walks all of them,
  // so it is done once per statement, not once per value.
  struct Statement {
    sqlite3_stmt* statement = nullptr;
    std::vector<int> index;
  };

  void Close() noexcept {
    for (auto& [sql, prepared] : statements_) sqlite3_finalize(prepared.statement);
    statements_.clear();
    sqlite3_close(db_);
  }

  [[noreturn]] void Fail(const std::string& sql) {
    throw Sql_Error("SQLite statement failed on " + path_ + ": " + sqlite3_errmsg(db_) + " (" + sql.substr(0, 60) + ")");
  }

  Statement& Prepared(const std::string& sql) {
    Statement& prepared = statements_[sql];
    if (prepared.statement != nullptr) return prepared;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &prepared.statement, nullptr) != SQLITE_OK) {
      statements_.erase(sql);
      Fail(sql);
    }
    const int count = sqlite3_bind_parameter_count(prepared.statement);
    for (int index = 1; index <= count; ++index) {
      const char* name = sqlite3_bind_parameter_name(prepared.statement, index);
      if (name == nullptr || name[0] != '$') continue;
      const std::size_t number = std::strtoul(name + 1, nullptr, 10);
      if (number == 0) continue;
      if (prepared.index.size() < number) prepared.index.resize(number, 0);
      prepared.index[number - 1] = index;
    }
    return prepared;
  }

  // Runs sql with params, giving each row to take. Texts are bound without a copy, so the
  // statement is reset and its bindings cleared before the parameters can go, however the
  // run ends.
  template <class Take>
  void Run(const std::string& sql, const Sql_Params& params, Take take) {
    const Statement& prepared = Prepared(sql);
    sqlite3_stmt* statement = prepared.statement;
    struct Unbind {
      sqlite3_stmt* statement;
      ~Unbind() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
      }
    } unbind{statement};
    Bind(prepared, params);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) take(statement);
    if (rc != SQLITE_DONE) Fail(sql);
  }

  static void Bind(const Statement& prepared, const Sql_Params& params) {
    sqlite3_stmt* statement = prepared.statement;
    for (std::size_t i = 0; i < params.size() && i < prepared.index.size(); ++i) {
      const int index = prepared.index[i];
      if (index == 0) continue;
      const Sql_Value& value = params[i];
      if (const auto* number = std::get_if<std::int64_t>(&value)) sqlite3_bind_int64(statement, index, *number);
      else if (const auto* real = std::get_if<double>(&value)) sqlite3_bind_double(statement, index, *real);
      else if (const auto* text = std::get_if<std::string>(&value))
        sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
      else sqlite3_bind_null(statement, index);
    }
  }

  static Sql_Row Read_Row(sqlite3_stmt* statement) {
    const int columns = sqlite3_column_count(statement);
    Sql_Row row(columns);
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(statement, c)) {
        case SQLITE_INTEGER: row[c] = static_cast<std::int64_t>(sqlite3_column_int64(statement, c)); break;
        case SQLITE_FLOAT: row[c] = sqlite3_column_double(statement, c); break;
        case SQLITE_NULL: break;
        default: {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
          row[c] = std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, c)));
        }
      }
    }
    return row;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, Statement> statements_;
};

}  // namespace

std::unique_ptr<Sql_Session> Open_Sqlite_Session(const std::string& path) {
  return std::make_unique<Sqlite_Session>(path);
}
