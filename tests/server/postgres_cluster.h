// A throwaway PostgreSQL cluster for the tests: Debian's binaries, initdb into a temporary
// folder, listening only on a socket there, stopped when the test process ends (even when
// it dies: the postmaster gets SIGQUIT with its parent).
#pragma once

#include <string>

class Postgres_Cluster {
 public:
  // The process's cluster, started at the first call; nullptr (with why) when PostgreSQL
  // is not installed or cannot start.
  static Postgres_Cluster* Shared(std::string& why_not);

  // A new empty database; its postgresql:// address.
  std::string New_Database();
  // Drops the database of an address New_Database gave, ending its connections.
  void Drop_Database(const std::string& address);

  ~Postgres_Cluster();

 private:
  Postgres_Cluster() = default;
  bool Start(std::string& why_not);
  void Run_Sql(const std::string& sql);

  std::string bin_, folder_;
  int postmaster_ = -1;
  int databases_ = 0;
};

// Skips the current test with the reason when there is no cluster; else the address of a
// fresh database.
#define PS_POSTGRES_DATABASE_OR_SKIP(address)                                    \
  do {                                                                           \
    std::string why_not;                                                         \
    Postgres_Cluster* cluster = Postgres_Cluster::Shared(why_not);               \
    if (cluster == nullptr) GTEST_SKIP() << "PostgreSQL tests skipped: " << why_not; \
    address = cluster->New_Database();                                           \
  } while (0)
