// Hostile load on the results server while a few honest clients measure their answers:
//   slow    N connections from 40 loopback addresses, half trickling a head, half silent
//   flood   N clients pouring endless header lines into the server
//   range   N clients asking a page and a file for 2,700 ranges each
//   costly  N clients asking a costly path (--path; "{n}" in it becomes a running number)
#pragma once

#include <string>

struct Attack_Options {
  std::string kind;
  std::string address = "127.0.0.1";
  int port = 0;
  int attackers = 0;
  int seconds = 20;
  std::string path;                            // costly: the path asked for
  std::string probe = "/uploadresults2.php";   // what the honest clients ask for
};

// Prints one line: the honest requests per second, p50/p99, failures, and what the attack
// got; true when every honest request was answered 200.
bool Run_Attack(const Attack_Options& options);
