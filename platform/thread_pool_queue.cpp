// Transfers through a pool of threads, one a slot, each issuing pread or pwrite and waiting
// for it: the same depth of transfers in flight where io_uring is unavailable. Also the
// choice between the two.
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/system_io_queue.h"

namespace platform {

namespace {

class Thread_Pool_Queue final : public Io_Queue {
 public:
  Thread_Pool_Queue(int fd, const Io_Queue_Options& options)
      : fd_(fd), depth_(options.depth), buffers_(options.depth, options.block_size) {}
  Thread_Pool_Queue(const Thread_Pool_Queue&) = delete;
  Thread_Pool_Queue& operator=(const Thread_Pool_Queue&) = delete;

  // Transfers that no thread has taken yet are dropped; the others end first.
  ~Thread_Pool_Queue() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  int Open() {
    if (depth_ == 0) return EINVAL;
    if (!buffers_.valid()) return ENOMEM;
    try {
      for (unsigned i = 0; i < depth_; ++i) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error& error) {
      return error.code().value() != 0 ? error.code().value() : EAGAIN;
    }
    return 0;
  }

  std::string Name() const override { return "thread pool"; }
  unsigned Depth() const override { return depth_; }
  unsigned char* Buffer(unsigned slot) override { return buffers_.Slot(slot); }
  unsigned In_Flight() const override { return outstanding_; }
  int Sync_Data() override { return ::fdatasync(fd_) == 0 ? 0 : errno; }

  int Queue(unsigned slot, bool write, std::uint64_t offset, std::size_t length) override {
    if (slot >= depth_) return EINVAL;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queued_.push_back({slot, write, offset, length});
    }
    work_ready_.notify_one();
    ++outstanding_;
    return 0;
  }

  int Wait(std::vector<Io_Completion>& done, int timeout_ms) override {
    if (outstanding_ == 0) return 0;
    std::unique_lock<std::mutex> lock(mutex_);
    done_ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return !finished_.empty(); });
    done.insert(done.end(), finished_.begin(), finished_.end());
    outstanding_ -= static_cast<unsigned>(finished_.size());
    finished_.clear();
    return 0;
  }

 private:
  struct Request {
    unsigned slot;
    bool write;
    std::uint64_t offset;
    std::size_t length;
  };

  void Work() {
    for (;;) {
      Request request{};
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_ready_.wait(lock, [this] { return quit_ || !queued_.empty(); });
        if (quit_) return;
        request = queued_.front();
        queued_.pop_front();
      }
      const Io_Completion completion = Transfer(request);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_.push_back(completion);
      }
      done_ready_.notify_one();
    }
  }

  // The whole length, looping on short transfers; less only at the end of the file.
  Io_Completion Transfer(const Request& request) {
    Io_Completion completion{request.slot, 0, 0};
    unsigned char* buffer = buffers_.Slot(request.slot);
    std::size_t done = 0;
    while (done < request.length) {
      const auto offset = static_cast<off_t>(request.offset + done);
      const ssize_t n = request.write ? ::pwrite(fd_, buffer + done, request.length - done, offset)
                                      : ::pread(fd_, buffer + done, request.length - done, offset);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        completion.error = errno;
        break;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    completion.bytes = static_cast<std::int64_t>(done);
    return completion;
  }

  int fd_;
  unsigned depth_;
  Slot_Buffers buffers_;
  std::mutex mutex_;
  std::condition_variable work_ready_, done_ready_;
  std::deque<Request> queued_;
  std::vector<Io_Completion> finished_;
  bool quit_ = false;
  unsigned outstanding_ = 0;  // only the owner's thread touches it
  std::vector<std::thread> workers_;
};

}  // namespace

std::unique_ptr<Io_Queue> Make_Thread_Pool_Queue(int fd, const Io_Queue_Options& options, int& error) {
  auto queue = std::make_unique<Thread_Pool_Queue>(fd, options);
  error = queue->Open();
  if (error != 0) return nullptr;
  return queue;
}

Io_Queue_Result Open_System_Io_Queue(int fd, const Io_Queue_Options& options) {
  Io_Queue_Result result;
  if (options.backend != Io_Backend::Thread_Pool) {
    result.queue = Make_Io_Uring_Queue(fd, options, result.error);
    if (result.queue || options.backend == Io_Backend::Io_Uring) return result;
    result.fallback = "io_uring is unavailable: " + Error_Text(result.error);
  }
  result.queue = Make_Thread_Pool_Queue(fd, options, result.error);
  return result;
}

}  // namespace platform
