// One connection to the report database, the same for SQLite and PostgreSQL: statements
// with numbered parameters ($1, $2, ...), transactions, and a small pool of connections.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

using Sql_Value = std::variant<std::monostate, std::int64_t, double, std::string>;
using Sql_Row = std::vector<Sql_Value>;
using Sql_Params = std::vector<Sql_Value>;

struct Sql_Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A text the database cannot hold as it is (a NUL, bytes that are not UTF-8), refused before
// it reaches the database: the connection stays as it was.
struct Sql_Value_Error : Sql_Error {
  using Sql_Error::Sql_Error;
};

// The database cannot be reached; no connection is tried before the back-off has passed.
struct Sql_Unavailable : Sql_Error {
  using Sql_Error::Sql_Error;
};

// Whether text can be a text value in either database: UTF-8 without NUL.
bool Is_Storable_Text(const std::string& text);

// Waits between attempts to reach a database that did not answer: first, then twice as long
// after each failure up to most; back to none after a success.
class Retry_Backoff {
 public:
  explicit Retry_Backoff(std::chrono::milliseconds first = std::chrono::milliseconds(200),
                         std::chrono::milliseconds most = std::chrono::seconds(5));
  bool Ready() const { return std::chrono::steady_clock::now() >= next_; }
  void Failed();
  void Succeeded() { wait_ = std::chrono::milliseconds(0), next_ = {}; }

 private:
  std::chrono::milliseconds first_, most_, wait_{0};
  std::chrono::steady_clock::time_point next_{};
};

// A value read back: PostgreSQL hands every value over as text, SQLite by its type.
bool Sql_Is_Null(const Sql_Value& value);
std::int64_t Sql_Int(const Sql_Value& value);
double Sql_Double(const Sql_Value& value);
std::string Sql_Text(const Sql_Value& value);

class Sql_Session {
 public:
  virtual ~Sql_Session() = default;
  // Runs a statement; the number of rows it changed. Throws Sql_Error.
  virtual std::int64_t Execute(const std::string& sql, const Sql_Params& params = {}) = 0;
  virtual std::vector<Sql_Row> Query(const std::string& sql, const Sql_Params& params = {}) = 0;
  // A write transaction. Reads are single statements, each of which sees one snapshot.
  virtual void Begin_Write() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;
  // Runs work in one write transaction that no other process runs at the same time: the
  // schema is made or brought up to date once, even when several processes start together.
  virtual void Under_Schema_Lock(const std::function<void()>& work) = 0;
  // Whether the table has the column (tables made by an earlier version may lack it).
  virtual bool Has_Column(const std::string& table, const std::string& column) = 0;
  // The column clause of the generated report number, which the two databases spell apart.
  virtual std::string Id_Column() const = 0;
  // How an insert begins inside a write transaction that is rolled back whole when any of
  // its statements fails. SQLite otherwise keeps every page a many-row statement changes
  // until it ends, to undo that statement alone.
  virtual std::string Insert_In_Transaction() const { return "INSERT"; }
};

using Session_Factory = std::function<std::unique_ptr<Sql_Session>()>;

// Connections for the page handlers: at most max_open at once; a connection that failed is
// dropped, not handed out again. While the database cannot be reached, Acquire throws
// Sql_Unavailable at once instead of connecting for every request.
class Session_Pool {
 public:
  Session_Pool(Session_Factory factory, std::size_t max_open, Retry_Backoff backoff = Retry_Backoff());

  class Lease {
   public:
    Lease(Session_Pool& pool, std::unique_ptr<Sql_Session> session) : pool_(pool), session_(std::move(session)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();
    Sql_Session* operator->() const { return session_.get(); }
    Sql_Session& operator*() const { return *session_; }
    void Discard() { discard_ = true; }

   private:
    Session_Pool& pool_;
    std::unique_ptr<Sql_Session> session_;
    bool discard_ = false;
  };

  Lease Acquire();

 private:
  void Give_Back(std::unique_ptr<Sql_Session> session, bool discard);

  Session_Factory factory_;
  std::size_t max_open_;
  std::size_t open_ = 0;
  std::vector<std::unique_ptr<Sql_Session>> idle_;
  Retry_Backoff backoff_;
  std::string unreachable_;  // why the last connection failed
  std::mutex mutex_;
  std::condition_variable freed_;
};

// Runs work on a pooled connection; a connection that throws is dropped and the error
// passed on (a value refused before it was sent leaves the connection as it was).
template <class Work>
auto With_Session(Session_Pool& pool, Work&& work) {
  Session_Pool::Lease lease = pool.Acquire();
  try {
    return work(*lease);
  } catch (const Sql_Value_Error&) {
    throw;
  } catch (...) {
    lease->Rollback();
    lease.Discard();
    throw;
  }
}
