// One piece of work on a thread of its own: started with a stop token, asked to stop from
// any thread, and its value, or the exception it threw, taken by the thread that started it
// once it is over. The window's runs and the runner's run go through it.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <stop_token>
#include <thread>
#include <utility>

template <class T>
class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // A work still going is asked to stop and waited for: nothing outlives its owner.
  ~Worker() { stop_.request_stop(); }

  // The stop source of the next work (or of the one going on): whoever holds a copy may ask
  // it to stop, also before it starts.
  std::stop_source Stop_Source() const { return stop_; }

  // Starts work on a new thread. finished, when given, is called on that thread once the
  // value or the exception has been stored (the window posts itself an event from there).
  void Start(std::function<T(std::stop_token)> work, std::function<void()> finished = {}) {
    std::promise<T> promise;
    result_ = promise.get_future();
    thread_ = std::jthread([work = std::move(work), finished = std::move(finished), promise = std::move(promise),
                            stop = stop_.get_token()]() mutable {
      try {
        promise.set_value(work(stop));
      } catch (...) {
        promise.set_exception(std::current_exception());
      }
      if (finished) finished();
    });
  }

  // Whether a work was started and its value not taken yet.
  bool Active() const { return result_.valid(); }
  void Request_Stop() { stop_.request_stop(); }
  bool Stop_Requested() const { return stop_.stop_requested(); }
  // Waits at most span for the work to end; true when it has (or none is going on).
  bool Wait_For(std::chrono::milliseconds span) const {
    return !result_.valid() || result_.wait_for(span) == std::future_status::ready;
  }
  // Waits for the end, lets the thread go and returns the value, or throws what the work
  // threw. The next work gets a stop source of its own.
  T Take() {
    if (thread_.joinable()) thread_.join();
    stop_ = std::stop_source();
    return result_.get();
  }

 private:
  std::stop_source stop_;
  std::future<T> result_;
  std::jthread thread_;
};
