// Group commit of incoming reports: one writer stores whatever has arrived in one
// transaction, so a synced commit is shared by many reports; each sender is told once its
// report is durable.
#pragma once

#include "server/report_store.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class Commit_Queue {
 public:
  // The writer connects through store.Open_Session(); at most max_batch reports share a commit.
  Commit_Queue(Report_Store& store, std::size_t max_batch);
  Commit_Queue(const Commit_Queue&) = delete;
  Commit_Queue& operator=(const Commit_Queue&) = delete;
  // Stores what is still waiting, then stops the writer.
  ~Commit_Queue();

  struct Outcome {
    bool stored = false;   // the report (or an identical one stored before) is committed
    std::string view_key;  // the computer's new view key, when the report was given one
  };

  // Stored once the report is committed; not when the database refused it or did not
  // answer within wait.
  Outcome Commit(const Report& report, std::chrono::milliseconds wait);

 private:
  struct Pending {
    const Report* report;
    bool done = false;
    Outcome outcome;
  };

  enum class Result { kStored, kRefused, kUnreachable };

  void Run();
  Result Store(const std::vector<const Report*>& reports, std::vector<std::string>& keys);
  std::vector<Outcome> Store_Batch(const std::vector<const Report*>& reports);

  Report_Store& store_;
  std::size_t max_batch_;
  std::unique_ptr<Sql_Session> session_;
  Retry_Backoff backoff_;  // while the database cannot be reached, batches are refused at once
  std::deque<std::shared_ptr<Pending>> waiting_;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::condition_variable finished_;
  std::thread writer_;
};
