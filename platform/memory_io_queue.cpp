// The in-memory disk's queue of transfers: a device that serves a set number of transfers
// at once, each taking the platform's cost on the caller's clock, so that rates, queue
// depths and latencies come out exact. Time moves only while the caller waits.
#include <algorithm>
#include <cerrno>

#include "platform/memory_platform.h"

namespace platform {

class Memory_Io_Queue final : public Io_Queue {
 public:
  Memory_Io_Queue(Memory_Platform& disk, int file, const Io_Queue_Options& options)
      : disk_(disk),
        file_(file),
        depth_(options.depth),
        block_size_(options.block_size),
        buffers_(static_cast<std::size_t>(options.depth) * options.block_size),
        lanes_(std::max(1u, disk.io.parallel), 0) {}

  std::string Name() const override { return "memory"; }
  unsigned Depth() const override { return depth_; }
  unsigned char* Buffer(unsigned slot) override { return buffers_.data() + slot * block_size_; }
  unsigned In_Flight() const override { return static_cast<unsigned>(flight_.size()); }

  int Queue(unsigned slot, bool write, std::uint64_t offset, std::size_t length) override {
    if (slot >= depth_ || flight_.size() >= depth_) return EINVAL;
    // The transfer goes to the device's first free lane and waits there for its turn.
    auto lane = std::min_element(lanes_.begin(), lanes_.end());
    const std::int64_t start = std::max(now_us_, *lane);
    const auto bytes = static_cast<std::int64_t>(length);
    *lane = start + disk_.costs.per_call_us + bytes / std::max<std::int64_t>(disk_.costs.bytes_per_us, 1);
    flight_.push_back({slot, write, offset, length, *lane});
    disk_.io.most_in_flight = std::max(disk_.io.most_in_flight, In_Flight());
    return 0;
  }

  int Wait(std::vector<Io_Completion>& done, int timeout_ms) override {
    if (flight_.empty()) return 0;
    const std::int64_t limit = now_us_ + static_cast<std::int64_t>(timeout_ms) * 1000;
    std::int64_t next = limit;
    for (const Transfer& t : flight_) next = std::min(next, t.done_at);
    if (disk_.io.hang) next = limit;
    Advance_To(next);
    if (disk_.io.hang) return 0;
    auto finished = std::stable_partition(flight_.begin(), flight_.end(),
                                          [&](const Transfer& t) { return t.done_at > now_us_; });
    for (auto t = finished; t != flight_.end(); ++t) done.push_back(Complete(*t));
    flight_.erase(finished, flight_.end());
    return 0;
  }

  int Sync_Data() override {
    if (File_Item() == nullptr) return EBADF;
    Advance_To(now_us_ + disk_.costs.per_call_us + disk_.io.sync_us);
    return disk_.faults.flush_error;
  }

 private:
  struct Transfer {
    unsigned slot;
    bool write;
    std::uint64_t offset;
    std::size_t length;
    std::int64_t done_at;
  };

  // The file while it is open; nullptr once it was closed.
  Memory_Platform::Open_Item* File_Item() {
    auto found = disk_.handles_.find(file_);
    if (found == disk_.handles_.end() || found->second.folder || !disk_.nodes_.count(found->second.node)) return nullptr;
    return &found->second;
  }

  void Advance_To(std::int64_t us) {
    if (us > now_us_ && disk_.spend) disk_.spend(us - now_us_);
    now_us_ = std::max(now_us_, us);
  }

  Io_Completion Complete(const Transfer& t) {
    Io_Completion completion{t.slot, 0, 0};
    Memory_Platform::Open_Item* item = File_Item();
    if (item == nullptr) {
      completion.error = EBADF;
      return completion;
    }
    Memory_Platform::Node& node = disk_.nodes_.at(item->node);
    const auto offset = static_cast<std::int64_t>(t.offset);
    const auto length = static_cast<std::int64_t>(t.length);
    if (!t.write) {
      completion.error = disk_.faults.read_error;
      if (completion.error == 0) completion.bytes = std::clamp<std::int64_t>(node.size - offset, 0, length);
      disk_.device.read_bytes += static_cast<std::uint64_t>(completion.bytes * disk_.device.read_percent / 100);
      return completion;
    }
    completion.error = disk_.faults.write_error;
    const std::int64_t new_size = std::max(node.size, offset + length);
    const std::int64_t growth = disk_.Allocation(new_size) - disk_.Allocation(node.size);
    if (completion.error == 0 && growth > disk_.capacity_ - disk_.used_) completion.error = ENOSPC;
    if (completion.error != 0) return completion;
    disk_.used_ += growth;
    disk_.lowest_free_ = std::min(disk_.lowest_free_, disk_.Free());
    node.size = new_size;
    completion.bytes = length;
    disk_.device.written_bytes += static_cast<std::uint64_t>(length);
    return completion;
  }

  Memory_Platform& disk_;
  int file_;
  unsigned depth_;
  std::size_t block_size_;
  std::vector<unsigned char> buffers_;
  std::vector<std::int64_t> lanes_;  // when each lane of the device is free again
  std::vector<Transfer> flight_;
  std::int64_t now_us_ = 0;          // the queue's own time, moved by its waits
};

Io_Queue_Result Memory_Platform::Open_Io_Queue(File_Handle& file, const Io_Queue_Options& options) {
  Io_Queue_Result result;
  if (Item(file, false) == nullptr) result.error = EBADF;
  else if (options.depth == 0) result.error = EINVAL;
  else result.queue = std::make_unique<Memory_Io_Queue>(*this, file.native(), options);
  return result;
}

}  // namespace platform
