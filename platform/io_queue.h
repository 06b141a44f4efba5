// A queue of transfers in flight on one open file, the way the peak tests keep a drive busy:
// each slot owns an aligned buffer, a transfer is queued on a free slot and its completion
// comes back later. Back ends: io_uring, a pool of threads where io_uring is unavailable,
// and the in-memory disk's own for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Which back end does the transfers. Automatic: io_uring where the system offers it, else
// the pool of threads.
enum class Io_Backend { Automatic, Io_Uring, Thread_Pool };

struct Io_Queue_Options {
  unsigned depth = 1;            // transfers in flight at most; as many slots
  std::size_t block_size = 4096; // bytes of each slot's buffer
  Io_Backend backend = Io_Backend::Automatic;
};

struct Io_Completion {
  unsigned slot = 0;
  int error = 0;          // the system's error number; 0 when the transfer worked
  std::int64_t bytes = 0; // moved; less than asked at the end of the file
};

class Io_Queue {
 public:
  virtual ~Io_Queue() = default;

  // What does the transfers: "io_uring", "thread pool", "memory".
  virtual std::string Name() const = 0;
  virtual unsigned Depth() const = 0;
  // The buffer of slot, block_size bytes, aligned for unbuffered transfer.
  virtual unsigned char* Buffer(unsigned slot) = 0;
  // Sends a read (or write) of length bytes at offset through slot's buffer; the slot must
  // be free. Returns 0 or the error number.
  virtual int Queue(unsigned slot, bool write, std::uint64_t offset, std::size_t length) = 0;
  // Waits until at least one transfer completes or timeout_ms have passed (0: takes only
  // what has completed); appends the completions to done. Returns 0, or the error number
  // when the queue itself failed.
  virtual int Wait(std::vector<Io_Completion>& done, int timeout_ms) = 0;
  // Transfers queued or in flight, not yet handed back by Wait.
  virtual unsigned In_Flight() const = 0;
  // Forces the file's written data out to the drive (fdatasync); returns 0 or the error number.
  virtual int Sync_Data() = 0;
};

struct Io_Queue_Result {
  std::unique_ptr<Io_Queue> queue;
  int error = 0;          // why no queue could be made
  std::string fallback;   // why the pool of threads stands in for io_uring; empty otherwise
};

}  // namespace platform
