// The system's queues of transfers: io_uring, and a pool of threads issuing pread and pwrite
// where io_uring is unavailable (an old kernel, a seccomp filter, io_uring switched off).
#pragma once

#include <memory>

#include "platform/files.h"
#include "platform/io_queue.h"

namespace platform {

// A queue on the open descriptor fd as options.backend asks: Automatic tries io_uring first
// and, when the system refuses it, takes the pool and says why in fallback.
Io_Queue_Result Open_System_Io_Queue(int fd, const Io_Queue_Options& options);

// The two back ends; on failure the queue is empty and error holds the system's reason.
std::unique_ptr<Io_Queue> Make_Io_Uring_Queue(int fd, const Io_Queue_Options& options, int& error);
std::unique_ptr<Io_Queue> Make_Thread_Pool_Queue(int fd, const Io_Queue_Options& options, int& error);

// The slots' buffers of a queue: one aligned block of depth x block_size bytes.
class Slot_Buffers {
 public:
  Slot_Buffers(unsigned depth, std::size_t block_size)
      : memory_(static_cast<std::size_t>(depth) * block_size), block_size_(block_size) {}
  bool valid() const { return memory_.valid(); }
  unsigned char* Slot(unsigned slot) { return memory_.data() + static_cast<std::size_t>(slot) * block_size_; }
  unsigned char* data() { return memory_.data(); }
  std::size_t size() const { return memory_.size(); }

 private:
  Aligned_Buffer memory_;
  std::size_t block_size_;
};

}  // namespace platform
