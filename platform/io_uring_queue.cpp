// Transfers through io_uring: one ring per queue, with the slots' buffers and the file
// registered where the kernel allows it, so that a transfer pins no pages and looks up no
// descriptor of its own. Each transfer goes to the kernel as soon as it is queued.
#include <liburing.h>
#include <sys/uio.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "platform/system_io_queue.h"

namespace platform {

namespace {

// How long the queue waits, when it goes away, for transfers still in flight.
constexpr int kDrainMs = 30000;
constexpr unsigned kReapBatch = 64;

class Io_Uring_Queue final : public Io_Queue {
 public:
  Io_Uring_Queue(int fd, const Io_Queue_Options& options)
      : fd_(fd),
        depth_(options.depth),
        buffers_(std::make_unique<Slot_Buffers>(options.depth, options.block_size)),
        iovecs_(options.depth) {}
  Io_Uring_Queue(const Io_Uring_Queue&) = delete;
  Io_Uring_Queue& operator=(const Io_Uring_Queue&) = delete;

  ~Io_Uring_Queue() override {
    if (!ready_) return;
    Drain();
    // A device that never answered keeps its transfers; the kernel may still write into
    // their buffers, so those are let go of rather than handed back to the allocator.
    if (outstanding_ != 0) (void)buffers_.release();
    io_uring_queue_exit(&ring_);
  }

  // Sets the ring up; returns 0 or why io_uring cannot be used.
  int Open() {
    if (depth_ == 0) return EINVAL;
    if (!buffers_->valid()) return ENOMEM;
    // One entry more than the depth: where the kernel cannot time a wait itself, the
    // library queues a timeout of its own.
    const int rc = io_uring_queue_init(depth_ + 1, &ring_, 0);
    if (rc < 0) return -rc;
    ready_ = true;
    fixed_file_ = io_uring_register_files(&ring_, &fd_, 1) == 0;
    const iovec whole{buffers_->data(), buffers_->size()};
    fixed_buffers_ = io_uring_register_buffers(&ring_, &whole, 1) == 0;
    return 0;
  }

  std::string Name() const override { return "io_uring"; }
  unsigned Depth() const override { return depth_; }
  unsigned char* Buffer(unsigned slot) override { return buffers_->Slot(slot); }
  unsigned In_Flight() const override { return outstanding_; }
  int Sync_Data() override { return ::fdatasync(fd_) == 0 ? 0 : errno; }

  int Queue(unsigned slot, bool write, std::uint64_t offset, std::size_t length) override {
    if (slot >= depth_) return EINVAL;
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    if (sqe == nullptr) {
      io_uring_submit(&ring_);
      sqe = io_uring_get_sqe(&ring_);
      if (sqe == nullptr) return EBUSY;
    }
    const int file = fixed_file_ ? 0 : fd_;
    unsigned char* buffer = buffers_->Slot(slot);
    const auto bytes = static_cast<unsigned>(length);
    if (fixed_buffers_) {
      if (write) io_uring_prep_write_fixed(sqe, file, buffer, bytes, offset, 0);
      else io_uring_prep_read_fixed(sqe, file, buffer, bytes, offset, 0);
    } else {
      iovecs_[slot] = {buffer, length};
      if (write) io_uring_prep_writev(sqe, file, &iovecs_[slot], 1, offset);
      else io_uring_prep_readv(sqe, file, &iovecs_[slot], 1, offset);
    }
    if (fixed_file_) sqe->flags |= IOSQE_FIXED_FILE;
    io_uring_sqe_set_data64(sqe, slot);
    ++outstanding_;
    // Sent at once rather than with the next wait: a batch reaches a virtual disk together
    // and its transfers wait for one another there (the median latency at depth 32 on a
    // virtio disk doubled), and fio sends each one at once too.
    io_uring_submit(&ring_);
    return 0;
  }

  int Wait(std::vector<Io_Completion>& done, int timeout_ms) override {
    if (outstanding_ == 0) return 0;
    __kernel_timespec timeout{timeout_ms / 1000, static_cast<long long>(timeout_ms % 1000) * 1000000};
    io_uring_cqe* cqe = nullptr;
    const int rc = io_uring_submit_and_wait_timeout(&ring_, &cqe, 1, &timeout, nullptr);
    // A timeout, a signal or a full completion queue only end this wait early.
    if (rc < 0 && rc != -ETIME && rc != -EINTR && rc != -EAGAIN && rc != -EBUSY) return -rc;
    Reap(done);
    return 0;
  }

 private:
  void Reap(std::vector<Io_Completion>& done) {
    io_uring_cqe* cqes[kReapBatch];
    for (unsigned n; (n = io_uring_peek_batch_cqe(&ring_, cqes, kReapBatch)) > 0;) {
      for (unsigned i = 0; i < n; ++i) {
        const int res = cqes[i]->res;
        done.push_back({static_cast<unsigned>(io_uring_cqe_get_data64(cqes[i])), res < 0 ? -res : 0,
                        res < 0 ? 0 : static_cast<std::int64_t>(res)});
      }
      io_uring_cq_advance(&ring_, n);
      outstanding_ -= n;
    }
  }

  void Drain() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    std::vector<Io_Completion> ignored;
    while (outstanding_ != 0 && std::chrono::steady_clock::now() < until) {
      if (Wait(ignored, 100) != 0) break;
      ignored.clear();
    }
  }

  int fd_;
  unsigned depth_;
  std::unique_ptr<Slot_Buffers> buffers_;
  std::vector<iovec> iovecs_;
  io_uring ring_{};
  bool ready_ = false, fixed_file_ = false, fixed_buffers_ = false;
  unsigned outstanding_ = 0;
};

}  // namespace

std::unique_ptr<Io_Queue> Make_Io_Uring_Queue(int fd, const Io_Queue_Options& options, int& error) {
  auto queue = std::make_unique<Io_Uring_Queue>(fd, options);
  error = queue->Open();
  if (error != 0) return nullptr;
  return queue;
}

}  // namespace platform
