// Faults of whole processes: a server killed with SIGKILL under load has stored every report
// it confirmed, and two server processes on one PostgreSQL take reports at once, keeping
// each report once.
#include "server_fixture.h"
#include "server_process.h"

#include "server/postgres_session.h"
#include "server/sqlite_session.h"

#include <signal.h>

#include <atomic>
#include <mutex>
#include <set>

namespace {

using Durability_Test = Server_Test;

std::vector<std::string> Serve_Arguments(const std::string& data, const std::string& database) {
  std::vector<std::string> arguments{"--data", data, "--listen", "127.0.0.1:0"};
  if (!database.empty()) arguments.insert(arguments.end(), {"--database", database});
  return arguments;
}

std::set<std::string> Stored_Computers(const std::string& data, const std::string& database) {
  std::unique_ptr<Sql_Session> session =
      database.empty() ? Open_Sqlite_Session(data + "/reports.sqlite") : Open_Postgres_Session(database);
  std::set<std::string> computers;
  for (const Sql_Row& row : session->Query("SELECT comp_id FROM reports", {})) computers.insert(Sql_Text(row[0]));
  return computers;
}

std::unique_ptr<httplib::Client> Client_Of(const Server_Process& server) {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
  client->set_connection_timeout(2);
  client->set_read_timeout(10);
  client->set_tcp_nodelay(true);
  return client;
}

}  // namespace

TEST_P(Durability_Test, AKilledServerLosesNoReportItConfirmed) {
  auto server = std::make_unique<Server_Process>(Serve_Arguments(data_.path(), database_));
  ASSERT_GT(server->port(), 0) << server->output();
  constexpr int kClients = 16;
  std::mutex mutex;
  std::vector<std::string> confirmed;
  std::atomic<bool> stop{false};
  std::atomic<int> unanswered{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c)
    clients.emplace_back([&, c] {
      auto client = Client_Of(*server);
      for (int n = c * 1000000; !stop; ++n) {
        const Sample_Report report = Varied_Report(n);
        const Answer answer = Post_Upload(*client, Compose_Upload(report, server->host()));
        if (Confirmed(answer.body)) {
          std::lock_guard lock(mutex);
          confirmed.push_back(report.computer_id);
        } else if (answer.status == 0) {
          ++unanswered;
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      }
    });
  auto count = [&] {
    std::lock_guard lock(mutex);
    return confirmed.size();
  };
  for (int wait = 0; wait < 400 && count() < 400; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  server->Signal(SIGKILL);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // requests in flight fail
  stop = true;
  for (auto& client : clients) client.join();
  ASSERT_GE(count(), 100u);
  EXPECT_GT(unanswered, 0);  // the kill came in the middle of the load

  Server_Process restarted(Serve_Arguments(data_.path(), database_));
  ASSERT_GT(restarted.port(), 0) << restarted.output();
  const std::set<std::string> stored = Stored_Computers(data_.path(), database_);
  std::size_t missing = 0;
  for (const std::string& computer : confirmed) missing += stored.count(computer) == 0;
  EXPECT_EQ(missing, 0u) << "of " << confirmed.size() << " confirmed, " << stored.size() << " stored";
  auto client = Client_Of(restarted);
  EXPECT_TRUE(Confirmed(Post_Upload(*client, Compose_Upload(Varied_Report(-1), restarted.host())).body));
}

TEST_P(Durability_Test, TwoServersOnOnePostgresqlKeepEachReportOnce) {
  if (GetParam() == Backend::kSqlite) GTEST_SKIP() << "several server processes share PostgreSQL, not SQLite";
  Server_Process first(Serve_Arguments(data_.path(), database_)), second(Serve_Arguments(data_.path(), database_));
  ASSERT_GT(first.port(), 0) << first.output();
  ASSERT_GT(second.port(), 0) << second.output();
  constexpr int kClients = 8, kReports = 100;
  const std::string kPublicHost = "results.example";
  std::atomic<int> refused{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c)
    clients.emplace_back([&, c] {
      auto to_first = Client_Of(first), to_second = Client_Of(second);
      for (int n = 0; n < kReports; ++n) {
        // Behind a load balancer both processes see the public host name the report is signed
        // for. The same report goes through both at once, as two replays of one queue might.
        const Upload upload = Compose_Upload(Varied_Report(c * kReports + n), kPublicHost);
        std::string first_answer;
        std::thread other([&] { first_answer = Post_Upload(*to_first, upload, kPublicHost).body; });
        const std::string second_answer = Post_Upload(*to_second, upload, kPublicHost).body;
        other.join();
        refused += !Confirmed(first_answer) + !Confirmed(second_answer);
      }
    });
  for (auto& client : clients) client.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(Stored_Computers(data_.path(), database_).size(), static_cast<std::size_t>(kClients * kReports));
  EXPECT_EQ(Stored_Reports(), kClients * kReports);
}

PS_BOTH_DATABASES(Durability_Test);
