// Starts postgres as a child of the test process (as the "postgres" user when the tests run
// as root, which PostgreSQL refuses), with fsync off: the tests kill servers, not machines.
#include "postgres_cluster.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// The newest installed server's binaries folder, empty when none.
std::string Find_Binaries() {
  std::string best;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    const std::string bin = entry.path().string() + "/bin";
    if (std::filesystem::exists(bin + "/initdb") && std::filesystem::exists(bin + "/postgres") &&
        (best.empty() || bin > best))
      best = bin;
  }
  return best;
}

// fork + exec of argv, as the "postgres" user when we are root; the child dies with us.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log) {
  const passwd* user = ::getuid() == 0 ? ::getpwnam("postgres") : nullptr;
  const uid_t uid = user ? user->pw_uid : 0;
  const gid_t gid = user ? user->pw_gid : 0;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out >= 0) {
    ::dup2(out, 1);
    ::dup2(out, 2);
  }
  if (user != nullptr && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) ::_exit(126);
  ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
  ::execv(args[0], args.data());
  ::_exit(127);
}

int Wait_For(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::unique_ptr<Postgres_Cluster> shared_cluster;

}  // namespace

Postgres_Cluster* Postgres_Cluster::Shared(std::string& why_not) {
  static bool tried = false;
  if (!tried) {
    tried = true;
    std::unique_ptr<Postgres_Cluster> cluster(new Postgres_Cluster());
    if (cluster->Start(why_not)) shared_cluster = std::move(cluster);
    else shared_cluster.reset();
  }
  if (!shared_cluster && why_not.empty()) why_not = "the cluster did not start earlier in this process";
  return shared_cluster.get();
}

bool Postgres_Cluster::Start(std::string& why_not) {
  bin_ = Find_Binaries();
  if (bin_.empty()) {
    why_not = "no /usr/lib/postgresql/*/bin/initdb (install the postgresql package)";
    return false;
  }
  if (::getuid() == 0 && ::getpwnam("postgres") == nullptr) {
    why_not = "running as root and there is no postgres user to run the cluster";
    return false;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "ps-pg-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    why_not = "cannot make a temporary folder";
    return false;
  }
  folder_ = pattern;
  if (const passwd* user = ::getuid() == 0 ? ::getpwnam("postgres") : nullptr)
    if (::chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      why_not = "cannot hand " + folder_ + " to the postgres user";
      return false;
    }
  if (Wait_For(Spawn({bin_ + "/initdb", "-D", folder_ + "/data", "-A", "trust", "-U", "postgres", "-E", "UTF8",
                      "--no-sync", "--no-instructions"}, folder_ + "/log")) != 0) {
    why_not = "initdb failed in " + folder_;
    return false;
  }
  postmaster_ = Spawn({bin_ + "/postgres", "-D", folder_ + "/data", "-k", folder_, "-c", "listen_addresses=",
                       "-c", "fsync=off", "-c", "max_connections=200", "-p", "5432"}, folder_ + "/log");
  const std::string admin = "host=" + folder_ + " port=5432 user=postgres dbname=postgres";
  for (int i = 0; i < 300; ++i) {
    if (PQping(admin.c_str()) == PQPING_OK) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  why_not = "postgres did not accept connections in " + folder_;
  return false;
}

void Postgres_Cluster::Run_Sql(const std::string& sql) {
  const std::string admin = "host=" + folder_ + " port=5432 user=postgres dbname=postgres";
  PGconn* connection = PQconnectdb(admin.c_str());
  PGresult* result = PQexec(connection, sql.c_str());
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  const std::string error = PQerrorMessage(connection);
  PQclear(result);
  PQfinish(connection);
  if (!ok) throw std::runtime_error(sql + ": " + error);
}

std::string Postgres_Cluster::New_Database() {
  const std::string name = "reports_" + std::to_string(++databases_);
  Run_Sql("CREATE DATABASE " + name);
  return "postgresql://postgres@/" + name + "?host=" + folder_ + "&port=5432";
}

void Postgres_Cluster::Drop_Database(const std::string& address) {
  const auto name = address.find("/reports_");
  Run_Sql("DROP DATABASE " + address.substr(name + 1, address.find('?') - name - 1) + " WITH (FORCE)");
}

Postgres_Cluster::~Postgres_Cluster() {
  if (postmaster_ > 0) {
    ::kill(postmaster_, SIGQUIT);
    Wait_For(postmaster_);
  }
  std::error_code ec;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}
