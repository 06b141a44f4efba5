// The writer thread of the report database and the hand-over to the request handlers.
#include "server/commit_queue.h"

#include <iostream>

Commit_Queue::Commit_Queue(Report_Store& store, std::size_t max_batch)
    : store_(store), max_batch_(max_batch == 0 ? 1 : max_batch), writer_([this] { Run(); }) {}

Commit_Queue::~Commit_Queue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  arrived_.notify_all();
  writer_.join();
}

bool Commit_Queue::Commit(const Report& report, std::chrono::milliseconds wait) {
  auto pending = std::make_shared<Pending>();
  pending->report = &report;
  std::unique_lock lock(mutex_);
  if (stopping_) return false;
  waiting_.push_back(pending);
  arrived_.notify_one();
  // The report must outlive the writer's use of it, so a timed-out sender takes it back
  // out of the queue when it is still there, and otherwise waits for its batch to end.
  if (finished_.wait_for(lock, wait, [&] { return pending->done; })) return pending->stored;
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
    if (*it == pending) {
      waiting_.erase(it);
      return false;
    }
  finished_.wait(lock, [&] { return pending->done; });
  return false;
}

Commit_Queue::Outcome Commit_Queue::Store(const std::vector<const Report*>& reports) {
  try {
    if (!session_) session_ = store_.Open_Session();
  } catch (const std::exception& error) {
    std::cerr << "platterscope-server: " << error.what() << "\n";
    return Outcome::kUnreachable;
  }
  try {
    Report_Store::Insert_Reports(*session_, reports);
    return Outcome::kStored;
  } catch (const std::exception& error) {
    std::cerr << "platterscope-server: storing " << reports.size() << " report(s) failed: " << error.what() << "\n";
    session_.reset();  // opened afresh for the next try, in case the connection broke
    return Outcome::kRefused;
  }
}

// One report the database refuses must not sink the others of its batch: after a refused
// batch each report is tried alone, until the database cannot be reached at all.
std::vector<bool> Commit_Queue::Store_Batch(const std::vector<const Report*>& reports) {
  const Outcome outcome = Store(reports);
  std::vector<bool> stored(reports.size(), outcome == Outcome::kStored);
  if (outcome != Outcome::kRefused || reports.size() == 1) return stored;
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const Outcome alone = Store({reports[i]});
    if (alone == Outcome::kUnreachable) break;
    stored[i] = alone == Outcome::kStored;
  }
  return stored;
}

void Commit_Queue::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    arrived_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;
    std::vector<std::shared_ptr<Pending>> batch;
    while (!waiting_.empty() && batch.size() < max_batch_) {
      batch.push_back(std::move(waiting_.front()));
      waiting_.pop_front();
    }
    lock.unlock();
    std::vector<const Report*> reports;
    for (const auto& pending : batch) reports.push_back(pending->report);
    const std::vector<bool> each = Store_Batch(reports);
    lock.lock();
    for (std::size_t i = 0; i < batch.size(); ++i) {
      batch[i]->stored = each[i];
      batch[i]->done = true;
    }
    finished_.notify_all();
  }
}
