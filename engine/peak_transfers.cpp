// The fill and the timed test of the peak tests. Each loop queues a transfer on every free
// slot, waits at most kWaitMs for completions (so that Stop is seen within that time even on
// a device that does not answer), stamps each completion with its latency and reports its
// progress four times a second.
#include "engine/peak_transfers.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "common/latency_histogram.h"
#include "engine/benchmark.h"
#include "engine/device_span.h"

namespace {

constexpr int kWaitMs = 100;
constexpr std::int64_t kReportNs = 250'000'000;
// Transfers still in flight when a loop ends get this long to complete.
constexpr std::int64_t kDrainNs = 30'000'000'000;
constexpr std::int64_t kFillBlock = 1 << 20;
constexpr unsigned kFillDepth = 8;
// A written block gets a stamp every so many bytes, so that no two pieces of the data that
// reaches the drive are alike (a drive that deduplicates would otherwise write nothing).
constexpr std::int64_t kStampEvery = 4096;
constexpr std::uint64_t kSeed = 0x5EED'1234'ABCD'0000ULL;

// xoshiro256**: random data fast enough to fill a drive, the same for every run (as fio's).
class Fast_Random {
 public:
  explicit Fast_Random(std::uint64_t seed) {
    for (std::uint64_t& word : state_) word = Split_Mix(seed);
  }
  std::uint64_t Next() {
    const std::uint64_t result = Rotate(state_[1] * 5, 7) * 9;
    const std::uint64_t shifted = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= shifted;
    state_[3] = Rotate(state_[3], 45);
    return result;
  }
  void Fill(unsigned char* data, std::int64_t n) {
    for (std::int64_t i = 0; i + 8 <= n; i += 8) {
      const std::uint64_t value = Next();
      std::memcpy(data + i, &value, sizeof value);
    }
  }

 private:
  static std::uint64_t Rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  static std::uint64_t Split_Mix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint64_t state_[4];
};

void Stamp(unsigned char* block, std::int64_t size, std::uint64_t& counter) {
  for (std::int64_t at = 0; at < size; at += kStampEvery) {
    ++counter;
    std::memcpy(block + at, &counter, sizeof counter);
  }
}

// The slots of a queue not in use, and when each transfer in flight was sent.
class Slots {
 public:
  explicit Slots(unsigned depth) : free_(depth), sent_at_(depth, 0) {
    std::iota(free_.rbegin(), free_.rend(), 0u);
  }
  bool Any_Free() const { return !free_.empty(); }
  // The next free slot, its transfer sent at now.
  unsigned Take(std::int64_t now = 0) {
    const unsigned slot = free_.back();
    free_.pop_back();
    sent_at_[slot] = now;
    return slot;
  }
  void Put_Back(unsigned slot) { free_.push_back(slot); }
  std::int64_t Sent_At(unsigned slot) const { return sent_at_[slot]; }

 private:
  std::vector<unsigned> free_;
  std::vector<std::int64_t> sent_at_;
};

// The live rates since the last report, and the report itself.
class Reporter {
 public:
  Reporter(Peak_Context& context, int test, std::int64_t now) : context_(context), test_(test), last_(now) {}
  // Reports when a quarter second has passed; step_end is when this step should be over.
  void Maybe(Peak_Phase phase, std::int64_t now, std::int64_t since, std::int64_t bytes, std::int64_t ios,
             unsigned in_flight, std::int64_t step_end) {
    if (now - last_ < kReportNs) return;
    const double interval = static_cast<double>(now - last_);
    Peak_Progress progress;
    progress.phase = phase;
    progress.test = test_;
    progress.done = context_.done;
    progress.total = context_.total;
    progress.bytes = bytes;
    progress.seconds = static_cast<double>(now - since) / 1e9;
    progress.mbps = static_cast<double>(bytes - bytes_) * 1000.0 / interval;
    progress.iops = static_cast<double>(ios - ios_) * 1e9 / interval;
    progress.in_flight = in_flight;
    progress.seconds_left = (std::max<std::int64_t>(0, step_end - now) + context_.after_ns + 999'999'999) / 1'000'000'000;
    context_.observer.Progress(progress);
    last_ = now;
    bytes_ = bytes;
    ios_ = ios;
  }
  // Counts from zero again (the timed span began).
  void Restart(std::int64_t now) {
    last_ = now;
    bytes_ = ios_ = 0;
  }

 private:
  Peak_Context& context_;
  int test_;
  std::int64_t last_, bytes_ = 0, ios_ = 0;
};

std::string Size_Text(std::int64_t bytes) { return Format_Size(bytes, "0.##", false); }

std::string Transfer_Error(const char* what, const std::string& path, std::uint64_t offset, const platform::Io_Completion& c,
                           std::int64_t asked) {
  const std::string reason =
      c.error != 0 ? platform::Error_Text(c.error) : std::to_string(c.bytes) + " of " + std::to_string(asked) + " bytes";
  return std::string("Error ") + what + " file " + path + " at " + std::to_string(offset) + ": " + reason;
}

std::string Drain_Error(const std::string& path, unsigned left) {
  return "The device did not complete " + std::to_string(left) + " transfers on " + path + " within 30 s";
}

// The fill: the file written whole, a block after another, eight in flight.
class File_Writer {
 public:
  File_Writer(Peak_Context& context, platform::Io_Queue& queue, Fill_Outcome& outcome)
      : c_(context),
        queue_(queue),
        outcome_(outcome),
        random_(kSeed),
        slots_(kFillDepth),
        offsets_(kFillDepth, 0),
        start_(context.clock.Steady_Ns()),
        reporter_(context, -1, start_) {}

  void Run() {
    for (;;) {
      const std::int64_t now = c_.clock.Steady_Ns();
      if (c_.stop.stop_requested()) outcome_.stopped = true;
      const bool draining = outcome_.stopped || !outcome_.error.empty();
      if (!draining) Send();
      if (queue_.In_Flight() == 0) break;
      if (draining && drain_from_ < 0) drain_from_ = now;
      if (draining && now - drain_from_ > kDrainNs) {
        outcome_.error = Drain_Error(c_.path, queue_.In_Flight());
        return;
      }
      // The time left at the rate so far; at 1 GB/s (a byte a nanosecond) until there is one.
      const double rest = static_cast<double>(c_.file_size - written_);
      const auto left = static_cast<std::int64_t>(
          written_ > 0 ? static_cast<double>(now - start_) * rest / static_cast<double>(written_) : rest);
      reporter_.Maybe(Peak_Phase::Fill, now, start_, written_, written_ / kFillBlock, queue_.In_Flight(), now + left);
      if (!Take()) return;
    }
    if (outcome_.error.empty() && !outcome_.stopped) {
      if (const int error = c_.os.Sync_And_Drop_Cache(c_.file); error != 0)
        outcome_.error = "Error flushing file " + c_.path + ": " + platform::Error_Text(error);
    }
  }

 private:
  // The next blocks, each with data of its own, as long as the free space above the
  // reserve takes them: it is asked before every block, as others may be filling the drive.
  void Send() {
    while (next_ < c_.file_size && slots_.Any_Free()) {
      const std::int64_t after = c_.os.Free_Bytes(c_.folder) - (queue_.In_Flight() + 1) * kFillBlock;
      if (after < kFreeSpaceReserve) {
        outcome_.error = "The free space fell to the " + Size_Text(kFreeSpaceReserve) + " that must stay free while " +
                         c_.path + " was written";
        return;
      }
      const unsigned slot = slots_.Take();
      random_.Fill(queue_.Buffer(slot), kFillBlock);
      offsets_[slot] = static_cast<std::uint64_t>(next_);
      if (const int error = queue_.Queue(slot, true, offsets_[slot], kFillBlock); error != 0) {
        slots_.Put_Back(slot);
        outcome_.error = "Error writing file " + c_.path + ": " + platform::Error_Text(error);
        return;
      }
      next_ += kFillBlock;
    }
  }

  // False when the queue itself failed.
  bool Take() {
    if (const int error = queue_.Wait(done_, kWaitMs); error != 0) {
      outcome_.error = "Error waiting for the writes of " + c_.path + ": " + platform::Error_Text(error);
      return false;
    }
    for (const platform::Io_Completion& completion : done_) {
      slots_.Put_Back(completion.slot);
      if (completion.error == 0 && completion.bytes == kFillBlock) written_ += kFillBlock;
      else if (outcome_.error.empty())
        outcome_.error = Transfer_Error("writing", c_.path, offsets_[completion.slot], completion, kFillBlock);
    }
    done_.clear();
    return true;
  }

  Peak_Context& c_;
  platform::Io_Queue& queue_;
  Fill_Outcome& outcome_;
  Fast_Random random_;
  Slots slots_;
  std::vector<std::uint64_t> offsets_;
  std::vector<platform::Io_Completion> done_;
  const std::int64_t start_;
  Reporter reporter_;
  std::int64_t next_ = 0, written_ = 0, drain_from_ = -1;
};

// One timed test: its queue, where its transfers go, what it counted.
class Timed_Test {
 public:
  Timed_Test(Peak_Context& context, int index, platform::Io_Queue& queue)
      : c_(context),
        test_(kPeakTests[static_cast<std::size_t>(index)]),
        queue_(queue),
        random_(kSeed + static_cast<std::uint64_t>(index) + 1),
        blocks_(static_cast<std::uint64_t>(context.file_size / test_.block)),
        offsets_(test_.depth, 0),
        slots_(test_.depth),
        span_(context.os, context.folder),
        start_(context.clock.Steady_Ns()),
        reporter_(context, index, start_) {
    result_.index = index;
    result_.key = test_.key;
    if (test_.write)
      for (unsigned slot = 0; slot < test_.depth; ++slot) random_.Fill(queue_.Buffer(slot), test_.block);
    stamp_ = random_.Next();
  }

  Peak_Test_Result Run(bool& measured) {
    for (;;) {
      const std::int64_t now = c_.clock.Steady_Ns();
      if (t0_ < 0 && now >= start_ + c_.warmup_ns) Begin_Span();
      if (sending_ && (c_.stop.stop_requested() || (t0_ >= 0 && now >= t0_ + c_.test_ns) || !result_.note.empty())) {
        sending_ = false;
        drain_from_ = now;
        result_.stopped = c_.stop.stop_requested();
      }
      if (sending_) Send();
      if (queue_.In_Flight() == 0) break;
      if (!sending_ && now - drain_from_ > kDrainNs) {
        result_.note = Drain_Error(c_.path, queue_.In_Flight());
        break;
      }
      reporter_.Maybe(t0_ < 0 ? Peak_Phase::Warm_Up : Peak_Phase::Measure, now, t0_ < 0 ? start_ : t0_, result_.bytes,
                      result_.ios, queue_.In_Flight(), start_ + c_.warmup_ns + c_.test_ns);
      if (!Take(kWaitMs)) break;
    }
    measured = t0_ >= 0;
    if (measured) Finish();
    return result_;
  }

 private:
  // The device's counters are read first, then what completed during the warm-up is taken
  // without counting it: the device then never moved less than the test counts.
  void Begin_Span() {
    span_.Begin();
    Take(0);
    t0_ = last_ = c_.clock.Steady_Ns();
    reporter_.Restart(t0_);
  }

  // A transfer on every free slot, each timed from the moment it is handed to the queue.
  void Send() {
    while (slots_.Any_Free()) {
      const std::uint64_t block = test_.random ? random_.Next() % blocks_ : next_block_++ % blocks_;
      const unsigned slot = slots_.Take(c_.clock.Steady_Ns());
      offsets_[slot] = block * static_cast<std::uint64_t>(test_.block);
      if (test_.write) Stamp(queue_.Buffer(slot), test_.block, stamp_);
      const int error = queue_.Queue(slot, test_.write, offsets_[slot], static_cast<std::size_t>(test_.block));
      if (error != 0) {
        slots_.Put_Back(slot);
        result_.note = "Cannot queue a transfer on " + c_.path + ": " + platform::Error_Text(error);
        break;
      }
    }
  }

  // Waits up to timeout_ms for completions and counts those of the timed span; false when
  // the queue itself failed.
  bool Take(int timeout_ms) {
    if (const int error = queue_.Wait(done_, timeout_ms); error != 0) {
      result_.note = "Error waiting for the transfers on " + c_.path + ": " + platform::Error_Text(error);
      return false;
    }
    const std::int64_t reaped = c_.clock.Steady_Ns();
    for (const platform::Io_Completion& completion : done_) {
      slots_.Put_Back(completion.slot);
      if (completion.error != 0 || completion.bytes != test_.block) {
        if (result_.note.empty())
          result_.note = Transfer_Error(test_.write ? "writing" : "reading", c_.path, offsets_[completion.slot],
                                        completion, test_.block);
      } else if (t0_ >= 0) {
        result_.bytes += completion.bytes;
        ++result_.ios;
        latencies_.Add(reaped - slots_.Sent_At(completion.slot));
        last_ = reaped;
      }
    }
    done_.clear();
    return true;
  }

  // The span ends at the last completion; a write's data must then be on the drive, not in
  // its volatile cache, before it ends.
  void Finish() {
    result_.span_ns = last_ - t0_;
    if (test_.write) {
      const std::int64_t sync_start = c_.clock.Steady_Ns();
      const int error = queue_.Sync_Data();
      result_.sync_ns = c_.clock.Steady_Ns() - sync_start;
      result_.span_ns += result_.sync_ns;
      if (error != 0 && result_.note.empty())
        result_.note = "Error flushing file " + c_.path + ": " + platform::Error_Text(error);
    }
    result_.check = span_.End(!test_.write, result_.bytes);
    if (result_.ios == 0 && result_.note.empty()) result_.note = "No transfer completed in the timed span";
    result_.p50_us = latencies_.Percentile(0.5) / 1000.0;
    result_.p99_us = latencies_.Percentile(0.99) / 1000.0;
    result_.p999_us = latencies_.Percentile(0.999) / 1000.0;
  }

  Peak_Context& c_;
  const Peak_Test& test_;
  platform::Io_Queue& queue_;
  Fast_Random random_;
  std::uint64_t stamp_ = 0, next_block_ = 0;
  const std::uint64_t blocks_;
  std::vector<std::uint64_t> offsets_;
  Slots slots_;
  Latency_Histogram latencies_;
  Device_Span span_;
  std::vector<platform::Io_Completion> done_;
  const std::int64_t start_;
  Reporter reporter_;
  std::int64_t t0_ = -1, last_ = 0, drain_from_ = -1;
  bool sending_ = true;
  Peak_Test_Result result_;
};

}  // namespace

Fill_Outcome Fill_Test_File(Peak_Context& c) {
  Fill_Outcome outcome;
  platform::Io_Queue_Result opened = c.os.Open_Io_Queue(c.file, {kFillDepth, kFillBlock, c.backend});
  if (!opened.queue) {
    outcome.error = "Cannot queue transfers on " + c.path + ": " + platform::Error_Text(opened.error);
    return outcome;
  }
  outcome.engine = opened.queue->Name();
  outcome.engine_note = opened.fallback;
  File_Writer(c, *opened.queue, outcome).Run();
  return outcome;
}

Peak_Test_Result Run_Peak_Test(Peak_Context& c, int index, bool& measured) {
  const Peak_Test& test = kPeakTests[static_cast<std::size_t>(index)];
  measured = false;
  platform::Io_Queue_Result opened =
      c.os.Open_Io_Queue(c.file, {test.depth, static_cast<std::size_t>(test.block), c.backend});
  if (!opened.queue) {
    Peak_Test_Result result;
    result.index = index;
    result.key = test.key;
    result.note = "Cannot queue transfers on " + c.path + ": " + platform::Error_Text(opened.error);
    return result;
  }
  return Timed_Test(c, index, *opened.queue).Run(measured);
}
