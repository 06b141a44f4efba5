// A database that does not answer: the server answers every request at once (a report "0",
// a page 503), tries to connect again only after a growing pause, and writes a bounded
// number of log lines however many requests come.
#include "server_fixture.h"

#include "server/sqlite_session.h"

#include <atomic>
#include <iostream>
#include <sstream>

namespace {

using namespace std::chrono_literals;

// Takes what the server writes on stderr for as long as it lives.
class Captured_Stderr {
 public:
  Captured_Stderr() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~Captured_Stderr() { std::cerr.rdbuf(old_); }
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(DatabaseDown, ConnectionsAreTriedAgainOnlyAfterAGrowingPause) {
  Scratch_Folder folder;
  std::atomic<int> attempts{0};
  std::atomic<bool> up{false};
  Session_Pool pool(
      [&] {
        ++attempts;
        if (!up) throw Sql_Error("Cannot connect: refused");
        return Open_Sqlite_Session(folder / "reports.sqlite");
      },
      2, Retry_Backoff(100ms, 400ms));
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < 250ms) EXPECT_THROW(pool.Acquire(), Sql_Unavailable);
  EXPECT_GE(attempts, 2) << "tried again after 100 ms";
  EXPECT_LE(attempts, 3) << "then after 200 ms more, not for every request";
  up = true;
  std::this_thread::sleep_for(450ms);
  EXPECT_NO_THROW(pool.Acquire());
  const int after = attempts;
  EXPECT_NO_THROW(pool.Acquire());
  EXPECT_EQ(attempts, after) << "the connection is kept";
}

// PostgreSQL goes away under the server (its database dropped, its connections ended) while
// clients go on sending reports and reading pages.
TEST(DatabaseDown, WhilePostgresqlIsGoneEveryRequestIsAnsweredAndTheLogStaysShort) {
  std::string database;
  PS_POSTGRES_DATABASE_OR_SKIP(database);
  Test_Data_Folder data;
  Test_Server server(data.path(), database);
  auto client = server.Client();
  const Answer first = Post_Upload(*client, Compose_Upload(Varied_Report(0), server.host()));
  ASSERT_TRUE(Confirmed(first.body));
  const std::string key = View_Key_Of(first);
  std::string why_not;
  Postgres_Cluster::Shared(why_not)->Drop_Database(database);

  Captured_Stderr log;
  std::atomic<int> answered{0}, wrong{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c)
    clients.emplace_back([&, c] {
      auto own = server.Client();
      const auto until = std::chrono::steady_clock::now() + 1500ms;
      for (int n = 1; std::chrono::steady_clock::now() < until; ++n) {
        const Answer report = Post_Upload(*own, Compose_Upload(Varied_Report(c * 100000 + n), server.host()));
        const Answer page = Get(*own, n % 2 ? "/api/compare?key=" + key : "/drive?model=Test%20Drive%20Model%200");
        answered += 2;
        wrong += (report.body != "[RESULT]0[/RESULT]") + (page.status != 503);
      }
    });
  for (auto& thread : clients) thread.join();
  EXPECT_GT(answered, 100);
  EXPECT_EQ(wrong, 0);
  EXPECT_LE(Lines(log.Text()), 8u) << log.Text();
}
