// The writer thread of the report database and the hand-over to the request handlers.
#include "server/commit_queue.h"

#include "server/server_log.h"

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

Commit_Queue::Outcome Commit_Queue::Commit(const Report& report, std::chrono::milliseconds wait) {
  auto pending = std::make_shared<Pending>();
  pending->report = &report;
  std::unique_lock lock(mutex_);
  if (stopping_) return {};
  waiting_.push_back(pending);
  arrived_.notify_one();
  // The report must outlive the writer's use of it, so a timed-out sender takes it back
  // out of the queue when it is still there, and otherwise waits for its batch to end.
  if (finished_.wait_for(lock, wait, [&] { return pending->done; })) return pending->outcome;
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
    if (*it == pending) {
      waiting_.erase(it);
      return {};
    }
  finished_.wait(lock, [&] { return pending->done; });
  return {};
}

Commit_Queue::Result Commit_Queue::Store(const std::vector<const Report*>& reports, std::vector<std::string>& keys) {
  if (!session_ && !backoff_.Ready()) return Result::kUnreachable;
  try {
    if (!session_) session_ = store_.Open_Session();
    backoff_.Succeeded();
  } catch (const std::exception& error) {
    backoff_.Failed();
    Log_Limited("writer", std::string("reports not stored: ") + error.what());
    return Result::kUnreachable;
  }
  try {
    keys = Report_Store::Insert_Reports(*session_, reports);
    return Result::kStored;
  } catch (const std::exception& error) {
    Log_Limited("store", "storing " + std::to_string(reports.size()) + " report(s) failed: " + error.what());
    session_.reset();  // opened afresh for the next try, in case the connection broke
    return Result::kRefused;
  }
}

// One report the database refuses must not sink the others of its batch: after a refused
// batch each report is tried alone, until the database cannot be reached at all.
std::vector<Commit_Queue::Outcome> Commit_Queue::Store_Batch(const std::vector<const Report*>& reports) {
  std::vector<Outcome> outcomes(reports.size());
  std::vector<std::string> keys;
  const Result result = Store(reports, keys);
  if (result == Result::kStored)
    for (std::size_t i = 0; i < reports.size(); ++i) outcomes[i] = {true, keys[i]};
  if (result != Result::kRefused || reports.size() == 1) return outcomes;
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const Result alone = Store({reports[i]}, keys);
    if (alone == Result::kUnreachable) break;
    if (alone == Result::kStored) outcomes[i] = {true, keys[0]};
  }
  return outcomes;
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
    const std::vector<Outcome> each = Store_Batch(reports);
    lock.lock();
    for (std::size_t i = 0; i < batch.size(); ++i) {
      batch[i]->outcome = each[i];
      batch[i]->done = true;
    }
    finished_.notify_all();
  }
}
